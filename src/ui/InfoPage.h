#pragma once

#include "site/Catalogue.h"
#include "site/SiteSettings.h"

#include <QString>

// Who made this program and what it is built on, for the information page.
struct ProgramDetails {
    QString Version;
    QString Copyright;
    QString SupportEmail;
    QString Website;
    QString Acknowledgement;
};

// This build's details: its version, the publisher's notice and contacts, and the
// libcurl it runs with.
ProgramDetails ThisProgram();

// The information page: usage notes, the developer's contacts, the site's connection,
// pages and paragraphs, and the program's details. CR LF line ends; a blank line holds
// one space.
QString InfoPageText(const SiteSettings &settings, const QList<Page> &pages,
                     const QList<Paragraph> &paragraphs, const ProgramDetails &program);
