// spliceParagraphs on very large pages, against a plain scan of the same characters, and
// the other pure functions on inputs of shapes that would expose quadratic work.
// Throughput figures count every paragraph's pass over the page, so a splice that keeps
// up with the scan shows the same rate as the baseline. The rates count characters,
// which are the page file's bytes (one byte each in Windows-1252).
#include "publish/WebText.h"
#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <algorithm>
#include <map>
#include <random>

using namespace vellumet;

namespace
{

constexpr qsizetype MiB = 1024 * 1024;

QString ParaName(int n)
{
    return QStringLiteral("Para%1").arg(n, 4, 10, QLatin1Char('0'));
}

QList<Paragraph> MakeParagraphs(int count)
{
    QList<Paragraph> paras;
    paras.reserve(count);
    for (int n = 1; n <= count; ++n) {
        const QString name = ParaName(n);
        paras.append({name, name,
                      QStringLiteral("Opening hours for %1 & friends:\r\n"
                                     "Monday to Friday 9 < 17, \"Saturday\" by appointment.")
                          .arg(n)});
    }
    return paras;
}

// Page text that looks like HTML: tags, words, the odd e-mail address and style
// braces, so the first characters of a marker also occur where no marker is.
QString makePage(qsizetype size, int markerCount)
{
    static const char *const words[] = {"<p>",     "</p>\r\n", "<div class=\"row\">",
                                        "</div>",  "the",      "shop",
                                        "opens",   "early",    "and",
                                        "closes",  "late",     "on",
                                        "Fridays", "{ }",      "info@example.com",
                                        "&nbsp;"};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pick(0, int(std::size(words)) - 1);
    QString page;
    page.reserve(size + 64);
    // Markers spread evenly over the page, each paragraph's once.
    const qsizetype gap = markerCount > 0 ? size / (markerCount + 1) : size + 1;
    qsizetype nextMarker = gap;
    int marker = 1;
    while (page.size() < size) {
        if (marker <= markerCount && page.size() >= nextMarker) {
            page += QStringLiteral("@{") + ParaName(marker++) + QStringLiteral("}@");
            nextMarker += gap;
        }
        page += QLatin1StringView(words[pick(random)]);
        page += u' ';
    }
    page.truncate(size);
    return page;
}

const QString &CachedPage(qsizetype size, int markerCount)
{
    static std::map<std::pair<qsizetype, int>, QString> pages;
    auto [it, added] = pages.try_emplace({size, markerCount});
    if (added)
        it->second = makePage(size, markerCount);
    return it->second;
}

void ScanBaseline(benchmark::State &state)
{
    const QString &page = CachedPage(state.range(0) * MiB, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(page.indexOf(QChar(0x1F))); // never present
    state.SetBytesProcessed(state.iterations() * page.size());
}

void CountBaseline(benchmark::State &state)
{
    const QString &page = CachedPage(state.range(0) * MiB, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::count(page.cbegin(), page.cend(), QChar(u'@')));
    state.SetBytesProcessed(state.iterations() * page.size());
}

// range(0): page size in MiB; range(1): paragraphs; range(2): 1 when every paragraph's
// marker is on the page, 0 when none is.
void Splice(benchmark::State &state)
{
    const int paraCount = int(state.range(1));
    const bool present = state.range(2) != 0;
    const QString &page = CachedPage(state.range(0) * MiB, present ? paraCount : 0);
    const QList<Paragraph> paras = MakeParagraphs(paraCount);
    const QString delimiter = QStringLiteral("@{");
    const QString endDelimiter = QStringLiteral("}@");
    for (auto _ : state)
        benchmark::DoNotOptimize(spliceParagraphs(page, delimiter, endDelimiter, paras).ok());
    // Per paragraph pass, comparable with the baseline scan.
    state.SetBytesProcessed(state.iterations() * page.size() * paraCount);
}

void PageSizes(benchmark::internal::Benchmark *b)
{
    for (int mib : {5, 10, 20})
        b->Args({mib});
}

void SpliceSizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"MiB", "paras", "present"});
    for (int present : {0, 1}) {
        for (int mib : {5, 10, 20})
            b->Args({mib, 1000, present});
        for (int paras : {250, 500})
            b->Args({20, paras, present});
    }
}

// Shapes that work growing with the square of the input turns into hours.
// Removing the innermost marker joins its neighbours into a new one, which stays.
void SpliceNested(benchmark::State &state)
{
    const QString page = QStringLiteral("@{A").repeated(state.range(0)) + QStringLiteral("@{A}@") +
                         QStringLiteral("}@").repeated(state.range(0));
    const QList<Paragraph> paras{{QStringLiteral("A"), {}, {}}};
    for (auto _ : state)
        benchmark::DoNotOptimize(
            spliceParagraphs(page, QStringLiteral("@{"), QStringLiteral("}@"), paras).ok());
}

// range(0): the byte a 50 MiB site definition is made of, after a key that uses it.
void ParseLongLine(benchmark::State &state)
{
    const char fill = char(state.range(0));
    const QByteArray key = fill == ',' ? "PAGE=" : fill == '_' ? "PARAGRAPH=" : "DIRECTORY=";
    const QByteArray file = key + QByteArray(50 * MiB, fill) + "\r\nSERVER=v";
    for (auto _ : state)
        benchmark::DoNotOptimize(parseSiteDefinition(file));
}

void TrimLongBreaks(benchmark::State &state)
{
    const QString text = QStringLiteral("a") + QStringLiteral("\r\n").repeated(10'000'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(trimTrailingBreaks(text));
}

} // namespace

BENCHMARK(SpliceNested)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseLongLine)
    ->Arg('x')
    ->Arg('\r')
    ->Arg('\n')
    ->Arg(',')
    ->Arg('\\')
    ->Arg('_')
    ->Arg(' ')
    ->Unit(benchmark::kMillisecond);
BENCHMARK(TrimLongBreaks)->Unit(benchmark::kMillisecond);
BENCHMARK(ScanBaseline)->Apply(PageSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(CountBaseline)->Apply(PageSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(Splice)->Apply(SpliceSizes)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
