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
// without rescanning inserted text.
void ReplaceFrom(QString &page, qsizetype found, const QString &marker, const QString &replacement)
{
    QString out;
    out.reserve(page.size());
    qsizetype from = 0;
    while (found >= 0) {
        out.append(QStringView(page).mid(from, found - from));
        out.append(replacement);
        from = found + marker.size();
        found = page.indexOf(marker, from);
    }
    out.append(QStringView(page).mid(from));
    page = std::move(out);
}

} // namespace

QString SpliceParagraphs(QString page, const QString &delimiter, const QString &endDelimiter,
                         const QList<Paragraph> &paragraphs)
{
    for (const Paragraph &para : paragraphs) {
        const QString marker = delimiter + para.ParaName + endDelimiter;
        if (marker.isEmpty())
            continue;
        const qsizetype found = page.indexOf(marker);
        if (found >= 0)
            ReplaceFrom(page, found, marker, EncodeWebText(para.ParaText));
    }
    return page;
}
