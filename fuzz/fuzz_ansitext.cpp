// Reading and writing the program's 8-bit files: whatever bytes come in go back out
// unchanged, and whatever the user typed comes back on the next start.
#include "FuzzSupport.h"

#include "site/AnsiText.h"

using namespace vellumet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // Windows-1252 files: every byte is one character and back.
    const QString ansi = decodeAnsi(bytes);
    FUZZ_CHECK(ansi.size() == bytes.size());
    FUZZ_CHECK(fitsAnsi(ansi));
    FUZZ_CHECK(encodeAnsiForHtml(ansi) == bytes);

    // A page fetched and written back without a change keeps its bytes, whichever way
    // it was read.
    const PageText page = decodePage(bytes);
    FUZZ_CHECK(encodePage(page.text, page.utf8) == bytes);

    // A local copy read at start-up is written by the next save so that it reads the same.
    const QString copy = decodeLocalCopy(bytes);
    FUZZ_CHECK(decodeLocalCopy(encodeLocalCopy(copy)) == copy);

    // Any typed text survives a local copy, and a page written as UTF-8 reads back as
    // the same text. Lone surrogates cannot be typed and have no UTF-8 form.
    const QString typed = FuzzText(data, size);
    if (!HasLoneSurrogate(typed)) {
        FUZZ_CHECK(decodeLocalCopy(encodeLocalCopy(typed)) == typed);
        FUZZ_CHECK(decodePage(encodePage(typed, true)).text == typed);
    }
    if (fitsAnsi(typed))
        FUZZ_CHECK(decodeAnsi(encodePage(typed, false)) == typed);
    return 0;
}
