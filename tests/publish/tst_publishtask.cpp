#include "publish/FtpClient.h"
#include "publish/PublishTask.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

class TestPublishTask : public QObject
{
    Q_OBJECT
private slots:
    void clientThatCannotBeMade_data();
    void clientThatCannotBeMade();
};

void TestPublishTask::clientThatCannotBeMade_data()
{
    QTest::addColumn<bool>("throws");
    QTest::newRow("factory gives nothing") << false;
    QTest::newRow("factory throws") << true;
}

// The run must still save the typed text and end like a failed login, with its lines
// delivered in order before it reports that it has finished.
void TestPublishTask::clientThatCannotBeMade()
{
    QFETCH(bool, throws);
    QTemporaryDir folder;
    PublishTask task([throws]() -> std::unique_ptr<FtpClient> {
        if (throws)
            throw std::runtime_error("no memory");
        return nullptr;
    });
    QStringList lines;
    bool finishedAfterLines = false;
    connect(&task, &PublishTask::lineWritten, this, [&](const QString &l) { lines << l; });
    connect(&task, &PublishTask::finished, this,
            [&] { finishedAfterLines = lines.size() == 4 && !task.isRunning(); });
    QSignalSpy finished(&task, &PublishTask::finished);

    PublishJob job;
    job.Settings.Server = QStringLiteral("ftp.example.com");
    job.Paragraphs.append({QStringLiteral("Intro"), QString(), QStringLiteral("typed\r\n")});
    job.Folder = folder.path();
    QVERIFY(task.start(job));
    QVERIFY(!task.start(job));
    QVERIFY(finished.wait(10000));

    QVERIFY(finishedAfterLines);
    QCOMPARE(lines.at(0), QStringLiteral("Saving local copy"));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("ERROR The connection could not be set up")));
    QVERIFY(lines.at(2).endsWith(QStringLiteral(" - Failed to connect to Server")));
    QCOMPARE(lines.at(3), QStringLiteral("Finished"));
    QCOMPARE(task.outcome().Paragraphs.at(0).ParaText, QStringLiteral("typed"));
    QFile copy(folder.filePath(QStringLiteral("Intro.txt")));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), QByteArray("typed"));
}

QTEST_GUILESS_MAIN(TestPublishTask)
#include "tst_publishtask.moc"
