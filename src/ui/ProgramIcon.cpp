#include "ui/ProgramIcon.h"

#include <QApplication>
#include <QIcon>
#include <QWidget>

#include <utility>

namespace vellumet
{

void useProgramIcon()
{
    static bool set = false;
    if (std::exchange(set, true))
        return;
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/vellumet.png")));
}

void setProgramIcon(QWidget &window)
{
    useProgramIcon();
    window.setWindowIcon(QApplication::windowIcon());
}

} // namespace vellumet
