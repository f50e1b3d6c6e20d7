#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace vellumet
{

// The character set a page declares, found as browsers find it: in the first 1,024
// bytes, a <meta charset> or <meta http-equiv="Content-Type" content="...; charset=...">
// outside comments (the first one counts), else an XML declaration's encoding at the very
// start. The label comes back lower-case, or empty when nothing is declared.
QByteArray declaredCharset(QByteArrayView page);

// True for the labels that name UTF-8, and for UTF-16 ones, which an 8-bit page cannot
// really be in and browsers then read as UTF-8.
bool isUtf8Label(QByteArrayView label);

} // namespace vellumet
