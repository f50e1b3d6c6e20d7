#pragma once

#include "site/Catalogue.h"
#include "site/SiteSettings.h"

#include <QString>

namespace vellumet
{

// Who made this program and what it is built on, for the information page.
struct ProgramDetails {
    QString version;
    QString copyright;
    QString supportEmail;
    QString website;
    QString acknowledgement;
};

// This build's details: its version, the publisher's notice and contacts, and the
// acknowledgement of libcurl.
ProgramDetails thisProgram();

// The information page: usage notes, the developer's contacts, the site's connection,
// pages and paragraphs, and the program's details. CR LF line ends; a blank line holds
// one space.
QString infoPageText(const SiteSettings &settings, const QList<Page> &pages,
                     const QList<Paragraph> &paragraphs, const ProgramDetails &program);

} // namespace vellumet
