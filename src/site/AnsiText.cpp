#include "site/AnsiText.h"

#include "site/PageCharset.h"

#include <QStringDecoder>

#include <array>

namespace vellumet
{

namespace
{

// 0x80..0x9F of Windows-1252. The five bytes Windows leaves undefined map to the C1
// control of the same value, as Windows itself converts them.
constexpr std::array<char16_t, 32> HighTable = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int ansiByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(HighTable.size()); ++i)
        if (HighTable[i] == c)
            return 0x80 + i;
    return -1;
}

const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool decodeUtf8Strict(const QByteArray &bytes, QString &out)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    out = decoder.decode(bytes);
    return !decoder.hasError();
}

bool hasNonAscii(const QByteArray &bytes)
{
    for (char b : bytes)
        if (static_cast<unsigned char>(b) >= 0x80)
            return true;
    return false;
}

} // namespace

QString decodeAnsi(const QByteArray &bytes)
{
    // Latin-1 everywhere but 0x80..0x9F; plain pointers keep a 50 MB file quick even in
    // an unoptimised build.
    QString text = QString::fromLatin1(bytes);
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.constData());
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0, n = bytes.size(); i < n; ++i)
        if ((in[i] & 0xE0) == 0x80)
            out[i] = HighTable[in[i] - 0x80];
    return text;
}

bool fitsAnsi(const QString &text)
{
    for (QChar c : text)
        if (ansiByte(c.unicode()) < 0)
            return false;
    return true;
}

QByteArray encodeAnsiForHtml(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const int b = ansiByte(c);
        if (b >= 0) {
            bytes.append(char(b));
            continue;
        }
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(c, text[++i].unicode());
        bytes.append("&#").append(QByteArray::number(uint(code))).append(';');
    }
    return bytes;
}

PageText decodePage(const QByteArray &bytes)
{
    PageText page;
    const bool declaresUtf8 = bytes.startsWith(Utf8Bom) || isUtf8Label(declaredCharset(bytes));
    if ((declaresUtf8 || hasNonAscii(bytes)) && decodeUtf8Strict(bytes, page.text)) {
        page.utf8 = true;
        return page;
    }
    page.text = decodeAnsi(bytes);
    return page;
}

QByteArray encodePage(const QString &text, bool utf8)
{
    return utf8 ? text.toUtf8() : encodeAnsiForHtml(text);
}

QString decodeLocalCopy(const QByteArray &bytes)
{
    if (bytes.startsWith(Utf8Bom)) {
        // Only our own mark is skipped: a text that begins with U+FEFF keeps it.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return decoder.decode(QByteArrayView(bytes).sliced(Utf8Bom.size()));
    }
    return decodeAnsi(bytes);
}

QByteArray encodeLocalCopy(const QString &text)
{
    // A text that begins with the characters of the mark's bytes must not be mistaken
    // for a marked file when it is read back.
    if (fitsAnsi(text) && !text.startsWith(QStringLiteral("\u00EF\u00BB\u00BF")))
        return encodeAnsiForHtml(text); // every character fits, so no reference is made
    return Utf8Bom + text.toUtf8();
}

} // namespace vellumet
