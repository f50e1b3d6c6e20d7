#include "FaultRun.h"
#include "RealServer.h"

#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

using namespace Bakery;

namespace
{

// A small tmpfs over a folder for the length of a test: a disk that can be filled.
class SmallDisk final
{
public:
    explicit SmallDisk(QString folder) : folder_(std::move(folder)) {}
    ~SmallDisk()
    {
        if (mounted_)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder_});
    }
    Q_DISABLE_COPY_MOVE(SmallDisk)

    // Empty when mounted, otherwise why not.
    QString mount(qint64 bytes)
    {
        QProcess mount;
        mount.setProcessChannelMode(QProcess::MergedChannels);
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=%1").arg(bytes), QStringLiteral("tmpfs"), folder_});
        if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit ||
            mount.exitCode() != 0)
            return QStringLiteral("cannot mount a small tmpfs here (it takes root): ") +
                   QString::fromLocal8Bit(mount.readAll()).trimmed();
        mounted_ = true;
        return {};
    }

    // Takes up all room but the given bytes, with a file that FilesBelow shows.
    bool leaveFree(qint64 bytes)
    {
        QFile filler(folder_ + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(4096, 'f');
        while (QStorageInfo(folder_).bytesAvailable() > bytes) {
            if (filler.write(block) != block.size() || !filler.flush())
                break;
        }
        return QStorageInfo(folder_).bytesAvailable() <= bytes;
    }

private:
    QString folder_;
    bool mounted_ = false;
};

QStringList WithoutFiller(QStringList files)
{
    files.removeIf([](const QString &file) { return file.startsWith(u"/filler: "); });
    return files;
}

} // namespace

// The disk that holds the program folder fills up, leaving room for nothing, for the
// local copy alone, or for the fetched page but not the spliced one. What could not be
// written is named, every file that was there stays whole, and no page goes up that was
// not written whole first.
class TestFullDisk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void diskFull_data();
    void diskFull();
};

void TestFullDisk::diskFull_data()
{
    QTest::addColumn<qint64>("free");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<bool>("copyFails");
    QTest::addColumn<QStringList>("logMiddle");
    QTest::addColumn<QStringList>("folderAfter");
    QTest::addColumn<bool>("aboutPublished");

    const QString oldCopy = QStringLiteral("/Intro.txt: 17");
    const QString newCopy = QStringLiteral("/Intro.txt: 18");
    const QString oldIndex = QStringLiteral("/index.html: 12");
    const QString newIndex = "/index.html: " + QString::number(IndexTemplate.size());
    const QString about = "/about.html: " + QString::number(NewAboutPage.size());
    // A fetch that fails for want of room costs the connection too: libcurl drops it
    // after a failed write, and the run does not log in again behind the user's back.
    const QStringList fetchFails{"Getting File index.html", "ERROR Failed to Get File index.html",
                                 "Getting File about.html", "ERROR Failed to Get File about.html"};
    QTest::newRow("no room at all")
        << qint64(0) << Pages() << true << fetchFails << QStringList{oldCopy, oldIndex} << false;
    QTest::newRow("room for the local copy only")
        << qint64(16 * 1024) << Pages() << false << fetchFails << QStringList{newCopy, oldIndex}
        << false;
    QTest::newRow("room for the fetched page, not the spliced one")
        << qint64(300 * 1024) << Pages() << false
        << QStringList{"Getting File index.html",
                       "ERROR Failed to Write File live.html - No space left on device",
                       "Getting File about.html", "Putting File about.html"}
        << QStringList{newCopy, about, newIndex} << true;
    // Small files wait in a write buffer until they are closed, and the disk refuses them
    // only then: neither an empty local copy nor an empty page may pass for a whole one.
    QTest::newRow("no room at all, a small page")
        << qint64(0) << QStringList{"about.html|about.html|"} << true
        << QStringList{"Getting File about.html", "ERROR Failed to Get File about.html"}
        << QStringList{oldCopy, oldIndex} << false;
}

void TestFullDisk::diskFull()
{
    QFETCH(qint64, free);
    QFETCH(QStringList, pages);
    QFETCH(bool, copyFails);
    QFETCH(QStringList, logMiddle);
    QFETCH(QStringList, folderAfter);
    QFETCH(bool, aboutPublished);

    QTemporaryDir folder;
    SmallDisk disk(folder.path());
    const QString mounted = disk.mount(1024 * 1024);
    if (!mounted.isEmpty())
        QSKIP(qPrintable(mounted));
    // What an earlier run left: the local copy and the fetched page.
    QFile copy(folder.filePath(QStringLiteral("Intro.txt")));
    QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write("Yesterday's bread") == 17);
    copy.close();
    QFile page(folder.filePath(QStringLiteral("index.html")));
    QVERIFY(page.open(QIODevice::WriteOnly) && page.write("old template") == 12);
    page.close();
    QVERIFY(disk.leaveFree(free));
    RealServer server(QStringLiteral("pyftpdlib"));
    QVERIFY(WriteBakery(server));
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    const FaultRun run = PublishThrough(server.address(), server.user(), server.password(), pages,
                                        Typed, folder.path());

    QStringList start{"Saving local copy"};
    if (copyFails)
        start << "ERROR Failed to Save Local Copy Intro.txt - No space left on device";
    start << "Connecting to Server " + server.address() << "Current Directory is /";
    QCOMPARE(run.log, start + logMiddle + QStringList({"Disconnecting", "Finished"}));
    const QString ending = BadEnding(run);
    QVERIFY2(ending.isEmpty(), qPrintable(ending));
    const QString lost = LostText(run, Typed, folder.path());
    QVERIFY2(lost.isEmpty(), qPrintable(lost));
    // Whole files only: the old ones where the new could not be written, and no
    // half-written temporary file beside them.
    QCOMPARE(WithoutFiller(FilesBelow(folder.path())), folderAfter);
    QCOMPARE(server.readFile(QStringLiteral("/live.html")), OldLivePage);
    QCOMPARE(server.readFile(QStringLiteral("/about.html")),
             aboutPublished ? NewAboutPage : AboutTemplate);
    QCOMPARE(FilesBelow(server.localPath(QString())).size(), 3);
}

QTEST_GUILESS_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
