#pragma once

#include <QString>

// The single-valued settings of a site definition; written once at start-up.
struct SiteSettings {
    QString Server;
    QString Login;
    QString Password;
    QString Directory;
    QString Title;
    QString Developer;
    QString Email;
    QString Phone;
    QString Delimiter = QStringLiteral("@{");
    QString EndDelimiter = QStringLiteral("}@");
};
