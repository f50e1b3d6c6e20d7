// The site definition reader against a second, deliberately plain reader that works on
// the file's bytes, plus properties that hold for any file.
#include "FuzzSupport.h"

#include "site/AnsiText.h"
#include "site/SiteDefinition.h"

#include <map>
#include <string>
#include <vector>

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

std::string TrimSpaces(const std::string &s)
{
    const size_t begin = s.find_first_not_of(' ');
    if (begin == std::string::npos)
        return {};
    return s.substr(begin, s.find_last_not_of(' ') - begin + 1);
}

// Keys are ASCII; letter case is ignored for ASCII letters only.
std::string AsciiUpper(std::string s)
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
    const std::string key = AsciiUpper(TrimSpaces(line.substr(0, equals)));
    const std::string value = TrimSpaces(line.substr(equals + 1));
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
    return DecodeAnsi(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

bool SameSettings(const SiteSettings &a, const SiteSettings &b)
{
    return a.Server == b.Server && a.Login == b.Login && a.Password == b.Password &&
           a.Directory == b.Directory && a.Title == b.Title && a.Developer == b.Developer &&
           a.Email == b.Email && a.Phone == b.Phone && a.Delimiter == b.Delimiter &&
           a.EndDelimiter == b.EndDelimiter;
}

bool SameSite(const SiteDefinition &a, const SiteDefinition &b)
{
    if (!SameSettings(a.Settings, b.Settings) || a.Pages.size() != b.Pages.size() ||
        a.Paragraphs.size() != b.Paragraphs.size())
        return false;
    for (qsizetype i = 0; i < a.Pages.size(); ++i)
        if (a.Pages[i].PageSource != b.Pages[i].PageSource ||
            a.Pages[i].PageTarget != b.Pages[i].PageTarget ||
            a.Pages[i].PageDirectory != b.Pages[i].PageDirectory)
            return false;
    for (qsizetype i = 0; i < a.Paragraphs.size(); ++i)
        if (a.Paragraphs[i].ParaName != b.Paragraphs[i].ParaName ||
            a.Paragraphs[i].ParaDescription != b.Paragraphs[i].ParaDescription)
            return false;
    return true;
}

void CheckAgainstPlainReader(const SiteDefinition &site, const std::string &bytes)
{
    PlainSite plain = PlainRead(bytes);
    const SiteSettings &s = site.Settings;
    FUZZ_CHECK(s.Server == Ansi(plain.settings["SERVER"]));
    FUZZ_CHECK(s.Login == Ansi(plain.settings["LOGIN"]));
    FUZZ_CHECK(s.Password == Ansi(plain.settings["PASSWORD"]));
    FUZZ_CHECK(s.Directory == Ansi(plain.settings["DIRECTORY"]));
    FUZZ_CHECK(s.Delimiter == Ansi(plain.settings["DELIMITER"]));
    FUZZ_CHECK(s.Title == Ansi(plain.settings["TITLE"]));
    FUZZ_CHECK(s.Developer == Ansi(plain.settings["DEVELOPER"]));
    FUZZ_CHECK(s.Email == Ansi(plain.settings["EMAIL"]));
    FUZZ_CHECK(s.Phone == Ansi(plain.settings["PHONE"]));
    FUZZ_CHECK(size_t(site.Pages.size()) == plain.pages.size());
    for (size_t i = 0; i < plain.pages.size(); ++i) {
        const Page &page = site.Pages[qsizetype(i)];
        FUZZ_CHECK(page.PageSource == Ansi(plain.pages[i].source));
        FUZZ_CHECK(page.PageTarget == Ansi(plain.pages[i].target));
        FUZZ_CHECK(page.PageDirectory == Ansi(plain.pages[i].directory));
    }
    FUZZ_CHECK(size_t(site.Paragraphs.size()) == plain.paragraphs.size());
    for (size_t i = 0; i < plain.paragraphs.size(); ++i) {
        const Paragraph &para = site.Paragraphs[qsizetype(i)];
        FUZZ_CHECK(para.ParaName == Ansi(plain.paragraphs[i].name));
        FUZZ_CHECK(para.ParaDescription == Ansi(plain.paragraphs[i].description));
        FUZZ_CHECK(para.ParaText.isEmpty());
    }
}

// What the rest of the program relies on, whatever the file says.
void CheckInvariants(const SiteDefinition &site)
{
    const SiteSettings &s = site.Settings;
    FUZZ_CHECK(!s.Directory.contains(u'\\'));
    for (const Page &page : site.Pages) {
        FUZZ_CHECK(!page.PageDirectory.contains(u'\\'));
        FUZZ_CHECK(!page.PageSource.contains(u','));
        FUZZ_CHECK(!page.PageTarget.contains(u','));
    }
    for (const Paragraph &para : site.Paragraphs)
        FUZZ_CHECK(!para.ParaName.contains(u','));
    FUZZ_CHECK(s.EndDelimiter.size() == s.Delimiter.size());
    for (QChar opening : {u'(', u'{', u'[', u'<'})
        FUZZ_CHECK(!s.EndDelimiter.contains(opening));
    FUZZ_CHECK(s.Delimiter.isEmpty() ||
               (s.Delimiter.front() != u' ' && s.Delimiter.back() != u' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const QByteArray input(bytes.data(), qsizetype(bytes.size()));
    const SiteDefinition site = ParseSiteDefinition(input);
    FUZZ_CHECK(SameSite(site, ParseSiteDefinition(input)));
    CheckInvariants(site);
    CheckAgainstPlainReader(site, bytes);
    return 0;
}
