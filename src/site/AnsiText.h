#pragma once

#include <QByteArray>
#include <QString>

namespace vellumet
{

// The program's files are 8-bit Windows-1252 text, the Western code page of the
// Windows systems they come from. Every byte decodes to exactly one character and
// encodes back to the same byte, so a file read and written unchanged keeps its bytes.
QString decodeAnsi(const QByteArray &bytes);

// True when every character of text has a Windows-1252 byte.
bool fitsAnsi(const QString &text);

// Characters without a Windows-1252 byte become HTML numeric character references,
// which a browser shows as the same character.
QByteArray encodeAnsiForHtml(const QString &text);

// Pages may also be UTF-8 (what most sites use today). A page whose bytes are valid
// UTF-8 and that holds non-ASCII text, starts with a byte-order mark or declares UTF-8
// (declaredCharset) is read and written as UTF-8; any other page as Windows-1252 with
// character references.
struct PageText {
    QString text;
    bool utf8 = false;
};
PageText decodePage(const QByteArray &bytes);
QByteArray encodePage(const QString &text, bool utf8);

// Local copies: Windows-1252 when the text fits (as the original program wrote them);
// otherwise UTF-8 behind a byte-order mark, so that no typed character is lost. A file
// that starts with that mark is read as UTF-8, any other as Windows-1252.
QString decodeLocalCopy(const QByteArray &bytes);
QByteArray encodeLocalCopy(const QString &text);

} // namespace vellumet
