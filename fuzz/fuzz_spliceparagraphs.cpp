// spliceParagraphs against Qt's own left-to-right, non-overlapping QString::replace,
// paragraph after paragraph, and the rule that a page without markers is left alone.
#include "FuzzSupport.h"

#include "publish/WebText.h"
#include "site/SiteDefinition.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace vellumet;

namespace
{

QString ConsumeText(FuzzedDataProvider &input, size_t maxLength)
{
    return FuzzText(input.ConsumeRandomLengthString(maxLength));
}

QString Marker(const QString &delimiter, const Paragraph &para, const QString &endDelimiter)
{
    return delimiter + para.name + endDelimiter;
}

bool SharesCharacter(const QString &a, const QString &b)
{
    for (QChar c : a)
        if (b.contains(c))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString delimiter = ConsumeText(input, 4);
    const QString endDelimiter = deriveEndDelimiter(delimiter);
    QList<Paragraph> paragraphs(input.ConsumeIntegralInRange(0, 6));
    for (Paragraph &para : paragraphs) {
        para.name = ConsumeText(input, 8);
        para.text = ConsumeText(input, 64);
    }
    const QString page = FuzzText(input.ConsumeRemainingBytesAsString());

    // Texts naming later markers grow a page geometrically; past the bound the splice fails.
    const Result<QString> filled =
        spliceParagraphs(page, delimiter, endDelimiter, paragraphs, 1 << 20);
    if (!filled)
        return 0;
    const QString spliced = *filled;

    QString expected = page;
    bool anyMarker = false;
    for (const Paragraph &para : paragraphs) {
        const QString marker = Marker(delimiter, para, endDelimiter);
        if (marker.isEmpty())
            continue;
        anyMarker = anyMarker || page.contains(marker);
        expected.replace(marker, encodeWebText(para.text));
    }
    FUZZ_CHECK(spliced == expected);
    if (!anyMarker)
        FUZZ_CHECK(spliced == page);

    // A text that shares no character with the last marker cannot rebuild it, and with a
    // non-empty text the pieces of the page around a removed marker never touch, so none
    // of that marker is left.
    if (!paragraphs.isEmpty()) {
        const QString marker = Marker(delimiter, paragraphs.back(), endDelimiter);
        const QString replacement = encodeWebText(paragraphs.back().text);
        if (!marker.isEmpty() && !replacement.isEmpty() && !SharesCharacter(marker, replacement))
            FUZZ_CHECK(!spliced.contains(marker));
    }
    return 0;
}
