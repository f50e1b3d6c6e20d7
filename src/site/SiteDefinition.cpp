#include "site/SiteDefinition.h"

#include "site/AnsiText.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <algorithm>

namespace
{

// Only the space character is trimmed: a tab stays part of a key or value.
QString TrimSpaces(const QString &text)
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
QString AsciiUpper(QString text)
{
    for (QChar &c : text)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    return text;
}

// A line ends at CR LF or at a lone CR; a lone LF is part of the line. Lines are handed
// over one at a time, so a file of millions of empty lines needs no list of them.
template <typename LineHandler> void ForEachLine(QStringView text, LineHandler handle)
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

Page MakePage(const QString &value)
{
    Page page;
    const qsizetype first = value.indexOf(u',');
    if (first < 0) {
        page.PageSource = page.PageTarget = value;
        return page;
    }
    page.PageSource = value.left(first);
    const QString rest = value.mid(first + 1);
    const qsizetype second = rest.indexOf(u',');
    if (second < 0) {
        page.PageTarget = rest;
        return page;
    }
    page.PageTarget = rest.left(second);
    page.PageDirectory = NormaliseDirectory(rest.mid(second + 1));
    return page;
}

Paragraph MakeParagraph(const QString &value)
{
    Paragraph para;
    const qsizetype comma = value.indexOf(u',');
    if (comma < 0) {
        para.ParaName = value;
        para.ParaDescription = QString(value).replace(u'_', u' ');
    } else {
        para.ParaName = value.left(comma);
        para.ParaDescription = value.mid(comma + 1);
    }
    return para;
}

void ApplySetting(SiteDefinition &site, const QString &key, const QString &value)
{
    SiteSettings &s = site.Settings;
    if (key == u"SERVER")
        s.Server = value;
    else if (key == u"LOGIN")
        s.Login = value;
    else if (key == u"PASSWORD")
        s.Password = value;
    else if (key == u"DIRECTORY")
        s.Directory = NormaliseDirectory(value);
    else if (key == u"DELIMITER")
        s.Delimiter = value;
    else if (key == u"TITLE")
        s.Title = value;
    else if (key == u"DEVELOPER")
        s.Developer = value;
    else if (key == u"EMAIL")
        s.Email = value;
    else if (key == u"PHONE")
        s.Phone = value;
    else if (key == u"PAGE")
        site.Pages.append(MakePage(value));
    else if (key == u"PARAGRAPH")
        site.Paragraphs.append(MakeParagraph(value));
}

} // namespace

SiteDefinition ParseSiteDefinition(const QByteArray &bytes)
{
    SiteDefinition site;
    const QString text = DecodeAnsi(bytes);
    ForEachLine(text, [&site](QStringView line) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return;
        const QString key = AsciiUpper(TrimSpaces(line.left(equals).toString()));
        ApplySetting(site, key, TrimSpaces(line.mid(equals + 1).toString()));
    });
    for (Page &page : site.Pages)
        if (page.PageDirectory.isEmpty())
            page.PageDirectory = site.Settings.Directory;
    site.Settings.EndDelimiter = DeriveEndDelimiter(site.Settings.Delimiter);
    return site;
}

Result<QByteArray> ReadSiteDefinitionFile(const QString &folder)
{
    return readWholeFile(folder + u'/' + QLatin1StringView(SiteDefinitionFileName));
}

QString Shortened(const QString &value)
{
    if (value.size() <= ShownValueLength)
        return value;
    // Never half a surrogate pair.
    const qsizetype cut =
        value[ShownValueLength - 1].isHighSurrogate() ? ShownValueLength - 1 : ShownValueLength;
    return value.left(cut) + QStringLiteral("...");
}

QString NormaliseDirectory(QString directory)
{
    directory.replace(u'\\', u'/');
    if (directory.endsWith(u'/'))
        directory.chop(1);
    return directory;
}

QString DeriveEndDelimiter(const QString &delimiter)
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

QString CaptionFor(const QString &title)
{
    return title.isEmpty() ? QString() : QStringLiteral("Vellumet - ") + Shortened(title);
}
