#pragma once

#include "publish/FtpClient.h"
#include "site/SiteDefinition.h"
#include "site/SiteDefinitionCheck.h"

namespace vellumet
{

// What only the server can tell about a site definition: pages that cannot be fetched,
// markers that fill nothing or name nothing, a target that would overwrite another page's
// source. Nothing on the server changes: each source is fetched into scratchFolder, and
// nothing is put.
QList<CheckFinding> checkSiteOnline(const SiteDefinition &site, const DefinitionLines &lines,
                                    FtpClient &ftp, const QString &scratchFolder);

// The names between each delimiter and the end delimiter after it; what spans lines or
// holds a tag is no marker.
QStringList markerNames(const QString &page, const QString &delimiter, const QString &endDelimiter);

} // namespace vellumet
