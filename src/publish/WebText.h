#pragma once

#include "site/Catalogue.h"

#include <QString>

// A paragraph's plain text as an HTML fragment: " & < > escaped, CR LF as <br>.
QString EncodeWebText(const QString &text);

// Every marker (delimiter + ParaName + endDelimiter) of every paragraph, in catalogue
// order, replaced by the paragraph's encoded text. Each paragraph works on the result
// of the ones before it.
QString SpliceParagraphs(QString page, const QString &delimiter, const QString &endDelimiter,
                         const QList<Paragraph> &paragraphs);
