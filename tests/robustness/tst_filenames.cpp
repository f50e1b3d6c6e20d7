#include "site/LocalCopies.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Paragraph names come from the site definition and become file names in the program
// folder. Whatever a name holds, nothing is read or written outside that folder: a name
// is either refused and reported, or it names exactly one file in the folder.

namespace
{

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QList<Paragraph> OneParagraph(const QString &name, const QString &text = {})
{
    Paragraph para;
    para.ParaName = name;
    para.ParaText = text;
    return {para};
}

// Everything under folder, as relative paths, hidden files and folders included.
QStringList Contents(const QString &folder)
{
    QStringList entries;
    const QDir dir(folder);
    for (const QFileInfo &info : dir.entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        entries << info.fileName();
        if (info.isDir())
            for (const QString &inner : Contents(info.filePath()))
                entries << info.fileName() + u'/' + inner;
    }
    return entries;
}

} // namespace

class TestFileNames : public QObject
{
    Q_OBJECT
private slots:
    void paragraphNames_data();
    void paragraphNames();
};

void TestFileNames::paragraphNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain");   // IsPlainFileName, the check pages pass too
    QTest::addColumn<bool>("written"); // on this system; see the rows below

    QTest::newRow("parent folder") << "../bait" << false << false;
    QTest::newRow("deeper parent folder") << "a/../../bait" << false << false;
    QTest::newRow("sub-folder") << "sub/file" << false << false;
    QTest::newRow("backslash") << "..\\bait" << false << false;
    QTest::newRow("absolute path") << "/tmp/vellumet-bait" << false << false;
    QTest::newRow("NUL") << QStringLiteral("bait") + QChar(0) + QStringLiteral("x") << false
                         << false;
    // Dots alone are no folder once ".txt" follows them.
    QTest::newRow("two dots") << ".." << true << true;
    QTest::newRow("one dot") << "." << true << true;
    QTest::newRow("empty") << "" << true << true;
    // Reserved on Windows, where writing them fails and is reported like a refused name;
    // ordinary characters here.
    QTest::newRow("drive colon") << "C:" << true << true;
    QTest::newRow("wildcards and brackets") << "a*b?c<d>e|f\"g" << true << true;
    QTest::newRow("device name") << "CON" << true << true;
    QTest::newRow("trailing dot and space") << "a. " << true << true;
    QTest::newRow("line break") << "a\r\nb" << true << true;
    QTest::newRow("outside Windows-1252") << QStringLiteral("\u0141\U0001F600") << true << true;
    // The file system refuses the name; the failure is reported.
    QTest::newRow("longer than a file name may be") << QString(300, u'n') << true << false;
}

void TestFileNames::paragraphNames()
{
    QFETCH(QString, name);
    QFETCH(bool, written);
    QTEST(IsPlainFileName(name), "plain");

    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("program")));
    const QString folder = root.filePath(QStringLiteral("program"));
    WriteBytes(root.filePath(QStringLiteral("bait.txt")), "outside");
    const QStringList before = Contents(root.path());

    QList<Paragraph> paras = OneParagraph(name);
    LoadLocalCopies(paras, folder);
    QCOMPARE(paras[0].ParaText, QString());

    paras[0].ParaText = QStringLiteral("typed");
    const QList<LocalCopyFailure> failures = SaveLocalCopies(paras, folder);
    const QString fileName = name + QStringLiteral(".txt");
    if (written) {
        QCOMPARE(failures.size(), 0);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                        QDir::NoDotAndDotDot),
                 QStringList{fileName});
        QCOMPARE(ReadBytes(LocalCopyPath(folder, name)), QByteArray("typed"));
        QList<Paragraph> loaded = OneParagraph(name);
        QVERIFY(LoadLocalCopies(loaded, folder).isEmpty());
        QCOMPARE(loaded[0].ParaText, QStringLiteral("typed"));
    } else {
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures[0].fileName, fileName);
        QVERIFY(!failures[0].reason.isEmpty());
        QCOMPARE(Contents(root.path()), before);
    }
    QCOMPARE(ReadBytes(root.filePath(QStringLiteral("bait.txt"))), QByteArray("outside"));
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/vellumet-bait.txt")));
}

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
