#include "publish/FtpReplies.h"

#include <QTest>

class TestFtpReplies : public QObject
{
    Q_OBJECT
private slots:
    void directory_data();
    void directory();
    void codes_data();
    void codes();
    void sentence_data();
    void sentence();
    void urlPath_data();
    void urlPath();
};

void TestFtpReplies::directory_data()
{
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QString>("directory");

    QTest::newRow("plain") << QByteArray("257 \"/home/site\" is the current directory.\r\n")
                           << "/home/site";
    QTest::newRow("root") << QByteArray("257 \"/\"\r\n") << "/";
    QTest::newRow("doubled quotes")
        << QByteArray("257 \"/a \"\"b\"\"\" is current\r\n") << "/a \"b\"";
    QTest::newRow("after a CWD reply")
        << QByteArray("250 \"/x\" is the current directory.\r\n257 \"/y\" is current\r\n") << "/y";
    QTest::newRow("UTF-8") << QByteArray("257 \"/caf\xC3\xA9\"\r\n")
                           << QStringLiteral("/caf\u00E9");
    QTest::newRow("no 257") << QByteArray("250 OK\r\n") << "";
    QTest::newRow("unquoted") << QByteArray("257 /home\r\n") << "";
    QTest::newRow("unclosed quote") << QByteArray("257 \"/home\r\n") << "";
}

void TestFtpReplies::directory()
{
    QFETCH(QByteArray, replies);
    QFETCH(QString, directory);
    QCOMPARE(DirectoryFromReplies(replies), directory);
}

void TestFtpReplies::codes_data()
{
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QList<int>>("codes");

    QTest::newRow("refused CWD, then PWD")
        << QByteArray("550 No such file or directory.\r\n257 \"/\" is current\r\n")
        << QList<int>{550, 257};
    QTest::newRow("multi-line reply counts once")
        << QByteArray("250-Welcome\r\n 200 inside\r\n250 OK\r\n257 \"/x\"\r\n")
        << QList<int>{250, 257};
    QTest::newRow("a new login before the commands")
        << QByteArray("220 hi\r\n331 pw\r\n230 in\r\n257 \"/\"\r\n550 no\r\n257 \"/\"\r\n")
        << QList<int>{220, 331, 230, 257, 550, 257};
    QTest::newRow("code without text") << QByteArray("250\r\n") << QList<int>{250};
    QTest::newRow("not a reply") << QByteArray("hello\r\n2500 x\r\n") << QList<int>{};
}

void TestFtpReplies::codes()
{
    QFETCH(QByteArray, replies);
    QFETCH(QList<int>, codes);
    QCOMPARE(ReplyCodes(replies), codes);
}

void TestFtpReplies::sentence_data()
{
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("sentence");

    QTest::newRow("server's words, no full stop")
        << QByteArray("220 hi\r\n331 pw?\r\n530 Login incorrect.\r\n") << 530
        << "Login incorrect (530)";
    QTest::newRow("last line of a multi-line reply")
        << QByteArray("550-Detail\r\n550 No such file or directory.\r\n") << 550
        << "No such file or directory (550)";
    QTest::newRow("no text") << QByteArray("530\r\n") << 530 << "Login incorrect (530)";
    QTest::newRow("no such reply") << QByteArray() << 553 << "File name not allowed (553)";
    QTest::newRow("code only as a prefix")
        << QByteArray("5501 x\r\n") << 550 << "No such file or directory, or no permission (550)";
}

void TestFtpReplies::sentence()
{
    QFETCH(QByteArray, replies);
    QFETCH(int, code);
    QFETCH(QString, sentence);
    QCOMPARE(ReplySentence(replies, code), sentence);
}

void TestFtpReplies::urlPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("url");

    QTest::newRow("relative name") << "index.html" << QByteArray("index.html");
    QTest::newRow("absolute keeps its root") << "/pub/a.html" << QByteArray("%2Fpub/a.html");
    QTest::newRow("root") << "/" << QByteArray("%2F");
    QTest::newRow("URL characters escaped")
        << "/a b/x%#?;.html" << QByteArray("%2Fa%20b/x%25%23%3F%3B.html");
    QTest::newRow("non-ASCII as UTF-8")
        << QStringLiteral("/\u00E9.html") << QByteArray("%2F%C3%A9.html");
    QTest::newRow("empty") << "" << QByteArray();
}

void TestFtpReplies::urlPath()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, url);
    QCOMPARE(UrlPath(path), url);
}

QTEST_GUILESS_MAIN(TestFtpReplies)
#include "tst_ftpreplies.moc"
