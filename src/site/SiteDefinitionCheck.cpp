#include "site/SiteDefinitionCheck.h"

#include "site/FolderLock.h"
#include "site/SiteDefinition.h"
#include "site/WholeFile.h"

#include <QHash>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vellumet
{

namespace
{

using Findings = QList<CheckFinding>;

// A line feed ends no line, so a file written on Unix is one long line.
void checkLineEnds(const QByteArray &bytes, Findings &out)
{
    if (!bytes.contains('\r') && bytes.contains('\n')) {
        out.append({1, u"line-feed"_s,
                    u"the lines end in a line feed alone, so the whole file is read as one "
                    "line and only its first setting counts: save it with CR LF line ends "
                    "(for example with unix2dos)"_s});
        return;
    }
    int line = 1;
    int reported = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            line += !(i + 1 < bytes.size() && bytes[i + 1] == '\n');
        } else if (bytes[i] == '\n') {
            if (i > 0 && bytes[i - 1] == '\r')
                ++line;
            else if (std::exchange(reported, line) != line)
                out.append({line, u"line-feed"_s,
                            u"a line feed without a carriage return does not end this line: "
                            "what follows it is read as part of it; end the line with CR LF"_s});
        }
    }
}

bool startsWithByteOrderMark(const QByteArray &bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") ||
           bytes.startsWith("\xFE\xFF");
}

// A tab next to "=" or at the start of a line becomes part of the key.
QString unknownKeyMessage(const QString &key)
{
    if (key.isEmpty())
        return u"the line has no key before \"=\" and is ignored"_s;
    const QString why = isSiteDefinitionKey(key.trimmed())
                            ? u": a tab beside a key is part of it, so the line is ignored"_s
                            : u": the line is ignored"_s;
    return u"unknown key "_s + quoted(key) + why;
}

void checkKeys(const QByteArray &bytes, bool byteOrderMark, Findings &out)
{
    QHash<QString, int> lastLine;
    forEachSettingLine(bytes, [&](const SettingLine &line) {
        if (!isSiteDefinitionKey(line.key)) {
            if (!(byteOrderMark && line.number == 1))
                out.append({line.number, u"unknown-key"_s, unknownKeyMessage(line.key)});
            return;
        }
        if (line.key == u"PAGE" || line.key == u"PARAGRAPH")
            return;
        if (const int earlier = lastLine.value(line.key))
            out.append(
                {earlier, u"repeated-key"_s,
                 line.key + u" is given again on line %1, and only that last one counts"_s.arg(
                                line.number)});
        lastLine.insert(line.key, line.number);
    });
}

// No PASSWORD is no fault: the password is then asked for once and kept in the keyring.
void checkLogin(const SiteSettings &settings, Findings &out)
{
    const struct {
        const char16_t *key;
        const QString &value;
        const char16_t *effect;
    } needed[] = {{u"SERVER", settings.server, u"connect"}, {u"LOGIN", settings.login, u"log in"}};
    for (const auto &n : needed)
        if (n.value.isEmpty())
            out.append({0, u"missing-setting"_s,
                        QString::fromUtf16(n.key) + u" is missing or empty, so Save cannot "_s +
                            QString::fromUtf16(n.effect)});
}

// Windows drops a trailing space or dot from a file name and refuses these characters:
// the folder may be copied to a client's Windows machine.
QString fileNameProblem(const QString &name)
{
    if (name.isEmpty())
        return u"is empty"_s;
    const auto windowsRefuses = [](QChar c) { return QStringView(u":*?\"<>|").contains(c); };
    if (!isPlainFileName(name) || std::any_of(name.cbegin(), name.cend(), windowsRefuses))
        return u"holds a character no file name may hold"_s;
    if (isProgramFileName(name + u".txt"_s))
        return u"would name one of the program's own files"_s;
    if (name.endsWith(u' ') || name.endsWith(u'.'))
        return u"ends in a space or a dot, which Windows drops from file names"_s;
    return {};
}

void checkParagraphs(const QList<Paragraph> &paragraphs, const QList<int> &lines,
                     const std::function<bool(const QString &)> &hasFile, Findings &out)
{
    QHash<QString, qsizetype> seen; // by lower-case name: local copies of one name on Windows
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        const QString &name = paragraphs[i].name;
        const int line = lines.value(i);
        if (const QString problem = fileNameProblem(name); !problem.isEmpty()) {
            out.append({line, u"paragraph-name"_s,
                        u"the paragraph name "_s + quoted(name) + u' ' + problem +
                            u", so its text cannot have a local copy"_s});
            continue;
        }
        const auto earlier = seen.constFind(name.toLower());
        if (earlier != seen.cend()) {
            const QString &first = paragraphs[*earlier].name;
            const QString how = first == name ? u"is given before, on line %1"_s
                                              : u"differs from "_s + quoted(first) +
                                                    u" on line %1 only in letter case, and on "
                                                    "Windows both share one local copy"_s;
            out.append(
                {line, u"paragraph-twice"_s,
                 u"the paragraph name "_s + quoted(name) + u' ' + how.arg(lines.value(*earlier))});
            continue;
        }
        seen.insert(name.toLower(), i);
        if (!hasFile(name + u".txt"_s))
            out.append({line, u"no-local-copy"_s,
                        u"the paragraph "_s + quoted(name) + u" has no local copy "_s + name +
                            u".txt, so it starts empty"_s});
    }
}

QString pageNameProblem(const QString &role, const QString &name)
{
    if (name.isEmpty())
        return u"the page's "_s + role + u" name is empty"_s;
    if (!isPlainFileName(name) || isProgramFileName(name))
        return u"the page's "_s + role + u" name "_s + quoted(name) +
               u" is not a file of its own in the page's directory"_s;
    if (name.startsWith(u' ') || name.endsWith(u' '))
        return u"the page's "_s + role + u" name "_s + quoted(name) +
               u" begins or ends with a space: spaces next to a comma stay part of it"_s;
    return {};
}

QString directoryProblem(const QString &directory)
{
    if (hasControlCharacter(directory))
        return u"holds a control character"_s;
    if (directory.contains(u"://"_s))
        return u"is an address, not a path on the server"_s;
    if (directory.startsWith(u' ') || directory.endsWith(u' '))
        return u"begins or ends with a space: spaces next to a comma stay part of it"_s;
    return {};
}

void checkDirectory(int line, const QString &directory, Findings &out)
{
    if (const QString problem = directoryProblem(directory); !problem.isEmpty())
        out.append(
            {line, u"directory"_s, u"the directory "_s + quoted(directory) + u' ' + problem});
}

// A page's own directory is all after its second comma; without one it takes DIRECTORY,
// which is checked on its own line.
void checkPages(const QByteArray &bytes, const QList<Page> &pages, Findings &out)
{
    qsizetype i = 0;
    forEachSettingLine(bytes, [&](const SettingLine &line) {
        if (line.key == u"DIRECTORY")
            checkDirectory(line.number, normaliseDirectory(line.value), out);
        if (line.key != u"PAGE")
            return;
        const Page &page = pages[i++];
        for (const QString &problem :
             {pageNameProblem(u"source"_s, page.source), pageNameProblem(u"target"_s, page.target)})
            if (!problem.isEmpty())
                out.append({line.number, u"page-name"_s, problem});
        if (line.value.count(u',') >= 2)
            checkDirectory(line.number, normaliseDirectory(line.value.section(u',', 2)), out);
    });
}

} // namespace

DefinitionLines definitionLines(const QByteArray &bytes)
{
    DefinitionLines lines;
    forEachSettingLine(bytes, [&lines](const SettingLine &line) {
        if (line.key == u"PAGE")
            lines.pages.append(line.number);
        else if (line.key == u"PARAGRAPH")
            lines.paragraphs.append(line.number);
    });
    return lines;
}

QList<CheckFinding> checkSiteDefinition(const QByteArray &bytes,
                                        const std::function<bool(const QString &)> &hasFile)
{
    Findings findings;
    const bool byteOrderMark = startsWithByteOrderMark(bytes);
    if (byteOrderMark)
        findings.append({1, u"byte-order-mark"_s,
                         u"the file begins with a byte-order mark, which becomes part of the "
                         "first key, so this line's setting is ignored: save the file as "
                         "Windows-1252 (ANSI) text without it"_s});
    checkLineEnds(bytes, findings);
    checkKeys(bytes, byteOrderMark, findings);
    const SiteDefinition site = parseSiteDefinition(bytes);
    checkLogin(site.settings, findings);
    checkParagraphs(site.paragraphs, definitionLines(bytes).paragraphs, hasFile, findings);
    checkPages(bytes, site.pages, findings);
    sortFindings(findings);
    return findings;
}

void sortFindings(QList<CheckFinding> &findings)
{
    std::stable_sort(findings.begin(), findings.end(),
                     [](const CheckFinding &a, const CheckFinding &b) {
                         return unsigned(a.line - 1) < unsigned(b.line - 1);
                     });
}

} // namespace vellumet
