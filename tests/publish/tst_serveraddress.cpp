#include "publish/ServerAddress.h"

#include <QTest>

using Transport = ServerAddress::Transport;
Q_DECLARE_METATYPE(ServerAddress::Transport)

class TestServerAddress : public QObject
{
    Q_OBJECT
private slots:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
};

void TestServerAddress::accepted_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("authority");

    const Transport ftp = Transport::Ftp;
    QTest::newRow("bare host is plain FTP on 21")
        << "ftp.example.com" << ftp << "ftp.example.com" << 21 << "ftp.example.com:21";
    QTest::newRow("surrounding blanks")
        << "  example.com \t" << ftp << "example.com" << 21 << "example.com:21";
    QTest::newRow("host and port")
        << "example.com:2121" << ftp << "example.com" << 2121 << "example.com:2121";
    QTest::newRow("IPv4 and port")
        << "127.0.0.1:65535" << ftp << "127.0.0.1" << 65535 << "127.0.0.1:65535";
    QTest::newRow("IPv6 in brackets")
        << "[2001:db8::1]" << ftp << "2001:db8::1" << 21 << "[2001:db8::1]:21";
    QTest::newRow("IPv6 and port") << "[::1]:2121" << ftp << "::1" << 2121 << "[::1]:2121";
    QTest::newRow("bare IPv6") << "fe80::1" << ftp << "fe80::1" << 21 << "[fe80::1]:21";
    QTest::newRow("ftp scheme") << "ftp://example.com" << ftp << "example.com" << 21
                                << "example.com:21";
    QTest::newRow("ftp scheme, port, slash")
        << "FTP://example.com:21/" << ftp << "example.com" << 21 << "example.com:21";
    QTest::newRow("ftp scheme, IPv6") << "ftp://[::1]:990/" << ftp << "::1" << 990 << "[::1]:990";
    QTest::newRow("international name")
        << QStringLiteral("b\u00FCcher.example") << ftp << QStringLiteral("b\u00FCcher.example")
        << 21 << QStringLiteral("b\u00FCcher.example:21");
    QTest::newRow("implicit TLS on 990") << "ftps://example.com" << Transport::FtpsImplicit
                                         << "example.com" << 990 << "example.com:990";
    QTest::newRow("explicit TLS on 21") << "ftpes://example.com" << Transport::FtpsExplicit
                                        << "example.com" << 21 << "example.com:21";
    QTest::newRow("SFTP on 22") << "sftp://example.com:2222" << Transport::Sftp << "example.com"
                                << 2222 << "example.com:2222";
}

void TestServerAddress::accepted()
{
    QFETCH(QString, server);
    QFETCH(Transport, transport);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, authority);

    const ServerAddress address = ParseServerAddress(server);
    QVERIFY2(address.isValid(), qPrintable(address.error));
    QCOMPARE(address.transport, transport);
    QCOMPARE(address.host, host);
    QCOMPARE(address.port, port);
    QCOMPARE(address.authority(), authority);
}

void TestServerAddress::rejected_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("error");

    const QString badValue = QStringLiteral("is not valid");
    const QString badPort = QStringLiteral("must be a number from 1 to 65535");
    QTest::newRow("empty") << ""
                           << "No server is given";
    QTest::newRow("blank") << "   "
                           << "No server is given";
    QTest::newRow("unknown scheme") << "http://example.com"
                                    << "Unknown connection type \"http://\"";
    QTest::newRow("scheme only") << "ftp://" << badValue;
    QTest::newRow("path") << "ftp://example.com/pub" << badValue;
    QTest::newRow("user in address") << "ftp://me@example.com" << badValue;
    QTest::newRow("space in name") << "ftp example.com" << badValue;
    QTest::newRow("empty label") << "example..com" << badValue;
    QTest::newRow("port zero") << "example.com:0" << badPort;
    QTest::newRow("port too big") << "example.com:65536" << badPort;
    QTest::newRow("port empty") << "example.com:" << badPort;
    QTest::newRow("port not a number") << "example.com:ftp" << badPort;
    QTest::newRow("port signed") << "example.com:+21" << badPort;
    QTest::newRow("unclosed bracket") << "[::1" << badValue;
    QTest::newRow("bracket not IPv6") << "[example.com]" << badValue;
    QTest::newRow("junk after bracket") << "[::1]21" << badValue;
    QTest::newRow("bracket port empty") << "[::1]:" << badPort;
}

void TestServerAddress::rejected()
{
    QFETCH(QString, server);
    QFETCH(QString, error);

    const ServerAddress address = ParseServerAddress(server);
    QVERIFY(!address.isValid());
    QVERIFY2(address.error.contains(error), qPrintable(address.error));
}

QTEST_GUILESS_MAIN(TestServerAddress)
#include "tst_serveraddress.moc"
