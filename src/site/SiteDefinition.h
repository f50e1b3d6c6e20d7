#pragma once

#include "site/Catalogue.h"
#include "site/SiteSettings.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Everything a site definition file says: the settings, and the pages and paragraphs
// in file order (paragraph texts still empty; they come from the local copies).
struct SiteDefinition {
    SiteSettings Settings;
    QList<Page> Pages;
    QList<Paragraph> Paragraphs;
};

inline constexpr auto SiteDefinitionFileName = "vellumet.ini";

// Pure: the whole reading of a site definition from the file's bytes.
SiteDefinition ParseSiteDefinition(const QByteArray &bytes);

// The bytes of folder/vellumet.ini, or nothing when the file cannot be opened and read
// (an empty file gives an empty array, not nothing).
std::optional<QByteArray> ReadSiteDefinitionFile(const QString &folder);

// Backslashes become "/", and one trailing "/" goes.
QString NormaliseDirectory(QString directory);

// Delimiter reversed, with opening brackets turned into closing ones.
QString DeriveEndDelimiter(const QString &delimiter);

// The window caption for a site title; empty when the design caption is to stay.
QString CaptionFor(const QString &title);
