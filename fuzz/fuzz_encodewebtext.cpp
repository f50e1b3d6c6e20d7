// encodeWebText gives one line of HTML in which the only markup is <br> and the four
// entities, and from which the typed text can be read back exactly.
#include "FuzzSupport.h"

#include "publish/WebText.h"

#include <array>

using namespace vellumet;

namespace
{

struct Token {
    QStringView encoded;
    QStringView plain;
};

const std::array<Token, 5> Tokens = {{
    {u"<br>", u"\r\n"},
    {u"&quot;", u"\""},
    {u"&amp;", u"&"},
    {u"&lt;", u"<"},
    {u"&gt;", u">"},
}};

// Reads the fragment back as a browser would see it. Any < > & " that is not part of
// one of the tokens is markup the encoder must never produce.
bool Decode(const QString &html, QString &plain)
{
    plain.clear();
    for (qsizetype i = 0; i < html.size();) {
        const QChar c = html[i];
        if (c != u'<' && c != u'>' && c != u'&' && c != u'"') {
            plain.append(c);
            ++i;
            continue;
        }
        const QStringView rest = QStringView(html).mid(i);
        bool known = false;
        for (const Token &token : Tokens) {
            if (rest.startsWith(token.encoded)) {
                plain.append(token.plain);
                i += token.encoded.size();
                known = true;
                break;
            }
        }
        if (!known)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzText(data, size);
    const QString html = encodeWebText(text);

    FUZZ_CHECK(!html.contains(QStringLiteral("\r\n")));
    FUZZ_CHECK(html.isEmpty() == text.isEmpty());
    QString plain;
    FUZZ_CHECK(Decode(html, plain));
    FUZZ_CHECK(plain == text);
    return 0;
}
