#include "publish/ServerAddress.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestServerAddress : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void TestServerAddress::parse_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("result"); // the address as a URL, or a part of the reason

    const QString badValue = u"is not valid"_s;
    const QString badPort = u"must be a number from 1 to 65535"_s;
    QTest::newRow("bare host is plain FTP on 21")
        << u" ftp.example.com\t"_s << u"ftp://ftp.example.com:21"_s;
    QTest::newRow("IPv4 and the highest port")
        << u"127.0.0.1:65535"_s << u"ftp://127.0.0.1:65535"_s;
    QTest::newRow("IPv6 in brackets") << u"[2001:db8::1]"_s << u"ftp://[2001:db8::1]:21"_s;
    QTest::newRow("IPv6 and port") << u"[::1]:2121"_s << u"ftp://[::1]:2121"_s;
    QTest::newRow("bare IPv6") << u"fe80::1"_s << u"ftp://[fe80::1]:21"_s;
    QTest::newRow("scheme in capitals, slash")
        << u"FTP://example.com:2121/"_s << u"ftp://example.com:2121"_s;
    QTest::newRow("international name")
        << u"b\u00FCcher.example"_s << u"ftp://b\u00FCcher.example:21"_s;
    QTest::newRow("implicit TLS on 990") << u"ftps://example.com"_s << u"ftps://example.com:990"_s;
    QTest::newRow("explicit TLS on 21") << u"ftpes://example.com"_s << u"ftpes://example.com:21"_s;
    QTest::newRow("SFTP on 22") << u"sftp://[::1]"_s << u"sftp://[::1]:22"_s;
    QTest::newRow("blank") << u"   "_s << u"No server is given"_s;
    QTest::newRow("unknown scheme")
        << u"http://example.com"_s << u"Unknown connection type \"http://\""_s;
    QTest::newRow("scheme only") << u"ftp://"_s << badValue;
    QTest::newRow("path") << u"ftp://example.com/pub"_s << badValue;
    QTest::newRow("user in address") << u"ftp://me@example.com"_s << badValue;
    QTest::newRow("space in name") << u"ftp example.com"_s << badValue;
    QTest::newRow("empty label") << u"example..com"_s << badValue;
    QTest::newRow("port zero") << u"example.com:0"_s << badPort;
    QTest::newRow("port too big") << u"example.com:65536"_s << badPort;
    QTest::newRow("port signed") << u"example.com:+21"_s << badPort;
    QTest::newRow("unclosed bracket") << u"[::1"_s << badValue;
    QTest::newRow("bracket not IPv6") << u"[example.com]"_s << badValue;
    QTest::newRow("junk after bracket") << u"[::1]21"_s << badValue;
    QTest::newRow("bracket, empty port") << u"[::1]:"_s << badPort;
}

void TestServerAddress::parse()
{
    QFETCH(QString, server);
    QFETCH(QString, result);
    const ServerAddress address = ParseServerAddress(server);
    if (address.isValid())
        QCOMPARE(SchemeName(address.transport) + address.authority(), result);
    else
        QVERIFY2(address.error.contains(result), qPrintable(address.error));
}

QTEST_GUILESS_MAIN(TestServerAddress)
#include "tst_serveraddress.moc"
