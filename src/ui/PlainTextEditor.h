#pragma once

#include <QPlainTextEdit>

namespace vellumet
{

// The editor box. Paragraph texts carry CR LF line ends, and some carry lone CRs or
// LFs, NULs or a Ctrl-Z from older files; the widget keeps none of these as they were.
// So that showing a paragraph never looks like a change, text() gives back exactly the
// text last given until what is on screen has been edited, and from then on the
// screen's text with CR LF line ends.
class PlainTextEditor final : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit PlainTextEditor(QWidget *parent = nullptr);

    QString text() const;
    // Emits textChanged, as a user's change does.
    void setText(const QString &text);
    // Adds text at the end without scrolling back to the top; a log grows this way.
    void appendText(const QString &text);
    // Hides QPlainTextEdit's own: read-only text stays selectable with the keyboard too
    // (Ctrl+A, Shift+arrows, Ctrl+C), so a log can be copied without a mouse.
    void setReadOnly(bool readOnly);

signals:
    void focusLost();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    QString shownText() const;

    QString given_;
    QString shownWhenGiven_;
};

} // namespace vellumet
