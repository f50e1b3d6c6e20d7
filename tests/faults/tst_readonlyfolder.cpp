#include "FaultRun.h"
#include "RealServer.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

#include <unistd.h>

using namespace Bakery;

namespace
{

const QFileDevice::Permissions ReadOnly =
    QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
const QFileDevice::Permissions Writable = ReadOnly | QFileDevice::WriteOwner;
const QFileDevice::Permissions ExeAll =
    QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

// The files an earlier run left in the program folder.
const QList<std::pair<QString, QByteArray>> Earlier{
    {"Intro.txt", "Yesterday's bread"}, {"index.html", "old template"}, {"live.html", "old page"}};

// The reason after " - " varies with the system's words; that there is one is what counts.
QStringList WithoutReasons(QStringList log)
{
    static const QRegularExpression reason(QStringLiteral("^(ERROR Failed to Save Local Copy "
                                                          "\\S+) - \\S.*$"));
    for (QString &line : log)
        line.replace(reason, QStringLiteral("\\1 - <reason>"));
    return log;
}

} // namespace

// A program folder the user may not write in, as when the program sits among installed
// ones, or whose files are read-only. What cannot be written is named in the log, what
// was there stays as it was, and only pages whose files could be written go up. Run as
// the user nobody, since root writes anywhere.
class TestReadOnlyFolder : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { curl_global_cleanup(); }
    void readOnly_data();
    void readOnly();
};

void TestReadOnlyFolder::initTestCase()
{
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders; the test is registered to run as nobody");
    QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
}

void TestReadOnlyFolder::readOnly_data()
{
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<QStringList>("logMiddle");
    QTest::addColumn<bool>("aboutPublished");

    QTest::newRow("read-only folder")
        << false
        << QStringList{"Getting File index.html", "ERROR Failed to Get File index.html",
                       "Getting File about.html", "ERROR Failed to Get File about.html"}
        << false;
    // about.html is a new file in a writable folder, so that page goes through.
    QTest::newRow("read-only files")
        << true
        << QStringList{"Getting File index.html", "ERROR Failed to Get File index.html",
                       "Getting File about.html", "Putting File about.html"}
        << true;
}

void TestReadOnlyFolder::readOnly()
{
    QFETCH(bool, folderWritable);
    QFETCH(QStringList, logMiddle);
    QFETCH(bool, aboutPublished);

    RealServer server(QStringLiteral("pyftpdlib"));
    QVERIFY(WriteBakery(server));
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTemporaryDir folder;
    for (const auto &[name, bytes] : Earlier) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        // Read-only files in a writable folder, or writable ones in a read-only folder.
        QVERIFY(QFile::setPermissions(file.fileName(), folderWritable ? ReadOnly : Writable));
    }
    QVERIFY(QFile::setPermissions(folder.path(), (folderWritable ? Writable : ReadOnly) | ExeAll));
    const QStringList before = FilesBelow(folder.path());

    const FaultRun run = PublishThrough(server.address(), server.user(), server.password(), Pages(),
                                        Typed, folder.path());

    QVERIFY(QFile::setPermissions(folder.path(), Writable | ExeAll));
    QCOMPARE(
        WithoutReasons(run.log),
        QStringList({"Saving local copy", "ERROR Failed to Save Local Copy Intro.txt - <reason>",
                     "Connecting to Server " + server.address(), "Current Directory is /"}) +
            logMiddle + QStringList({"Disconnecting", "Finished"}));
    const QString ending = BadEnding(run);
    QVERIFY2(ending.isEmpty(), qPrintable(ending));
    const QString lost = LostText(run, Typed, folder.path());
    QVERIFY2(lost.isEmpty(), qPrintable(lost));
    // The earlier files are untouched, and nothing was left beside them.
    for (const auto &[name, bytes] : Earlier)
        QCOMPARE(ReadFile(folder.filePath(name)), bytes);
    QStringList after = before;
    if (aboutPublished) {
        after << "/about.html: " + QString::number(NewAboutPage.size());
        after.sort();
    }
    QCOMPARE(FilesBelow(folder.path()), after);
    QCOMPARE(server.readFile(QStringLiteral("/live.html")), OldLivePage);
    QCOMPARE(server.readFile(QStringLiteral("/about.html")),
             aboutPublished ? NewAboutPage : AboutTemplate);
}

QTEST_GUILESS_MAIN(TestReadOnlyFolder)
#include "tst_readonlyfolder.moc"
