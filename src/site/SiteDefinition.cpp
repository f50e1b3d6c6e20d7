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

using Apply = void (*)(SiteDefinition &, const QString &);
struct Setting {
    QStringView key;
    Apply apply;
};

// The one list of keys: the reading and the check must never disagree on what is known.
const Setting Settings[] = {
    {u"SERVER", [](SiteDefinition &s, const QString &v) { s.settings.server = v; }},
    {u"LOGIN", [](SiteDefinition &s, const QString &v) { s.settings.login = v; }},
    {u"PASSWORD", [](SiteDefinition &s, const QString &v) { s.settings.password = v; }},
    {u"DIRECTORY",
     [](SiteDefinition &s, const QString &v) { s.settings.directory = normaliseDirectory(v); }},
    {u"DELIMITER", [](SiteDefinition &s, const QString &v) { s.settings.delimiter = v; }},
    {u"TITLE", [](SiteDefinition &s, const QString &v) { s.settings.title = v; }},
    {u"DEVELOPER", [](SiteDefinition &s, const QString &v) { s.settings.developer = v; }},
    {u"EMAIL", [](SiteDefinition &s, const QString &v) { s.settings.email = v; }},
    {u"PHONE", [](SiteDefinition &s, const QString &v) { s.settings.phone = v; }},
    {u"WEBSITE", [](SiteDefinition &s, const QString &v) { s.settings.website = v; }},
    {u"CONNECTIONS",
     [](SiteDefinition &s, const QString &v) { s.settings.connections = connectionCount(v); }},
    {u"PAGE", [](SiteDefinition &s, const QString &v) { s.pages.append(makePage(v)); }},
    {u"PARAGRAPH",
     [](SiteDefinition &s, const QString &v) { s.paragraphs.append(makeParagraph(v)); }},
};

const Setting *settingFor(QStringView key)
{
    for (const Setting &setting : Settings)
        if (setting.key == key)
            return &setting;
    return nullptr;
}

} // namespace

void forEachSettingLine(const QByteArray &bytes, const SettingLineHandler &handle)
{
    int number = 0;
    forEachLine(decodeAnsi(bytes), [&](QStringView line) {
        ++number;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return;
        handle({number, asciiUpper(trimSpaces(line.left(equals).toString())),
                trimSpaces(line.mid(equals + 1).toString())});
    });
}

bool isSiteDefinitionKey(const QString &key)
{
    return settingFor(key) != nullptr;
}

SiteDefinition parseSiteDefinition(const QByteArray &bytes)
{
    SiteDefinition site;
    forEachSettingLine(bytes, [&site](const SettingLine &line) {
        if (const Setting *setting = settingFor(line.key))
            setting->apply(site, line.value);
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
