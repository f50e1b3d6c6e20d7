#pragma once

#include <QString>

namespace vellumet
{

// The single-valued settings of a site definition; written once at start-up.
struct SiteSettings {
    QString server;
    QString login;
    QString password;
    QString directory;
    QString title;
    QString developer;
    QString email;
    QString phone;
    // The live site's address, for previews; optional.
    QString website;
    QString delimiter = QStringLiteral("@{");
    QString endDelimiter = QStringLiteral("}@");
};

} // namespace vellumet
