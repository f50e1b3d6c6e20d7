#include "ui/PlainTextEditor.h"

#include <QTextCursor>

namespace vellumet
{

namespace
{

// The widget breaks lines at CR and LF alike; CR LF is one break.
QString forDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

// How the document holds a displayed text: each line break as a paragraph separator.
QString asDocumentHoldsIt(QString displayed)
{
    return displayed.replace(u'\n', QChar::ParagraphSeparator);
}

} // namespace

PlainTextEditor::PlainTextEditor(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

QString PlainTextEditor::text() const
{
    const QString shown = shownText();
    if (shown == shownWhenGiven_)
        return given_;
    QString text = shown;
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return text;
}

void PlainTextEditor::setText(const QString &text)
{
    const QString displayed = forDisplay(text);
    // Set before the widget reports the change, so that a listener already reads the
    // new text back unchanged.
    given_ = text;
    shownWhenGiven_ = asDocumentHoldsIt(displayed);
    setPlainText(displayed);
    shownWhenGiven_ = shownText();
}

void PlainTextEditor::appendText(const QString &text)
{
    const QString displayed = forDisplay(text);
    const bool unedited = shownText() == shownWhenGiven_;
    if (unedited) {
        given_ += text;
        shownWhenGiven_ += asDocumentHoldsIt(displayed);
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(displayed);
    if (unedited)
        shownWhenGiven_ = shownText();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void PlainTextEditor::setReadOnly(bool readOnly)
{
    QPlainTextEdit::setReadOnly(readOnly);
    if (readOnly)
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void PlainTextEditor::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    emit focusLost();
}

QString PlainTextEditor::shownText() const
{
    return document()->toRawText();
}

} // namespace vellumet
