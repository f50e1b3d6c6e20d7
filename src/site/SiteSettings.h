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
    // Connections a publish run may open at once; CONNECTIONS= for hosts that count them.
    int connections = DefaultConnections;
    static constexpr int DefaultConnections = 8;
    static constexpr int MaxConnections = 16;
};

} // namespace vellumet
