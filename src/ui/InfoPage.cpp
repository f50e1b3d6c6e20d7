#include "ui/InfoPage.h"

#include "site/SiteDefinition.h"
#include "ui/BuildInfo.h"

#include <QStringList>

#include <curl/curl.h>

namespace
{

QString Labelled(const char *label, const QString &value)
{
    // Labels are 11 characters wide so the values line up in a fixed-pitch font.
    return QString::fromLatin1(label).leftJustified(11) + Shortened(value);
}

QString UsageNotes()
{
    return QStringLiteral(
        "This program has been supplied to you by your website developer to enable you "
        "to update certain parts of your website yourself. "
        "You should select the paragraph that you want to update by clicking on it's "
        "description in the lefthand box. "
        "You will then be able to edit the text for that paragraph in the righthand box. "
        "When you have finished, you should press the Save button to update your website. ");
}

void AddDeveloper(QStringList &lines, const SiteSettings &s)
{
    if ((s.Developer + s.Email + s.Phone).isEmpty())
        return;
    lines << QStringLiteral(" ") << QStringLiteral("WEBSITE DEVELOPER");
    if (!s.Developer.isEmpty())
        lines << Labelled("Contact:", s.Developer);
    if (!s.Phone.isEmpty())
        lines << Labelled("Phone:", s.Phone);
    if (!s.Email.isEmpty())
        lines << Labelled("Email:", s.Email);
}

void AddSite(QStringList &lines, const SiteSettings &s, const QList<Page> &pages,
             const QList<Paragraph> &paragraphs)
{
    lines << QStringLiteral(" ") << QStringLiteral("SERVER") << Labelled("Website:", s.Title)
          << Labelled("Server:", s.Server) << Labelled("Login ID:", s.Login)
          << Labelled("Directory:", s.Directory);
    lines << QStringLiteral(" ") << QStringLiteral("PAGES");
    for (const Page &page : pages) {
        QString line =
            Shortened(page.PageSource) + QStringLiteral(" - ") + Shortened(page.PageTarget);
        if (!page.PageDirectory.isEmpty())
            line += QStringLiteral(" - ") + Shortened(page.PageDirectory);
        lines << line;
    }
    lines << QStringLiteral(" ") << QStringLiteral("PARAGRAPHS");
    for (const Paragraph &para : paragraphs)
        lines << Shortened(para.ParaName) + QStringLiteral(" - ") + Shortened(para.ParaDescription);
}

void AddProgram(QStringList &lines, const ProgramDetails &program)
{
    lines << QStringLiteral(" ") << QStringLiteral("VELLUMET INFORMATION")
          << Labelled("Version:", program.Version) << Labelled("Copyright:", program.Copyright)
          << Labelled("Support:", program.SupportEmail) << Labelled("Website:", program.Website)
          << QStringLiteral(" ") << QStringLiteral("ACKNOWLEDGEMENTS") << program.Acknowledgement;
}

} // namespace

ProgramDetails ThisProgram()
{
    // The libcurl actually loaded, which may be newer than the headers built against.
    const curl_version_info_data *curl = curl_version_info(CURLVERSION_NOW);
    const QString curlVersion = QString::fromLatin1(curl && curl->version ? curl->version : "");
    return {
        QStringLiteral("%1.%2.%3")
            .arg(BuildInfo::VersionMajor)
            .arg(BuildInfo::VersionMinor)
            .arg(BuildInfo::VersionPatch),
        QString::fromUtf8(BuildInfo::Copyright),
        QString::fromUtf8(BuildInfo::SupportEmail),
        QString::fromUtf8(BuildInfo::Website),
        QStringLiteral("This program utilizes libcurl %1, Copyright (C) Daniel Stenberg and "
                       "contributors. Further information is available at https://curl.se/")
            .arg(curlVersion),
    };
}

QString InfoPageText(const SiteSettings &settings, const QList<Page> &pages,
                     const QList<Paragraph> &paragraphs, const ProgramDetails &program)
{
    QStringList lines{QStringLiteral("VELLUMET INFORMATION"), UsageNotes()};
    AddDeveloper(lines, settings);
    AddSite(lines, settings, pages, paragraphs);
    AddProgram(lines, program);
    return lines.join(QStringLiteral("\r\n"));
}
