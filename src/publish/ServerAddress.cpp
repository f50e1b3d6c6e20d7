#include "publish/ServerAddress.h"

#include <QUrl>

#include <array>

namespace vellumet
{

namespace
{

struct Scheme {
    QStringView name;
    ServerAddress::Transport transport;
    int defaultPort;
};

constexpr std::array<Scheme, 4> Schemes = {{
    {u"ftp", ServerAddress::Transport::Ftp, 21},
    {u"ftps", ServerAddress::Transport::FtpsImplicit, 990},
    {u"ftpes", ServerAddress::Transport::FtpsExplicit, 21},
    {u"sftp", ServerAddress::Transport::Sftp, 22},
}};

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool isIpv6Literal(QStringView text)
{
    if (!text.contains(u':'))
        return false;
    for (QChar c : text)
        if (!isHexDigit(c) && c != u':' && c != u'.')
            return false;
    return true;
}

// Plain names and internationalised ones; QUrl rejects spaces, empty labels and the
// like when it converts the name to its ASCII form.
bool isHostName(const QString &text)
{
    if (text.isEmpty() || text.startsWith(u'.') || text.contains(QStringLiteral("..")))
        return false;
    for (QChar c : text)
        if (!c.isLetterOrNumber() && c != u'-' && c != u'.' && c != u'_')
            return false;
    return !QUrl::toAce(text).isEmpty();
}

bool parsePort(QStringView text, int &port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (QChar c : text)
        if (!c.isDigit() || c.unicode() > 0x7F)
            return false;
    port = text.toInt();
    return port >= 1 && port <= 65535;
}

QString badValue(const QString &server)
{
    return QStringLiteral("The server address \"%1\" is not valid; write a host name, "
                          "optionally followed by \":\" and a port")
        .arg(server);
}

// host, host:port, [v6], [v6]:port or a bare v6 literal.
Result<ServerAddress> parseAuthority(const QString &authority, const QString &server)
{
    ServerAddress address;
    QString portText;
    bool hasPort = false;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        address.host = authority.mid(1, close - 1);
        const QString rest = close < 0 ? QString() : authority.mid(close + 1);
        if (close < 0 || !isIpv6Literal(address.host) ||
            (!rest.isEmpty() && !rest.startsWith(u':')))
            return failure(badValue(server));
        hasPort = !rest.isEmpty();
        portText = rest.mid(1);
    } else if (isIpv6Literal(authority) && authority.count(u':') > 1) {
        address.host = authority;
    } else {
        const qsizetype colon = authority.indexOf(u':');
        address.host = authority.left(colon);
        hasPort = colon >= 0;
        portText = hasPort ? authority.mid(colon + 1) : QString();
        if (!isHostName(address.host))
            return failure(badValue(server));
    }
    if (hasPort && !parsePort(portText, address.port))
        return failure(QStringLiteral("The port in the server address \"%1\" must be a number "
                                      "from 1 to 65535")
                           .arg(server));
    return address;
}

} // namespace

QString ServerAddress::authority() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return shownHost + u':' + QString::number(port);
}

QString withoutUserInformation(const QString &server)
{
    const qsizetype at = server.lastIndexOf(u'@');
    if (at < 0)
        return server;
    const qsizetype separator = server.indexOf(QStringLiteral("://"));
    const qsizetype start = separator >= 0 && separator < at ? separator + 3 : 0;
    return server.left(start) + QStringLiteral("...") + server.mid(at);
}

QString schemeName(ServerAddress::Transport transport)
{
    for (const Scheme &scheme : Schemes)
        if (scheme.transport == transport)
            return scheme.name.toString() + QStringLiteral("://");
    return {};
}

Result<ServerAddress> parseServerAddress(const QString &server)
{
    QString rest = server.trimmed();
    if (rest.isEmpty())
        return failure(QStringLiteral("No server is given in the site definition"));
    const Scheme *scheme = &Schemes[0];
    const qsizetype separator = rest.indexOf(QStringLiteral("://"));
    if (separator >= 0) {
        const QString name = rest.left(separator).toLower();
        scheme = nullptr;
        for (const Scheme &known : Schemes)
            if (known.name == name)
                scheme = &known;
        if (!scheme)
            return failure(
                QStringLiteral("Unknown connection type \"%1://\" in the server address; "
                               "use ftp://, ftpes://, ftps:// or sftp://")
                    .arg(rest.left(separator)));
        rest = rest.mid(separator + 3);
        if (rest.endsWith(u'/'))
            rest.chop(1);
    }
    // Said without the value, which would show the password in the log.
    if (rest.contains(u'@'))
        return failure(QStringLiteral("SERVER must not hold a user name or password; use LOGIN "
                                      "and PASSWORD"));
    Result<ServerAddress> parsed = parseAuthority(rest, server.trimmed());
    if (!parsed)
        return parsed;
    ServerAddress address = std::move(parsed).value();
    address.transport = scheme->transport;
    if (address.port == 0)
        address.port = scheme->defaultPort;
    return address;
}

} // namespace vellumet
