#include "ui/InfoPage.h"

#include "site/SiteDefinition.h"
#include "ui/BuildInfo.h"
#include "ui/LayoutRule.h"

#include <QStringList>

namespace vellumet
{

namespace
{

QString labelled(const char *label, const QString &value)
{
    // Labels are 11 characters wide so the values line up in a fixed-pitch font.
    return QString::fromLatin1(label).leftJustified(11) + shortened(value);
}

QString usageNotes()
{
    return QStringLiteral(
        "This program has been supplied to you by your website developer to enable you "
        "to update certain parts of your website yourself. "
        "You should select the paragraph that you want to update by clicking on it's "
        "description in the lefthand box. "
        "You will then be able to edit the text for that paragraph in the righthand box. "
        "When you have finished, you should press the Save button to update your website. ");
}

void addDeveloper(QStringList &lines, const SiteSettings &s)
{
    if ((s.developer + s.email + s.phone).isEmpty())
        return;
    lines << QStringLiteral(" ") << QStringLiteral("WEBSITE DEVELOPER");
    if (!s.developer.isEmpty())
        lines << labelled("Contact:", s.developer);
    if (!s.phone.isEmpty())
        lines << labelled("Phone:", s.phone);
    if (!s.email.isEmpty())
        lines << labelled("Email:", s.email);
}

void addSite(QStringList &lines, const SiteSettings &s, const QList<Page> &pages,
             const QList<Paragraph> &paragraphs)
{
    lines << QStringLiteral(" ") << QStringLiteral("SERVER") << labelled("Website:", s.title);
    if (!s.website.isEmpty())
        lines << labelled("Address:", s.website);
    lines << labelled("Server:", s.server) << labelled("Login ID:", s.login)
          << labelled("Directory:", s.directory);
    lines << QStringLiteral(" ") << QStringLiteral("PAGES");
    for (const Page &page : pages) {
        QString line = shortened(page.source) + QStringLiteral(" - ") + shortened(page.target);
        if (!page.directory.isEmpty())
            line += QStringLiteral(" - ") + shortened(page.directory);
        lines << line;
    }
    lines << QStringLiteral(" ") << QStringLiteral("PARAGRAPHS");
    for (const Paragraph &para : paragraphs)
        lines << shortened(para.name) + QStringLiteral(" - ") + shortened(para.description);
}

void addProgram(QStringList &lines, const ProgramDetails &program)
{
    lines << QStringLiteral(" ") << QStringLiteral("VELLUMET INFORMATION")
          << labelled("Version:", program.version) << labelled("Copyright:", program.copyright)
          << labelled("Support:", program.supportEmail) << labelled("Website:", program.website)
          << QStringLiteral(" ") << QStringLiteral("ACKNOWLEDGEMENTS") << program.acknowledgement;
}

} // namespace

ProgramDetails thisProgram()
{
    return {
        QStringLiteral("%1.%2.%3")
            .arg(BuildInfo::VersionMajor)
            .arg(BuildInfo::VersionMinor)
            .arg(BuildInfo::VersionPatch),
        QString::fromUtf8(BuildInfo::Copyright),
        QString::fromUtf8(BuildInfo::SupportEmail),
        QString::fromUtf8(BuildInfo::Website),
        // Without a version: libcurl loads with the first run, long after this page is shown.
        QStringLiteral("This program utilizes libcurl, Copyright (C) Daniel Stenberg and "
                       "contributors. Further information is available at https://curl.se/"),
    };
}

QString infoPageText(const SiteSettings &settings, const QList<Page> &pages,
                     const QList<Paragraph> &paragraphs, const ProgramDetails &program)
{
    QStringList lines{QStringLiteral("VELLUMET INFORMATION"), usageNotes()};
    addDeveloper(lines, settings);
    addSite(lines, settings, pages, paragraphs);
    addProgram(lines, program);
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace vellumet
