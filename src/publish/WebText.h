#pragma once

#include "site/Catalogue.h"
#include "site/Result.h"
#include "site/WholeFile.h"

#include <QString>

namespace vellumet
{

// A paragraph's plain text as an HTML fragment: " & < > escaped, CR LF as <br>.
QString encodeWebText(const QString &text);

// Every marker (delimiter + name + endDelimiter) of every paragraph, in catalogue
// order, replaced by the paragraph's encoded text. Each paragraph works on the result
// of the ones before it, so texts holding later markers could grow a page without end:
// past maxChars the splice fails instead.
Result<QString> spliceParagraphs(QString page, const QString &delimiter,
                                 const QString &endDelimiter, const QList<Paragraph> &paragraphs,
                                 qsizetype maxChars = MaxFileBytes);

} // namespace vellumet
