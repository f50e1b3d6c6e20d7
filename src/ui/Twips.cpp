#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace vellumet
{

Twips Twips::forWidget(const QWidget *widget)
{
    const QScreen *screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
    if (!screen || screen->logicalDotsPerInch() <= 0)
        return Twips();
    return Twips(screen->logicalDotsPerInch());
}

int Twips::toPixels(double twips) const
{
    return int(std::lround(twips / perPixel_));
}

QRect Twips::toPixels(double left, double top, double width, double height) const
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace vellumet
