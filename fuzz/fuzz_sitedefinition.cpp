// The site definition reader against a second, deliberately plain reader that works on
// the file's bytes, plus properties that hold for any file.
#include "FuzzSupport.h"

#include "site/AnsiText.h"
#include "site/SiteDefinition.h"
#include "site/SiteDefinitionCheck.h"

#include <map>
#include <string>
#include <vector>

using namespace vellumet;

namespace
{

struct PlainPage {
    std::string source, target, directory;
};
struct PlainParagraph {
    std::string name, description;
};
struct PlainSite {
    std::map<std::string, std::string> settings{{"DELIMITER", "@{"}};
    std::vector<PlainPage> pages;
    std::vector<PlainParagraph> paragraphs;
};

std::string trimSpaces(const std::string &s)
{
    const size_t begin = s.find_first_not_of(' ');
    if (begin == std::string::npos)
        return {};
    return s.substr(begin, s.find_last_not_of(' ') - begin + 1);
}

// Keys are ASCII; letter case is ignored for ASCII letters only.
std::string asciiUpper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

std::string PlainDirectory(std::string dir)
{
    for (char &c : dir)
        if (c == '\\')
            c = '/';
    if (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    return dir;
}

void PlainLine(PlainSite &site, const std::string &line)
{
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return;
    const std::string key = asciiUpper(trimSpaces(line.substr(0, equals)));
    const std::string value = trimSpaces(line.substr(equals + 1));
    if (key == "PAGE") {
        PlainPage page;
        const size_t first = value.find(',');
        const size_t second = first == std::string::npos ? first : value.find(',', first + 1);
        page.source = value.substr(0, first);
        if (first == std::string::npos)
            page.target = value;
        else
            page.target = value.substr(first + 1, second - first - 1);
        if (second != std::string::npos)
            page.directory = PlainDirectory(value.substr(second + 1));
        site.pages.push_back(page);
    } else if (key == "PARAGRAPH") {
        const size_t comma = value.find(',');
        PlainParagraph para{value.substr(0, comma), {}};
        if (comma == std::string::npos) {
            para.description = value;
            for (char &c : para.description)
                if (c == '_')
                    c = ' ';
        } else {
            para.description = value.substr(comma + 1);
        }
        site.paragraphs.push_back(para);
    } else if (key == "DIRECTORY") {
        site.settings[key] = PlainDirectory(value);
    } else if (key == "SERVER" || key == "LOGIN" || key == "PASSWORD" || key == "DELIMITER" ||
               key == "TITLE" || key == "DEVELOPER" || key == "EMAIL" || key == "PHONE") {
        site.settings[key] = value;
    }
}

PlainSite PlainRead(const std::string &bytes)
{
    PlainSite site;
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            line += bytes[i];
            continue;
        }
        PlainLine(site, line);
        line.clear();
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
    }
    if (!line.empty())
        PlainLine(site, line);
    for (PlainPage &page : site.pages)
        if (page.directory.empty())
            page.directory = site.settings["DIRECTORY"];
    return site;
}

QString Ansi(const std::string &bytes)
{
    return decodeAnsi(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

bool SameSettings(const SiteSettings &a, const SiteSettings &b)
{
    return a.server == b.server && a.login == b.login && a.password == b.password &&
           a.directory == b.directory && a.title == b.title && a.developer == b.developer &&
           a.email == b.email && a.phone == b.phone && a.delimiter == b.delimiter &&
           a.endDelimiter == b.endDelimiter;
}

bool SameSite(const SiteDefinition &a, const SiteDefinition &b)
{
    if (!SameSettings(a.settings, b.settings) || a.pages.size() != b.pages.size() ||
        a.paragraphs.size() != b.paragraphs.size())
        return false;
    for (qsizetype i = 0; i < a.pages.size(); ++i)
        if (a.pages[i].source != b.pages[i].source || a.pages[i].target != b.pages[i].target ||
            a.pages[i].directory != b.pages[i].directory)
            return false;
    for (qsizetype i = 0; i < a.paragraphs.size(); ++i)
        if (a.paragraphs[i].name != b.paragraphs[i].name ||
            a.paragraphs[i].description != b.paragraphs[i].description)
            return false;
    return true;
}

void CheckAgainstPlainReader(const SiteDefinition &site, const std::string &bytes)
{
    PlainSite plain = PlainRead(bytes);
    const SiteSettings &s = site.settings;
    FUZZ_CHECK(s.server == Ansi(plain.settings["SERVER"]));
    FUZZ_CHECK(s.login == Ansi(plain.settings["LOGIN"]));
    FUZZ_CHECK(s.password == Ansi(plain.settings["PASSWORD"]));
    FUZZ_CHECK(s.directory == Ansi(plain.settings["DIRECTORY"]));
    FUZZ_CHECK(s.delimiter == Ansi(plain.settings["DELIMITER"]));
    FUZZ_CHECK(s.title == Ansi(plain.settings["TITLE"]));
    FUZZ_CHECK(s.developer == Ansi(plain.settings["DEVELOPER"]));
    FUZZ_CHECK(s.email == Ansi(plain.settings["EMAIL"]));
    FUZZ_CHECK(s.phone == Ansi(plain.settings["PHONE"]));
    FUZZ_CHECK(size_t(site.pages.size()) == plain.pages.size());
    for (size_t i = 0; i < plain.pages.size(); ++i) {
        const Page &page = site.pages[qsizetype(i)];
        FUZZ_CHECK(page.source == Ansi(plain.pages[i].source));
        FUZZ_CHECK(page.target == Ansi(plain.pages[i].target));
        FUZZ_CHECK(page.directory == Ansi(plain.pages[i].directory));
    }
    FUZZ_CHECK(size_t(site.paragraphs.size()) == plain.paragraphs.size());
    for (size_t i = 0; i < plain.paragraphs.size(); ++i) {
        const Paragraph &para = site.paragraphs[qsizetype(i)];
        FUZZ_CHECK(para.name == Ansi(plain.paragraphs[i].name));
        FUZZ_CHECK(para.description == Ansi(plain.paragraphs[i].description));
        FUZZ_CHECK(para.text.isEmpty());
    }
}

// What the rest of the program relies on, whatever the file says.
void CheckInvariants(const SiteDefinition &site)
{
    const SiteSettings &s = site.settings;
    FUZZ_CHECK(!s.directory.contains(u'\\'));
    for (const Page &page : site.pages) {
        FUZZ_CHECK(!page.directory.contains(u'\\'));
        FUZZ_CHECK(!page.source.contains(u','));
        FUZZ_CHECK(!page.target.contains(u','));
    }
    for (const Paragraph &para : site.paragraphs)
        FUZZ_CHECK(!para.name.contains(u','));
    FUZZ_CHECK(s.endDelimiter.size() == s.delimiter.size());
    for (QChar opening : {u'(', u'{', u'[', u'<'})
        FUZZ_CHECK(!s.endDelimiter.contains(opening));
    FUZZ_CHECK(s.delimiter.isEmpty() ||
               (s.delimiter.front() != u' ' && s.delimiter.back() != u' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const QByteArray input(bytes.data(), qsizetype(bytes.size()));
    const SiteDefinition site = parseSiteDefinition(input);
    FUZZ_CHECK(SameSite(site, parseSiteDefinition(input)));
    CheckInvariants(site);
    CheckAgainstPlainReader(site, bytes);
    // The check reads the same lines; whatever they say, it names each finding.
    for (const CheckFinding &finding :
         checkSiteDefinition(input, [](const QString &) { return false; }))
        FUZZ_CHECK(finding.line >= 0 && !finding.kind.isEmpty() && !finding.message.isEmpty());
    return 0;
}
