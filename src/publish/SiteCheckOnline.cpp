#include "publish/SiteCheckOnline.h"

#include "publish/RemotePath.h"
#include "site/AnsiText.h"
#include "site/WholeFile.h"

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

namespace vellumet
{

namespace
{

// Longer than any paragraph name a developer writes; past it an opening delimiter is
// taken for text that merely looks like one.
constexpr qsizetype MaxMarkerName = 100;

class OnlineCheck
{
public:
    OnlineCheck(const SiteDefinition &site, const DefinitionLines &lines, FtpClient &ftp,
                QString scratch)
        : site_(site), lines_(lines), ftp_(ftp), scratch_(std::move(scratch))
    {
    }

    QList<CheckFinding> run()
    {
        const SiteSettings &s = site_.settings;
        if (const Result<> in = ftp_.connect(s.server, s.login, s.password); !in) {
            findings_.append({0, u"login"_s, u"could not log in: "_s + in.error()});
            return findings_;
        }
        home_ = current_ = ftp_.currentDirectory();
        bool allFetched = true;
        for (qsizetype i = 0; i < site_.pages.size(); ++i)
            allFetched = checkPage(i) && allFetched;
        ftp_.disconnect();
        // A marker may stand on a page that could not be fetched.
        if (allFetched)
            reportUnusedParagraphs();
        reportTargetsOverSources();
        return findings_;
    }

private:
    void add(qsizetype page, const QString &kind, const QString &message)
    {
        findings_.append({lines_.pages.value(page), kind, message});
    }

    // As the publish run changes directory, so that each source is looked for where a
    // Save would look for it.
    bool enter(qsizetype page, const QString &directory)
    {
        if (directory == lastDir_)
            return true;
        const QString path = pageDirectoryPath(home_, directory, !lastDir_.isEmpty());
        if (const Result<> changed = ftp_.changeDir(path); !changed) {
            add(page, u"page-unfetchable"_s,
                u"the page's directory "_s + quoted(path) + u" cannot be entered: "_s +
                    changed.error());
            return false;
        }
        lastDir_ = directory;
        current_ = ftp_.currentDirectory();
        return true;
    }

    bool checkPage(qsizetype i)
    {
        const Page &page = site_.pages[i];
        if (!enter(i, page.directory))
            return false;
        Result<QByteArray> bytes = failure(u"not a file name of its own"_s);
        if (isRemoteFileName(page.source) && isPlainFileName(page.source)) {
            const Result<> fetched = ftp_.getFile(page.source, scratch_);
            bytes =
                fetched ? readWholeFile(scratch_ + u'/' + page.source) : failure(fetched.error());
        }
        if (!bytes) {
            add(i, u"page-unfetchable"_s,
                u"the page's source "_s + quoted(page.source) + u" cannot be fetched: "_s +
                    bytes.error());
            return false;
        }
        sources_[joinRemotePath(current_, page.source)].append(i);
        targets_.append({joinRemotePath(current_, page.target), i});
        checkMarkers(i, decodePage(*bytes).text);
        return true;
    }

    void checkMarkers(qsizetype page, const QString &text)
    {
        const SiteSettings &s = site_.settings;
        QSet<QString> told;
        for (const QString &name : markerNames(text, s.delimiter, s.endDelimiter)) {
            if (paragraphNamed(name, Qt::CaseSensitive) >= 0) {
                used_.insert(name);
                continue;
            }
            if (told.contains(name))
                continue;
            told.insert(name);
            QString message = u"the source "_s + quoted(site_.pages[page].source) +
                              u" holds the marker "_s + s.delimiter + name + s.endDelimiter +
                              u", which names no paragraph"_s;
            if (const qsizetype p = paragraphNamed(name, Qt::CaseInsensitive); p >= 0)
                message += u": only the letter case differs from "_s +
                           quoted(site_.paragraphs[p].name) +
                           u" on line %1"_s.arg(lines_.paragraphs.value(p));
            add(page, u"unknown-marker"_s, message);
        }
    }

    qsizetype paragraphNamed(const QString &name, Qt::CaseSensitivity cs) const
    {
        for (qsizetype p = 0; p < site_.paragraphs.size(); ++p)
            if (site_.paragraphs[p].name.compare(name, cs) == 0)
                return p;
        return -1;
    }

    void reportUnusedParagraphs()
    {
        const SiteSettings &s = site_.settings;
        // The likely cause once a site has been published.
        const bool inPlace =
            std::any_of(site_.pages.cbegin(), site_.pages.cend(),
                        [](const Page &page) { return page.source == page.target; });
        const QString filledInPlace =
            inPlace ? u" (a page given one file name loses its markers at the first Save)"_s
                    : QString();
        for (qsizetype p = 0; p < site_.paragraphs.size(); ++p) {
            const QString &name = site_.paragraphs[p].name;
            if (!used_.contains(name))
                findings_.append({lines_.paragraphs.value(p), u"unused-paragraph"_s,
                                  u"the marker "_s + s.delimiter + name + s.endDelimiter +
                                      u" of the paragraph "_s + quoted(name) + u" is on no page"_s +
                                      filledInPlace});
        }
    }

    // Once such a target is put, the other page's markers are gone from its source.
    void reportTargetsOverSources()
    {
        for (const auto &target : std::as_const(targets_)) {
            const qsizetype page = target.second;
            const QList<qsizetype> from = sources_.value(target.first);
            const auto other = std::find_if(from.cbegin(), from.cend(),
                                            [page](qsizetype source) { return source != page; });
            if (other != from.cend())
                add(page, u"target-is-source"_s,
                    u"the target "_s + quoted(site_.pages[page].target) +
                        u" is also the source of the page on line %1, whose markers the first "
                        "Save would fill in for good"_s.arg(lines_.pages.value(*other)));
        }
    }

    const SiteDefinition &site_;
    const DefinitionLines &lines_;
    FtpClient &ftp_;
    QString scratch_;
    QList<CheckFinding> findings_;
    QString home_, current_, lastDir_;
    QHash<QString, QList<qsizetype>> sources_;
    QList<std::pair<QString, qsizetype>> targets_;
    QSet<QString> used_;
};

} // namespace

QList<CheckFinding> checkSiteOnline(const SiteDefinition &site, const DefinitionLines &lines,
                                    FtpClient &ftp, const QString &scratchFolder)
{
    QList<CheckFinding> findings = OnlineCheck(site, lines, ftp, scratchFolder).run();
    sortFindings(findings);
    return findings;
}

QStringList markerNames(const QString &page, const QString &delimiter, const QString &endDelimiter)
{
    QStringList names;
    if (delimiter.isEmpty() || endDelimiter.isEmpty())
        return names;
    for (qsizetype from = 0;;) {
        const qsizetype open = page.indexOf(delimiter, from);
        if (open < 0)
            return names;
        const qsizetype start = open + delimiter.size();
        const qsizetype close = page.indexOf(endDelimiter, start);
        if (close < 0)
            return names;
        const QString name = page.mid(start, close - start);
        // Another delimiter inside: the marker, if any, begins at that one.
        if (name.contains(delimiter)) {
            from = start;
            continue;
        }
        const bool plausible = !name.isEmpty() && name.size() <= MaxMarkerName &&
                               !name.contains(u'\n') && !name.contains(u'\r') &&
                               !name.contains(u'<') && !name.contains(u'>');
        if (plausible)
            names.append(name);
        from = close + endDelimiter.size();
    }
}

} // namespace vellumet
