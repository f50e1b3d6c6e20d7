#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace vellumet
{

// A mistake in a site definition that the program would pass over in silence.
struct CheckFinding {
    int line = 0; // 0 when no one line is to blame
    QString kind; // a fixed word for scripts: "unknown-key", "page-name", ...
    QString message;
};

// The line numbers of the PAGE and PARAGRAPH lines, in the order of the pages and
// paragraphs that parseSiteDefinition gives.
struct DefinitionLines {
    QList<int> pages;
    QList<int> paragraphs;
};
DefinitionLines definitionLines(const QByteArray &bytes);

// Pure: what is wrong with a site definition, read from its bytes exactly as the window
// reads them, ordered by line. hasFile tells whether a file of that name lies beside it.
QList<CheckFinding> checkSiteDefinition(const QByteArray &bytes,
                                        const std::function<bool(const QString &)> &hasFile);

// A name as findings show it, in double quotes.
inline QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

// The findings in line order, those tied to no line last.
void sortFindings(QList<CheckFinding> &findings);

} // namespace vellumet
