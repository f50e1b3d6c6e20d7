#pragma once

#include "site/History.h"

#include <QDialog>

class QListWidget;
class QPlainTextEdit;

namespace vellumet
{

// Lists a paragraph's earlier texts, newest first, and hands one back for the editor.
class EarlierTextsDialog final : public QDialog
{
    Q_OBJECT
public:
    EarlierTextsDialog(const QString &description, QList<EarlierText> texts,
                       QWidget *parent = nullptr);

    // The start of a text's first line, as the list shows it.
    static QString firstLineStart(const QString &text);

signals:
    void restoreRequested(const QString &text);

private:
    void showSelected();

    QList<EarlierText> texts_;
    QListWidget *versions_ = nullptr;
    QPlainTextEdit *text_ = nullptr;
};

} // namespace vellumet
