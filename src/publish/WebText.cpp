#include "publish/WebText.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace vellumet
{

QString encodeWebText(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'"':
            out += u"&quot;";
            break;
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'\r':
            // The escapes never produce CR or LF, so CR LF pairs can be turned into
            // tags in the same pass.
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                out += u"<br>";
                ++i;
            } else {
                out += c;
            }
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

namespace
{

// Every paragraph scans the whole page, pages can run to megabytes, and markers are few.
// Where SSE2 is available (every x86-64), positions at which both the marker's first and
// last characters match are picked out 32 at a time and only those are compared in
// full. The scan then keeps close to the pace of a plain character search, about twice
// that of QStringView::indexOf on such pages. The last few positions go to indexOf.
qsizetype findMarker(QStringView text, QStringView marker, qsizetype from)
{
#if defined(__SSE2__) || defined(_M_X64)
    const qsizetype m = marker.size();
    if (m >= 2) {
        const char16_t *h = text.utf16();
        const char16_t *n = marker.utf16();
        const __m128i first = _mm_set1_epi16(short(n[0]));
        const __m128i last = _mm_set1_epi16(short(n[m - 1]));
        const auto candidates = [&](qsizetype at) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + at));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + at + m - 1));
            return _mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, last));
        };
        // Thirty-two positions a round; a round without candidates costs one branch.
        for (; from + m + 31 <= text.size(); from += 32) {
            const auto low = unsigned(
                _mm_movemask_epi8(_mm_packs_epi16(candidates(from), candidates(from + 8))));
            const auto high = unsigned(
                _mm_movemask_epi8(_mm_packs_epi16(candidates(from + 16), candidates(from + 24))));
            auto hits = low | high << 16;
            while (hits != 0) {
                const qsizetype at = from + std::countr_zero(hits);
                if (std::memcmp(h + at + 1, n + 1, size_t(m - 2) * sizeof(char16_t)) == 0)
                    return at;
                hits &= hits - 1;
            }
        }
    }
#endif
    return text.indexOf(marker, from);
}

// Replaces every non-overlapping occurrence, left to right, without rescanning inserted
// text. The page is changed in place: the text before the first occurrence never moves,
// the rest moves once, and the buffer's spare room (grown geometrically) serves the
// paragraphs after this one, so a page of many megabytes is neither copied whole nor
// allocated afresh, and zeroed by the system, for each paragraph.
void replaceAll(QString &page, const QList<qsizetype> &found, qsizetype markerSize,
                const QString &replacement)
{
    const qsizetype m = markerSize;
    const qsizetype r = replacement.size();
    const qsizetype oldSize = page.size();
    const qsizetype newSize = oldSize + (r - m) * found.size();
    if (r > m) {
        page.resize(newSize);
        QChar *d = page.data();
        qsizetype end = oldSize;
        qsizetype to = newSize;
        for (qsizetype k = found.size() - 1; k >= 0; --k) {
            const qsizetype tail = found[k] + m;
            to -= end - tail;
            std::memmove(d + to, d + tail, size_t(end - tail) * sizeof(QChar));
            to -= r;
            std::memcpy(d + to, replacement.constData(), size_t(r) * sizeof(QChar));
            end = found[k];
        }
    } else {
        QChar *d = page.data();
        qsizetype to = found[0];
        for (qsizetype k = 0; k < found.size(); ++k) {
            std::memcpy(d + to, replacement.constData(), size_t(r) * sizeof(QChar));
            to += r;
            const qsizetype tail = found[k] + m;
            const qsizetype next = k + 1 < found.size() ? found[k + 1] : oldSize;
            std::memmove(d + to, d + tail, size_t(next - tail) * sizeof(QChar));
            to += next - tail;
        }
        page.truncate(newSize);
    }
}

} // namespace

Result<QString> spliceParagraphs(QString page, const QString &delimiter,
                                 const QString &endDelimiter, const QList<Paragraph> &paragraphs,
                                 qsizetype maxChars)
{
    QList<qsizetype> found;
    for (const Paragraph &para : paragraphs) {
        const QString marker = delimiter + para.name + endDelimiter;
        if (marker.isEmpty())
            continue;
        found.clear();
        for (qsizetype at = findMarker(page, marker, 0); at >= 0;
             at = findMarker(page, marker, at + marker.size()))
            found.append(at);
        if (found.isEmpty())
            continue;
        const QString text = encodeWebText(para.text);
        if (page.size() + qint64(found.size()) * (text.size() - marker.size()) > maxChars)
            return failure(QStringLiteral("filled in, the page would be longer than %1 characters")
                               .arg(maxChars));
        replaceAll(page, found, marker.size(), text);
    }
    return page;
}

} // namespace vellumet
