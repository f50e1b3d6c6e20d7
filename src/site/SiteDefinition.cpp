#include "site/SiteDefinition.h"

#include "site/AnsiText.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <algorithm>

namespace vellumet
{

namespace
{

// Only the space character is trimmed: a tab stays part of a key or value.
QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

// Keys are ASCII. Full Unicode upper-casing would also accept "pa\u00DFword", since
// "\u00DF" becomes "SS".
QString asciiUpper(QString text)
{
    for (QChar &c : text)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    return text;
}

// A line ends at CR LF or at a lone CR; a lone LF is part of the line. Lines are handed
// over one at a time, so a file of millions of empty lines needs no list of them.
template <typename LineHandler> void forEachLine(QStringView text, LineHandler handle)
{
    qsizetype start = 0;
    for (qsizetype i = 0; (i = text.indexOf(u'\r', i)) >= 0; ++i) {
        handle(text.mid(start, i - start));
        if (i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        handle(text.mid(start));
}

Page makePage(const QString &value)
{
    Page page;
    const qsizetype first = value.indexOf(u',');
    if (first < 0) {
        page.source = page.target = value;
        return page;
    }
    page.source = value.left(first);
    const QString rest = value.mid(first + 1);
    const qsizetype second = rest.indexOf(u',');
    if (second < 0) {
        page.target = rest;
        return page;
    }
    page.target = rest.left(second);
    page.directory = normaliseDirectory(rest.mid(second + 1));
    return page;
}

Paragraph makeParagraph(const QString &value)
{
    Paragraph para;
    const qsizetype comma = value.indexOf(u',');
    if (comma < 0) {
        para.name = value;
        para.description = QString(value).replace(u'_', u' ');
    } else {
        para.name = value.left(comma);
        para.description = value.mid(comma + 1);
    }
    return para;
}

// Anything but a whole number from 1 to the most allowed leaves the default.
int connectionCount(const QString &value)
{
    bool ok = false;
    const int count = value.toInt(&ok);
    return ok && count >= 1 && count <= SiteSettings::MaxConnections
               ? count
               : SiteSettings::DefaultConnections;
}

void applySetting(SiteDefinition &site, const QString &key, const QString &value)
{
    SiteSettings &s = site.settings;
    if (key == u"SERVER")
        s.server = value;
    else if (key == u"LOGIN")
        s.login = value;
    else if (key == u"PASSWORD")
        s.password = value;
    else if (key == u"DIRECTORY")
        s.directory = normaliseDirectory(value);
    else if (key == u"DELIMITER")
        s.delimiter = value;
    else if (key == u"TITLE")
        s.title = value;
    else if (key == u"DEVELOPER")
        s.developer = value;
    else if (key == u"EMAIL")
        s.email = value;
    else if (key == u"PHONE")
        s.phone = value;
    else if (key == u"WEBSITE")
        s.website = value;
    else if (key == u"CONNECTIONS")
        s.connections = connectionCount(value);
    else if (key == u"PAGE")
        site.pages.append(makePage(value));
    else if (key == u"PARAGRAPH")
        site.paragraphs.append(makeParagraph(value));
}

} // namespace

SiteDefinition parseSiteDefinition(const QByteArray &bytes)
{
    SiteDefinition site;
    const QString text = decodeAnsi(bytes);
    forEachLine(text, [&site](QStringView line) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return;
        const QString key = asciiUpper(trimSpaces(line.left(equals).toString()));
        applySetting(site, key, trimSpaces(line.mid(equals + 1).toString()));
    });
    for (Page &page : site.pages)
        if (page.directory.isEmpty())
            page.directory = site.settings.directory;
    site.settings.endDelimiter = deriveEndDelimiter(site.settings.delimiter);
    return site;
}

Result<QByteArray> readSiteDefinitionFile(const QString &folder)
{
    return readWholeFile(folder + u'/' + QLatin1StringView(SiteDefinitionFileName));
}

QString normaliseDirectory(QString directory)
{
    directory.replace(u'\\', u'/');
    if (directory.endsWith(u'/'))
        directory.chop(1);
    return directory;
}

QString deriveEndDelimiter(const QString &delimiter)
{
    QString end(delimiter);
    std::reverse(end.begin(), end.end());
    for (QChar &c : end) {
        switch (c.unicode()) {
        case u'(':
            c = u')';
            break;
        case u'{':
            c = u'}';
            break;
        case u'[':
            c = u']';
            break;
        case u'<':
            c = u'>';
            break;
        default:
            break;
        }
    }
    return end;
}

} // namespace vellumet
