#pragma once

#include "site/Catalogue.h"
#include "site/Result.h"
#include "site/SiteSettings.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace vellumet
{

// Everything a site definition file says: the settings, and the pages and paragraphs
// in file order (paragraph texts still empty; they come from the local copies).
struct SiteDefinition {
    SiteSettings settings;
    QList<Page> pages;
    QList<Paragraph> paragraphs;
};

inline constexpr auto SiteDefinitionFileName = "vellumet.ini";

// A line of the file that holds "=", as the program reads it: its number counted from 1
// in the program's own line ends, its key trimmed and in upper case, its value trimmed.
struct SettingLine {
    int number = 0;
    QString key;
    QString value;
};
using SettingLineHandler = std::function<void(const SettingLine &)>;

// Every line that holds "=", in file order, whether its key is known or not.
void forEachSettingLine(const QByteArray &bytes, const SettingLineHandler &handle);

// True for the keys a site definition acts on.
bool isSiteDefinitionKey(const QString &key);

// Pure: the whole reading of a site definition from the file's bytes.
SiteDefinition parseSiteDefinition(const QByteArray &bytes);

// The bytes of folder/vellumet.ini, or nothing, with the reason, when it is no regular
// file of a sane size or cannot be read (an empty file gives an empty array).
Result<QByteArray> readSiteDefinitionFile(const QString &folder);

// Backslashes become "/", and one trailing "/" goes.
QString normaliseDirectory(QString directory);

// Delimiter reversed, with opening brackets turned into closing ones.
QString deriveEndDelimiter(const QString &delimiter);

} // namespace vellumet
