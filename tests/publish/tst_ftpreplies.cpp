#include "publish/FtpReplies.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFtpReplies : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void urlPath_data();
    void urlPath();
};

void TestFtpReplies::replies_data()
{
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QString>("directory"); // of the last 257 reply
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QString>("sentence"); // for the code of the last reply, or 550

    QTest::newRow("directory, doubled quotes, UTF-8")
        << "257 \"/caf\xC3\xA9 \"\"b\"\"\" is current.\r\n"_ba << u"/caf\u00E9 \"b\""_s
        << QList<int>{257} << u"\"/caf\u00E9 \"\"b\"\"\" is current (257)"_s;
    QTest::newRow("last 257 counts, quoted 250 does not")
        << "250 \"/x\" ok\r\n257 \"/y\"\r\n"_ba << u"/y"_s << QList<int>{250, 257}
        << u"\"/y\" (257)"_s;
    QTest::newRow("unquoted directory")
        << "257 /home\r\n"_ba << QString() << QList<int>{257} << u"/home (257)"_s;
    QTest::newRow("unclosed quote")
        << "257 \"/home\r\n"_ba << QString() << QList<int>{257} << u"\"/home (257)"_s;
    QTest::newRow("multi-line reply counts once, by its last line")
        << "550-Detail\r\n 200 inside\r\n550 No such file.\r\n"_ba << QString() << QList<int>{550}
        << u"No such file (550)"_s;
    QTest::newRow("no text: a stand-in")
        << "530\r\n"_ba << QString() << QList<int>{530} << u"Login incorrect (530)"_s;
    QTest::newRow("code only as a prefix")
        << "hello\r\n5501 x\r\n"_ba << QString() << QList<int>{}
        << u"No such file or directory, or no permission (550)"_s;
    QTest::newRow("the server's words")
        << "220 hi\r\n"_ba << QString() << QList<int>{220} << u"hi (220)"_s;
}

void TestFtpReplies::replies()
{
    QFETCH(QByteArray, replies);
    QFETCH(QList<int>, codes);
    QTEST(DirectoryFromReplies(replies), "directory");
    QCOMPARE(ReplyCodes(replies), codes);
    QTEST(ReplySentence(replies, codes.isEmpty() ? 550 : codes.back()), "sentence");
    // No reply of that code: a stand-in.
    QCOMPARE(ReplySentence(replies, 553), u"File name not allowed (553)"_s);
}

void TestFtpReplies::urlPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("url");
    QTest::newRow("relative name") << u"index.html"_s << "index.html"_ba;
    QTest::newRow("root") << u"/"_s << "%2F"_ba;
    QTest::newRow("absolute, escaped, UTF-8")
        << u"/a b/x%#?;\u00E9"_s << "%2Fa%20b/x%25%23%3F%3B%C3%A9"_ba;
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestFtpReplies::urlPath()
{
    QFETCH(QString, path);
    QTEST(UrlPath(path), "url");
}

QTEST_GUILESS_MAIN(TestFtpReplies)
#include "tst_ftpreplies.moc"
