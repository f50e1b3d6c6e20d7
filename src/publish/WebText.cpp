#include "publish/WebText.h"

QString EncodeWebText(const QString &text)
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

// Replaces every non-overlapping occurrence from the first one found, left to right,
// without rescanning inserted text. The result is built in scratch, which then trades
// places with page: the two buffers serve every paragraph, so a page of many megabytes
// is not allocated, and zeroed by the system, once per paragraph.
void ReplaceFrom(QString &page, QString &scratch, qsizetype found, const QString &marker,
                 const QString &replacement)
{
    scratch.resize(0); // keeps the capacity
    scratch.reserve(page.size());
    qsizetype from = 0;
    while (found >= 0) {
        scratch.append(QStringView(page).mid(from, found - from));
        scratch.append(replacement);
        from = found + marker.size();
        found = page.indexOf(marker, from);
    }
    scratch.append(QStringView(page).mid(from));
    page.swap(scratch);
}

} // namespace

QString SpliceParagraphs(QString page, const QString &delimiter, const QString &endDelimiter,
                         const QList<Paragraph> &paragraphs)
{
    QString scratch;
    for (const Paragraph &para : paragraphs) {
        const QString marker = delimiter + para.ParaName + endDelimiter;
        if (marker.isEmpty())
            continue;
        const qsizetype found = page.indexOf(marker);
        if (found >= 0)
            ReplaceFrom(page, scratch, found, marker, EncodeWebText(para.ParaText));
    }
    return page;
}
