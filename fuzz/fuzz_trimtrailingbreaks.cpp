// trimTrailingBreaks removes exactly: one final Ctrl-Z or NUL, then every CR LF pair
// that trails what is left. Nothing else, and nothing before them.
#include "FuzzSupport.h"

#include "site/LocalCopies.h"

using namespace vellumet;

namespace
{

bool IsEndOfFileMark(QChar c)
{
    return c == QChar(26) || c == QChar(0);
}

void CheckTrimmed(const QString &text, const QString &trimmed)
{
    FUZZ_CHECK(text.startsWith(trimmed));
    FUZZ_CHECK(!trimmed.endsWith(QStringLiteral("\r\n")));

    // The removed tail is some CR LF pairs, followed by the end-of-file mark when the
    // text ended with one.
    QString tail = text.mid(trimmed.size());
    if (!text.isEmpty() && IsEndOfFileMark(text.back())) {
        FUZZ_CHECK(tail.endsWith(text.back()));
        tail.chop(1);
    }
    FUZZ_CHECK(tail.size() % 2 == 0);
    for (qsizetype i = 0; i < tail.size(); i += 2)
        FUZZ_CHECK(tail[i] == u'\r' && tail[i + 1] == u'\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzText(data, size);
    const QString trimmed = trimTrailingBreaks(text);
    CheckTrimmed(text, trimmed);

    // Trimming again changes nothing, unless a mark that stood before the line ends is
    // now last; then that mark goes, and the line ends before it.
    const QString again = trimTrailingBreaks(trimmed);
    if (trimmed.isEmpty() || !IsEndOfFileMark(trimmed.back()))
        FUZZ_CHECK(again == trimmed);
    else
        CheckTrimmed(trimmed, again);
    return 0;
}
