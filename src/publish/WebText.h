#pragma once

#include "site/Catalogue.h"

#include <QString>

namespace vellumet
{

// A paragraph's plain text as an HTML fragment: " & < > escaped, CR LF as <br>.
QString encodeWebText(const QString &text);

// Every marker (delimiter + name + endDelimiter) of every paragraph, in catalogue
// order, replaced by the paragraph's encoded text. Each paragraph works on the result
// of the ones before it.
QString spliceParagraphs(QString page, const QString &delimiter, const QString &endDelimiter,
                         const QList<Paragraph> &paragraphs);

} // namespace vellumet
