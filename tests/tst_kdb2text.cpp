#include "ExportedFiles.h"
#include "FileFailures.h"
#include "FileState.h"
#include "Golden.h"
#include "QueryFixture.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "export/kdb2text.h"

#include <QBuffer>
#include <QDir>
#include <QTest>

namespace
{

struct Export : QueryFixture {
    TKDatasetToText component;
    explicit Export(const QString& setup)
        : QueryFixture(setup)
    {
        component.setDataset(&query);
    }
};

// Enough text to overflow any buffer and a 64 KiB disk.
const QString kManyRows
    = QStringLiteral("CREATE TABLE t (s VARCHAR(200), m TEXT);"
                     "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3000)"
                     " INSERT INTO t SELECT printf('%0100d', n), printf('%050d', n) FROM c");

} // namespace

// The delimited text export: exact bytes of the text and side files, file names,
// refusals, and failed writes that leave the old files as they were.
class TestKdb2Text : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void quotingAndJoining_data();
    void quotingAndJoining();
    void fileNames_data();
    void fileNames();
    void delimiterOfSeparator_data();
    void delimiterOfSeparator();
    void writesGoldenFiles_data();
    void writesGoldenFiles();
    void refusesWithoutOpenDataset_data();
    void refusesWithoutOpenDataset();
    void failedFileLeavesTargetsIntact_data();
    void failedFileLeavesTargetsIntact();
    void fullDiskLeavesBothFiles_data();
    void fullDiskLeavesBothFiles();
    void failedRenameLeavesBothFiles_data();
    void failedRenameLeavesBothFiles();
    void refusesSideFileThatIsTheTextFile_data();
    void refusesSideFileThatIsTheTextFile();
    void refusesDatabaseFiles_data();
    void refusesDatabaseFiles();
    void replacedFilesKeepOwnerAndMode();
    void failingDeviceReportsError();
    void datasetClearsWhenDestroyed();
    void contentsAcrossPieces_data();
    void contentsAcrossPieces();
    void stoppedExportLeavesTargets_data();
    void stoppedExportLeavesTargets();
    void progressMovingCursorWritesEveryRecordOnce();
};

void TestKdb2Text::quotingAndJoining_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QChar>("delimiter");
    QTest::addColumn<QString>("joined");
    QTest::newRow("quotes doubled") << QStringList { "a\"b", "\"\"" } << QChar(u';') << "\"a\"\"b\";\"\"\"\"\"\"";
    QTest::newRow("empty value") << QStringList { "" } << QChar(u';') << "\"\"";
    QTest::newRow("delimiter and line break kept")
        << QStringList { "x;y\r\nz", "1" } << QChar(u';') << "\"x;y\r\nz\";\"1\"";
    QTest::newRow("zero delimiter") << QStringList { "a", "b" } << QChar(u'\0')
                                    << QStringLiteral("\"a\"%1\"b\"").arg(QChar(u'\0'));
    QTest::newRow("no values") << QStringList {} << QChar(u'\t') << "";
}

void TestKdb2Text::quotingAndJoining()
{
    QFETCH(QStringList, values);
    QFETCH(QChar, delimiter);
    QFETCH(QString, joined);
    QCOMPARE(JoinValues(values, delimiter, u'"'), joined);
}

void TestKdb2Text::fileNames_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("side");
    QTest::newRow("no extension") << "C:\\Export\\clients"
                                  << "C:\\Export\\clients.txt"
                                  << "C:\\Export\\clients.mem";
    QTest::newRow("own extension") << "C:\\Export\\clients.csv"
                                   << "C:\\Export\\clients.csv"
                                   << "C:\\Export\\clients.mem";
    QTest::newRow("full stop in folder") << "C:\\Data.old\\liste"
                                         << "C:\\Data.old\\liste.txt"
                                         << "C:\\Data.old\\liste.mem";
    QTest::newRow("ends in full stop") << "C:\\Export\\clients."
                                       << "C:\\Export\\clients."
                                       << "C:\\Export\\clients.mem";
    QTest::newRow("empty") << ""
                           << ".txt"
                           << ".mem";
    QTest::newRow("drive only") << "C:liste"
                                << "C:liste.txt"
                                << "C:liste.mem";
    QTest::newRow("slash, full stop in folder") << "/home/u/data.d/liste"
                                                << "/home/u/data.d/liste.txt"
                                                << "/home/u/data.d/liste.mem";
    QTest::newRow("slash, own extension") << "/home/u/clients.csv"
                                          << "/home/u/clients.csv"
                                          << "/home/u/clients.mem";
}

void TestKdb2Text::fileNames()
{
    QFETCH(QString, given);
    QFETCH(QString, text);
    QFETCH(QString, side);
    QCOMPARE(textFileName(given), text);
    QCOMPARE(sideFileName(given), side);
}

void TestKdb2Text::delimiterOfSeparator_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("delimiter");
    QTest::newRow("first of several") << " - " << int(' ');
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("euro sign") << "€" << 0x80;
    QTest::newRow("outside the code page") << "✓;" << int('?');
}

void TestKdb2Text::delimiterOfSeparator()
{
    QFETCH(QString, separator);
    QFETCH(int, delimiter);
    QCOMPARE(int(uchar(delimiterOf(separator))), delimiter);
}

void TestKdb2Text::writesGoldenFiles_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("delimiter");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<QString>("golden");
    const QStringList none;
    QTest::newRow("quoted values, empty memo, number")
        << "CREATE TABLE t (a VARCHAR(10), m TEXT, n INTEGER); INSERT INTO t VALUES ('a\"b', '', 12)" << int(';')
        << none << 0 << "example";
    QTest::newRow("memo contents in the side file")
        << "CREATE TABLE t (m TEXT); INSERT INTO t VALUES ('abc'), ('hello')" << int('\t') << none << 0 << "side";
    QTest::newRow("line break and delimiter inside values")
        << "CREATE TABLE t (a VARCHAR(20), b VARCHAR(20)); INSERT INTO t VALUES ('x;y', 'one' || char(13, 10) || 'two')"
        << int(';') << none << 0 << "raw";
    QTest::newRow("zero delimiter")
        << "CREATE TABLE t (a VARCHAR(5), b VARCHAR(5)); INSERT INTO t VALUES ('a', 'b'), ('', NULL)" << 0 << none << 0
        << "zero";
    QTest::newRow("hidden field exported")
        << "CREATE TABLE t (a INTEGER, b VARCHAR(5), c INTEGER); INSERT INTO t VALUES (1, 'deux', 3)" << int(',')
        << QStringList { "b" } << 0 << "hidden";
    QTest::newRow("empty, null and binary contents")
        << "CREATE TABLE t (m TEXT, b BLOB); INSERT INTO t VALUES ('', NULL), (NULL, x''), ('é', x'00FF0D0A')"
        << int(';') << none << 0 << "blobs";
    QTest::newRow("text forms in Windows-1252")
        << "CREATE TABLE t (i INTEGER, r REAL, d DATE, c MONEY, o BOOLEAN, s VARCHAR(30));"
           "INSERT INTO t VALUES (-7, 1234.5, '2024-03-07', 12.5, 1, 'Hélène € Łódź ✓'),"
           " (NULL, NULL, NULL, NULL, NULL, NULL)"
        << int(';') << none << 0 << "forms";
    QTest::newRow("empty result, older side file kept")
        << "CREATE TABLE t (m TEXT, n INTEGER)" << int(';') << none << 0 << "empty";
    QTest::newRow("positioned in the middle")
        << "CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (1), (2), (3)" << int(';') << none << 1 << "middle";
}

void TestKdb2Text::writesGoldenFiles()
{
    QFETCH(QString, setup);
    QFETCH(int, delimiter);
    QFETCH(QStringList, hidden);
    QFETCH(int, startRow);
    QFETCH(QString, golden);
    Export e(setup);
    for (const QString& name : hidden)
        e.query.FieldByName(name)->setVisible(false);
    e.component.setDelimiter(char(delimiter));
    e.query.moveTo(startRow);

    // A folder with a full stop in its name, and an older side file that only an
    // export with binary contents may replace.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data.d")));
    const QString target = dir.filePath(QStringLiteral("data.d/liste"));
    const QByteArray oldSide = "older side file";
    QVERIFY(writeFile(target + QStringLiteral(".mem"), oldSide));
    e.component.ExportToFile(target);
    QVERIFY(e.query.eof());

    const QByteArray textBytes = fileBytes(target + QStringLiteral(".txt"));
    QVERIFY(QFileInfo::exists(target + QStringLiteral(".txt")));
    QString diff = goldenDifference(textBytes, QStringLiteral("kdb2text/%1.txt").arg(golden));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    const QString sideGolden = QStringLiteral("kdb2text/%1.mem").arg(golden);
    const bool hasSide = QFileInfo::exists(testDataPath(sideGolden));
    const QByteArray sideBytes = fileBytes(target + QStringLiteral(".mem"));
    if (hasSide) {
        diff = goldenDifference(sideBytes, sideGolden);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    } else {
        QCOMPARE(sideBytes, oldSide);
    }
    QCOMPARE(QDir(dir.filePath(QStringLiteral("data.d"))).entryList(QDir::Files).size(), 2);

    // The same walk into devices gives the same bytes.
    const auto [textDevice, sideDevice] = textFiles(e.component);
    QCOMPARE(textDevice, textBytes);
    QCOMPARE(sideDevice, hasSide ? sideBytes : QByteArray());
}

void TestKdb2Text::refusesWithoutOpenDataset_data()
{
    QTest::addColumn<bool>("withDataset");
    QTest::addColumn<QString>("message");
    QTest::newRow("no data set") << false << "Dataset is not specified";
    QTest::newRow("closed data set") << true << "Dataset is not active";
}

void TestKdb2Text::refusesWithoutOpenDataset()
{
    QFETCH(bool, withDataset);
    QFETCH(QString, message);
    TestDatabase db;
    TQuery query;
    TKDatasetToText component;
    if (withDataset)
        component.setDataset(&query);
    QTemporaryDir dir;
    const Raised failure = raised([&] { component.ExportToFile(dir.filePath(QStringLiteral("liste"))); });
    QCOMPARE(failure.kind, QStringLiteral("TKDBToTextError"));
    QCOMPARE(failure.message, message);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestKdb2Text::failedFileLeavesTargetsIntact_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << "missing/liste"
                                    << "Ne peut créer le fichier %1/missing/liste.txt";
    QTest::newRow("path through a regular file") << "plain.txt/liste"
                                                 << "Ne peut créer le fichier %1/plain.txt/liste.txt";
    // The side file fails while the records are walked: neither file is replaced.
    QTest::newRow("side file is a folder") << "folder"
                                           << "Ne peut écrire dans %1/folder.mem : c'est un dossier";
}

void TestKdb2Text::failedFileLeavesTargetsIntact()
{
    QFETCH(QString, target);
    QFETCH(QString, message);
    Export e(QStringLiteral("CREATE TABLE t (s VARCHAR(5), m TEXT); INSERT INTO t VALUES ('a', 'memo')"));
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain.txt")), "old"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("folder.txt")), "old"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.mem")));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const Raised failure = raised([&] { e.component.ExportToFile(dir.filePath(target)); });
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message, QDir::toNativeSeparators(message.replace(QStringLiteral("%1"), dir.path())));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("plain.txt"))), QByteArray("old"));
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("folder.txt"))), QByteArray("old"));
}

// On a disk that fills up, the text file and the side file are both replaced or both
// left as they were, whichever of them finds the disk full, during the walk or when
// the last piece is written.
void TestKdb2Text::fullDiskLeavesBothFiles_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("text file, during the walk")
        << "CREATE TABLE t (s VARCHAR(200), m TEXT);"
           "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 12000)"
           " INSERT INTO t SELECT printf('%0100d', n), 'x' FROM c";
    QTest::newRow("side file, during the walk")
        << "CREATE TABLE t (s VARCHAR(5), b BLOB); INSERT INTO t VALUES ('a', zeroblob(2000000))";
    QTest::newRow("text file, at the end") << kManyRows;
    QTest::newRow("side file, at the end")
        << "CREATE TABLE t (b BLOB); INSERT INTO t VALUES (zeroblob(20000)), (zeroblob(20000)), (zeroblob(20000))";
}

void TestKdb2Text::fullDiskLeavesBothFiles()
{
    QFETCH(QString, setup);
    Export e(setup);
    SmallDisk disk(64 * 1024);
    if (!disk.available())
        QSKIP(qPrintable(disk.error()));
    QVERIFY(writeFile(disk.filePath(QStringLiteral("liste.txt")), "old text"));
    QVERIFY(writeFile(disk.filePath(QStringLiteral("liste.mem")), "old side"));
    const Raised failure = raised([&] { e.component.ExportToFile(disk.filePath(QStringLiteral("liste"))); });
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message, QStringLiteral("Erreur E/S 28"));
    QCOMPARE(disk.entries(), QStringList({ "liste.mem", "liste.txt" }));
    QCOMPARE(fileBytes(disk.filePath(QStringLiteral("liste.txt"))), QByteArray("old text"));
    QCOMPARE(fileBytes(disk.filePath(QStringLiteral("liste.mem"))), QByteArray("old side"));
}

// A rename that fails once both files are complete (here the name is a mount point, or
// on Windows a file another handle holds, which no file may replace) leaves both
// targets as they were, even when the other file was already put in place: the two
// files change together or not at all.
void TestKdb2Text::failedRenameLeavesBothFiles_data()
{
    QTest::addColumn<QString>("mounted");
    QTest::addColumn<bool>("oldText"); // whether liste.txt exists before the export
    QTest::newRow("side file's name a mount point") << "liste.mem" << true;
    QTest::newRow("side file's name a mount point, text file new") << "liste.mem" << false;
    QTest::newRow("text file's name a mount point") << "liste.txt" << true;
}

void TestKdb2Text::failedRenameLeavesBothFiles()
{
    QFETCH(QString, mounted);
    QFETCH(bool, oldText);
    Export e(QStringLiteral("CREATE TABLE t (s VARCHAR(5), b BLOB); INSERT INTO t VALUES ('a', x'0102')"));
    QTemporaryDir dir;
    if (oldText)
        QVERIFY(writeFile(dir.filePath(QStringLiteral("liste.txt")), "old text"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("liste.mem")), "old side"));
    const MountPoint mount(dir.filePath(mounted));
    if (!mount.available())
        QSKIP(qPrintable(mount.error()));
    const auto before = folderSnapshot(dir.path());

    const Raised failure = raised([&] { e.component.ExportToFile(dir.filePath(QStringLiteral("liste"))); });
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
#ifdef Q_OS_WIN
    QCOMPARE(failure.message, QStringLiteral("Erreur E/S 32")); // a file in use
#else
    QCOMPARE(failure.message, QStringLiteral("Erreur E/S 16"));
#endif
    QCOMPARE(folderSnapshot(dir.path()), before);
}

// The side file may not be the text file, under any name: the export is refused
// before anything is created. Names that differ only in case are one file on a file
// system that ignores case; two such files present are two files.
void TestKdb2Text::refusesSideFileThatIsTheTextFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>(
        "setup"); // "" nothing, "hard", "link" liste.mem to liste.txt, "dangling" to liste.csv, "cases"
    QTest::addColumn<QString>("side"); // the side file's name in the message; empty when the export goes ahead
    QTest::newRow("text file named .mem") << "liste.mem"
                                          << ""
                                          << "liste.mem";
    QTest::newRow("extension .MEM, no file there") << "liste.MEM"
                                                   << ""
                                                   << "liste.mem";
    QTest::newRow("side file a hard link to the text file") << "liste"
                                                            << "hard"
                                                            << "liste.mem";
    QTest::newRow("side file a symbolic link to the text file") << "liste"
                                                                << "link"
                                                                << "liste.mem";
    QTest::newRow("side file a link to the text file's name, no file there") << "liste.csv"
                                                                             << "dangling"
                                                                             << "liste.mem";
    QTest::newRow("extension .MEM beside another liste.mem") << "liste.MEM"
                                                             << "cases"
                                                             << "";
}

void TestKdb2Text::refusesSideFileThatIsTheTextFile()
{
    QFETCH(QString, target);
    QFETCH(QString, setup);
    QFETCH(QString, side);
    Export e(QStringLiteral("CREATE TABLE t (s VARCHAR(5), m TEXT); INSERT INTO t VALUES ('a', 'memo')"));
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("liste.txt"));
    const QString sideFile = dir.filePath(QStringLiteral("liste.mem"));
#ifdef Q_OS_WIN
    if (setup == u"link" || setup == u"dangling")
        QSKIP("QFile::link makes a shortcut on Windows, not a symbolic link");
    if (setup == u"cases")
        QSKIP("Windows holds no two names that differ in case only");
#endif
    if (setup == u"hard" || setup == u"link")
        QVERIFY(writeFile(text, "old text"));
    if (setup == u"hard")
        QVERIFY(hardLink(text, sideFile));
    else if (setup == u"link")
        QVERIFY(QFile::link(text, sideFile));
    else if (setup == u"dangling")
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("liste.csv")), sideFile));
    else if (setup == u"cases")
        QVERIFY(writeFile(dir.filePath(QStringLiteral("liste.MEM")), "old text") && writeFile(sideFile, "old side"));
    const auto before = folderSnapshot(dir.path());

    const Raised failure = raised([&] { e.component.ExportToFile(dir.filePath(target)); });
    if (side.isEmpty()) {
        QCOMPARE(failure.message, QString());
        QCOMPARE(fileBytes(dir.filePath(target)), QByteArray("\"a\"\t\"4\"\r\n"));
        QCOMPARE(fileBytes(sideFile), QByteArray("memo"));
        return;
    }
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message,
        QStringLiteral("Ne peut exporter dans %1 : le fichier annexe %2 désigne le même fichier")
            .arg(QDir::toNativeSeparators(textFileName(dir.filePath(target))),
                QDir::toNativeSeparators(dir.filePath(side))));
    QCOMPARE(folderSnapshot(dir.path()), before);
}

// Neither file of the export may be a file of the open database, under any name.
void TestKdb2Text::refusesDatabaseFiles_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("sideLink"); // liste.mem is made a symbolic link to it, when set
    QTest::addColumn<QString>("refused"); // the name in the message
    QTest::newRow("text file the database") << "test.sqlite"
                                            << ""
                                            << "test.sqlite";
    QTest::newRow("text file its write-ahead log, not created yet") << "test.sqlite-wal"
                                                                    << ""
                                                                    << "test.sqlite-wal";
    QTest::newRow("side file a link to the database") << "liste"
                                                      << "test.sqlite"
                                                      << "liste.mem";
    QTest::newRow("side file a link to its journal, not created yet") << "liste"
                                                                      << "test.sqlite-journal"
                                                                      << "liste.mem";
}

void TestKdb2Text::refusesDatabaseFiles()
{
    QFETCH(QString, target);
    QFETCH(QString, sideLink);
    QFETCH(QString, refused);
    Export e(QStringLiteral("CREATE TABLE t (s VARCHAR(5), m TEXT); INSERT INTO t VALUES ('a', 'memo')"));
    const QDir folder(e.db.folder());
#ifdef Q_OS_WIN
    if (!sideLink.isEmpty())
        QSKIP("QFile::link makes a shortcut on Windows, not a symbolic link");
#endif
    if (!sideLink.isEmpty())
        QVERIFY(QFile::link(folder.filePath(sideLink), folder.filePath(QStringLiteral("liste.mem"))));
    const auto before = folderSnapshot(folder.path());
    const Raised failure = raised([&] { e.component.ExportToFile(folder.filePath(target)); });
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message,
        QStringLiteral("Ne peut écrire dans %1 : c'est un fichier de la base de données ouverte")
            .arg(QDir::toNativeSeparators(folder.filePath(refused))));
    QCOMPARE(folderSnapshot(folder.path()), before);
}

void TestKdb2Text::replacedFilesKeepOwnerAndMode()
{
#ifdef Q_OS_WIN
    QSKIP("owners and permission bits are a Unix matter");
#endif
    if (!mayGiveFilesAway())
        QSKIP("giving files to another user needs root");
    Export e(QStringLiteral("CREATE TABLE t (s VARCHAR(5), m TEXT); INSERT INTO t VALUES ('a', 'memo')"));
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("liste.txt"));
    const QString side = dir.filePath(QStringLiteral("liste.mem"));
    const FileOwner textOwner { 1234, 1235, 0640 };
    const FileOwner sideOwner { 4321, 4322, 0400 };
    QVERIFY(writeFile(text, "old text") && setOwner(text, textOwner));
    QVERIFY(writeFile(side, "old side") && setOwner(side, sideOwner));
    e.component.ExportToFile(dir.filePath(QStringLiteral("liste")));
    QCOMPARE(fileBytes(side), QByteArray("memo"));
    QCOMPARE(ownerOf(text), textOwner);
    QCOMPARE(ownerOf(side), sideOwner);
}

void TestKdb2Text::failingDeviceReportsError()
{
    Export e(kManyRows);
    FailingDevice text(1000);
    QBuffer side;
    side.open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(EInOutError, e.component.exportTo(text, side));
    FailingDevice fullSide(10);
    QBuffer fullText;
    fullText.open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(EInOutError, e.component.exportTo(fullText, fullSide));
}

void TestKdb2Text::datasetClearsWhenDestroyed()
{
    TKDatasetToText component;
    auto* query = new TQuery;
    component.setDataset(query);
    delete query;
    QCOMPARE(component.dataset(), nullptr);
    QCOMPARE(component.delimiter(), '\t');
}

// Contents are written in place into the side output, which writes out a piece of
// about a mebibyte at a time: every count must still be the size of its contents.
void TestKdb2Text::contentsAcrossPieces_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("memoSize");
    QTest::addColumn<int>("blobSize");
    QTest::newRow("cells smaller than a piece") << 20 << 300000 << 250000;
    QTest::newRow("cells larger than a piece") << 3 << 1500000 << 1200000;
}

void TestKdb2Text::contentsAcrossPieces()
{
    QFETCH(int, rows);
    QFETCH(int, memoSize);
    QFETCH(int, blobSize);
    Export e(QStringLiteral("CREATE TABLE t (s VARCHAR(20), m TEXT, b BLOB);"
                            "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < ")
        + QString::number(rows) + QStringLiteral(") INSERT INTO t SELECT 'a\"' || n, printf('%0")
        + QString::number(memoSize) + QStringLiteral("d', n), zeroblob(") + QString::number(blobSize)
        + QStringLiteral(" + n) FROM c"));
    e.component.setDelimiter(';');
    QByteArray expectedText;
    QByteArray expectedSide;
    for (int n = 1; n <= rows; ++n) {
        expectedText += "\"a\"\"" + QByteArray::number(n) + "\";\"" + QByteArray::number(memoSize) + "\";\""
            + QByteArray::number(blobSize + n) + "\"\r\n";
        expectedSide += QByteArray::number(n).rightJustified(memoSize, '0') + QByteArray(blobSize + n, '\0');
    }
    const auto [text, side] = textFiles(e.component);
    QCOMPARE(text, expectedText);
    QVERIFY(side == expectedSide);
}

void TestKdb2Text::stoppedExportLeavesTargets_data()
{
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<bool>("targetsExist");
    QTest::newRow("before the first record, new files") << 0 << false;
    QTest::newRow("half-way, new files") << 1500 << false;
    QTest::newRow("half-way, existing files") << 1500 << true;
    QTest::newRow("at the last record, existing files") << 2999 << true;
}

void TestKdb2Text::stoppedExportLeavesTargets()
{
    QFETCH(int, stopAt);
    QFETCH(bool, targetsExist);
    Export e(kManyRows);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("liste.txt"));
    if (targetsExist) {
        QVERIFY(writeFile(target, "ancien texte"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("liste.mem")), "ancien annexe"));
    }
    const auto before = folderSnapshot(dir.path());
    QList<qsizetype> seen;
    e.component.setOnProgress([&](qsizetype done, qsizetype total) {
        if (total != 3000)
            return false;
        seen << done;
        return done < stopAt;
    });
    bool written = true;
    QCOMPARE(raised([&] { written = e.component.ExportToFile(target); }).message, QString());
    QVERIFY(!written);
    // Told every record in turn up to the stop; no file created or changed, no
    // temporary file left.
    QCOMPARE(seen.size(), stopAt + 1);
    for (int i = 0; i <= stopAt; ++i)
        QCOMPARE(seen[i], qsizetype(i));
    QCOMPARE(folderSnapshot(dir.path()), before);
}

void TestKdb2Text::progressMovingCursorWritesEveryRecordOnce()
{
    // A progress callback lets events through: a click on the grid may move the shared
    // cursor, which changes nothing of what is written.
    Export e(kManyRows);
    const auto expected = textFiles(e.component);
    e.component.setOnProgress([&](qsizetype done, qsizetype) {
        e.query.moveTo(done % 2 ? 0 : 2999);
        return true;
    });
    QCOMPARE(textFiles(e.component), expected);
    QVERIFY(e.query.eof());
}

QTEST_MAIN(TestKdb2Text)
#include "tst_kdb2text.moc"
