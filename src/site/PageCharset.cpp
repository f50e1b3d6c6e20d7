#include "site/PageCharset.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace vellumet
{

namespace
{

constexpr qsizetype PrescanBytes = 1024;

bool isSpace(char c)
{
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isLetter(char c)
{
    return lower(c) >= 'a' && lower(c) <= 'z';
}

// One pass over the page's head; every step keeps within it.
class Scanner
{
public:
    explicit Scanner(QByteArrayView head) : s_(head) {}

    bool atEnd() const { return pos_ >= s_.size(); }
    char peek(qsizetype ahead = 0) const
    {
        return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0';
    }
    bool startsWith(const char *word) const
    {
        qsizetype i = 0;
        for (; word[i]; ++i)
            if (lower(peek(i)) != word[i])
                return false;
        return pos_ + i <= s_.size();
    }
    void skip(qsizetype n = 1) { pos_ = std::min(pos_ + n, s_.size()); }
    void skipSpaces()
    {
        while (!atEnd() && isSpace(peek()))
            skip();
    }
    void skipPast(const char *word)
    {
        while (!atEnd() && !startsWith(word))
            skip();
        skip(qstrlen(word));
    }

    struct Attribute {
        QByteArray name;
        QByteArray value;
    };
    // The next attribute of a tag, names and values lower-cased; nothing at the tag's
    // end or at the end of the head.
    std::optional<Attribute> attribute();

private:
    std::optional<QByteArray> quotedOrBareValue();

    QByteArrayView s_;
    qsizetype pos_ = 0;
};

std::optional<Scanner::Attribute> Scanner::attribute()
{
    while (!atEnd() && (isSpace(peek()) || peek() == '/'))
        skip();
    if (atEnd() || peek() == '>')
        return std::nullopt;
    Attribute attr;
    for (; !atEnd(); skip()) {
        const char c = peek();
        if ((c == '=' && !attr.name.isEmpty()) || isSpace(c) || c == '/' || c == '>')
            break;
        attr.name += lower(c);
    }
    skipSpaces();
    if (atEnd())
        return std::nullopt;
    if (peek() != '=')
        return attr;
    skip();
    skipSpaces();
    const std::optional<QByteArray> value = quotedOrBareValue();
    if (!value)
        return std::nullopt;
    attr.value = *value;
    return attr;
}

// Nothing when the head ends before the value does.
std::optional<QByteArray> Scanner::quotedOrBareValue()
{
    QByteArray value;
    const char quote = peek();
    if (quote == '"' || quote == '\'') {
        for (skip(); !atEnd() && peek() != quote; skip())
            value += lower(peek());
        if (atEnd())
            return std::nullopt;
        skip();
        return value;
    }
    for (; !atEnd() && !isSpace(peek()) && peek() != '>'; skip())
        value += lower(peek());
    return atEnd() ? std::nullopt : std::optional(value);
}

// The charset named in a Content-Type value such as "text/html; charset=utf-8".
QByteArray charsetInContent(QByteArrayView content)
{
    Scanner scan(content);
    while (!scan.atEnd()) {
        scan.skipPast("charset");
        scan.skipSpaces();
        if (scan.peek() != '=')
            continue;
        scan.skip();
        scan.skipSpaces();
        const char quote = scan.peek();
        if (quote == '"' || quote == '\'') {
            scan.skip();
            QByteArray value;
            for (; !scan.atEnd() && scan.peek() != quote; scan.skip())
                value += scan.peek();
            return scan.atEnd() ? QByteArray() : value;
        }
        QByteArray value;
        for (; !scan.atEnd() && !isSpace(scan.peek()) && scan.peek() != ';'; scan.skip())
            value += scan.peek();
        return value;
    }
    return {};
}

// After "<meta": its charset attribute, or a content attribute's charset when an
// http-equiv="content-type" stands beside it. Only the first of each name counts.
QByteArray metaCharset(Scanner &scan)
{
    QList<QByteArray> seen;
    bool gotPragma = false;
    std::optional<bool> needPragma;
    QByteArray charset;
    while (const auto attr = scan.attribute()) {
        if (seen.contains(attr->name))
            continue;
        seen.append(attr->name);
        if (attr->name == "http-equiv" && attr->value == "content-type") {
            gotPragma = true;
        } else if (attr->name == "content" && charset.isEmpty()) {
            charset = charsetInContent(attr->value);
            if (!charset.isEmpty())
                needPragma = true;
        } else if (attr->name == "charset") {
            charset = attr->value;
            needPragma = false;
        }
    }
    return needPragma && (!*needPragma || gotPragma) ? charset.trimmed() : QByteArray();
}

// <?xml version="1.0" encoding="UTF-8"?> at the very start of the page.
QByteArray xmlEncoding(QByteArrayView head)
{
    if (!head.startsWith("<?xml"))
        return {};
    const qsizetype end = head.indexOf('>');
    if (end < 0)
        return {};
    Scanner scan(head.first(end));
    scan.skipPast("encoding");
    scan.skipSpaces();
    if (scan.peek() != '=')
        return {};
    scan.skip();
    scan.skipSpaces();
    const char quote = scan.peek();
    if (quote != '"' && quote != '\'')
        return {};
    QByteArray value;
    for (scan.skip(); !scan.atEnd() && scan.peek() != quote; scan.skip())
        value += lower(scan.peek());
    return scan.atEnd() ? QByteArray() : value;
}

// Any other tag is passed over whole, so that a ">" or "<meta" inside an attribute's
// value is not taken for markup.
void skipTag(Scanner &scan)
{
    if (scan.peek(1) == '/')
        scan.skip();
    scan.skip();
    while (!scan.atEnd() && !isSpace(scan.peek()) && scan.peek() != '>')
        scan.skip();
    while (scan.attribute()) {
    }
}

} // namespace

QByteArray declaredCharset(QByteArrayView page)
{
    const QByteArrayView head = page.first(std::min(page.size(), PrescanBytes));
    Scanner scan(head);
    while (!scan.atEnd()) {
        if (scan.startsWith("<!--")) {
            scan.skip(2);
            scan.skipPast("-->");
            continue;
        } else if (scan.startsWith("<meta") && (isSpace(scan.peek(5)) || scan.peek(5) == '/')) {
            scan.skip(5);
            if (const QByteArray charset = metaCharset(scan); !charset.isEmpty())
                return charset;
        } else if (scan.peek() == '<' &&
                   (isLetter(scan.peek(1)) || (scan.peek(1) == '/' && isLetter(scan.peek(2))))) {
            skipTag(scan);
        } else if (scan.startsWith("<!") || scan.startsWith("</") || scan.startsWith("<?")) {
            scan.skipPast(">");
            continue;
        }
        scan.skip();
    }
    return xmlEncoding(head);
}

bool isUtf8Label(QByteArrayView label)
{
    const QByteArray l = label.trimmed().toByteArray().toLower();
    for (const char *name : {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8",
                             "x-unicode20utf8", "utf-16", "utf-16le", "utf-16be", "unicode",
                             "ucs-2", "csunicode", "iso-10646-ucs-2", "unicodefeff", "unicodefffe"})
        if (l == name)
            return true;
    return false;
}

} // namespace vellumet
