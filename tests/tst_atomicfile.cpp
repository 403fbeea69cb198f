#include "AtomicFile.h"
#include "ClipBoard.h"
#include "FileState.h"
#include "Golden.h"
#include "printing/QtPrinter.h"
#include "QueryFixture.h"
#include "Raised.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "kds2prn.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QTest>
#include <QToolButton>

namespace
{

QString message(const QString& path)
{
    return QStringLiteral("Ne peut écrire dans %1 : c'est un fichier de la base de données ouverte")
        .arg(QDir::toNativeSeparators(path));
}

} // namespace

// The atomic file that every file write goes through: what a replaced file keeps,
// and the files it refuses to write.
class TestAtomicFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void replacementKeepsOwnerAndMode_data();
    void replacementKeepsOwnerAndMode();
    void refusesDatabaseFiles_data();
    void refusesDatabaseFiles();
    void everyWriterRefusesTheDatabase_data();
    void everyWriterRefusesTheDatabase();
};

void TestAtomicFile::replacementKeepsOwnerAndMode_data()
{
    QTest::addColumn<uint>("uid");
    QTest::addColumn<uint>("gid");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("another user's file, 640") << 1234u << 1235u << 0640u << false;
    QTest::newRow("read-only for everyone, 440") << 0u << 0u << 0440u << false;
    QTest::newRow("readable by all, 604") << 0u << 0u << 0604u << false;
    QTest::newRow("set-group-ID, another user's, 2750") << 1234u << 1235u << 02750u << false;
    QTest::newRow("through a symbolic link, another user's, 600") << 1234u << 1235u << 0600u << true;
}

void TestAtomicFile::replacementKeepsOwnerAndMode()
{
    QFETCH(uint, uid);
    QFETCH(uint, gid);
    QFETCH(uint, mode);
    QFETCH(bool, throughLink);
    if (!mayGiveFilesAway())
        QSKIP("giving files to another user needs root");
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("liste.txt"));
    const QString target = throughLink ? dir.filePath(QStringLiteral("lien.txt")) : real;
    QVERIFY(writeFile(real, "ancien"));
    if (throughLink)
        QVERIFY(QFile::link(real, target));
    const FileOwner before { uid, gid, mode };
    QVERIFY(setOwner(real, before));

    AtomicFile file(target);
    file.write("nouveau");
    file.commit();
    QCOMPARE(fileBytes(real), QByteArray("nouveau"));
    QCOMPARE(ownerOf(real), before);
    QCOMPARE(QFileInfo(target).isSymbolicLink(), throughLink);
}

// Every spelling of a database file, existing or not yet, is refused before anything
// is created: no temporary file, no journal, the database as it was.
void TestAtomicFile::refusesDatabaseFiles_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("link"); // made a symbolic link to this first, when set
    QTest::addColumn<bool>("refused");
    QTest::newRow("the database file") << "test.sqlite"
                                       << "" << true;
    QTest::newRow("through the parent folder") << "../%1/test.sqlite"
                                               << "" << true;
    QTest::newRow("letters of another case, file present") << "TEST.sqlite"
                                                           << "" << false;
    QTest::newRow("a symbolic link to it") << "lien"
                                           << "test.sqlite" << true;
    QTest::newRow("a hard link to it") << "dur"
                                       << "hard:test.sqlite" << true;
    QTest::newRow("its journal, not created yet") << "test.sqlite-journal"
                                                  << "" << true;
    QTest::newRow("its write-ahead log, not created yet") << "test.sqlite-wal"
                                                          << "" << true;
    QTest::newRow("its write-ahead log, another case") << "test.sqlite-WAL"
                                                       << "" << true;
    QTest::newRow("a dangling link to its write-ahead log") << "lien"
                                                            << "test.sqlite-wal" << true;
    QTest::newRow("an attached database") << "autre.sqlite"
                                          << "" << true;
    QTest::newRow("another file beside it") << "liste.txt"
                                            << "" << false;
}

void TestAtomicFile::refusesDatabaseFiles()
{
    QFETCH(QString, target);
    QFETCH(QString, link);
    QFETCH(bool, refused);
    TestDatabase db;
    const QDir folder(db.folder());
    const QString attach
        = QStringLiteral("ATTACH DATABASE '%1' AS autre;").arg(folder.filePath(QStringLiteral("autre.sqlite")));
    db.exec(attach + QStringLiteral("CREATE TABLE autre.u (n INTEGER)"));
    TQuery query;
    query.setDatabaseName(QStringLiteral("Velorin"));
    query.setSQL(attach + QStringLiteral("SELECT * FROM ListBase"));
    query.open();
    const QString path = folder.filePath(QString(target).replace(QStringLiteral("%1"), folder.dirName()));
    if (link.startsWith(u"hard:"))
        QVERIFY(hardLink(folder.filePath(link.mid(5)), path));
    else if (!link.isEmpty())
        QVERIFY(QFile::link(folder.filePath(link), path));
    const auto before = folderSnapshot(folder.path());

    const Raised failure = raised([&] {
        AtomicFile file(path);
        file.write("<html>");
        file.commit();
    });
    if (!refused) {
        QCOMPARE(failure.message, QString());
        QCOMPARE(fileBytes(path), QByteArray("<html>"));
        return;
    }
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message, message(path));
    QCOMPARE(folderSnapshot(folder.path()), before);
}

// The capture editor's save and printing to a PDF file refuse the database too.
void TestAtomicFile::everyWriterRefusesTheDatabase_data()
{
    QTest::addColumn<QString>("writer");
    QTest::newRow("capture editor's save") << "save";
    QTest::newRow("printing to a PDF file") << "print";
}

void TestAtomicFile::everyWriterRefusesTheDatabase()
{
    QFETCH(QString, writer);
    QueryFixture f(QStringLiteral("CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (1)"));
    const auto before = folderSnapshot(f.db.folder());
    if (writer == u"save") {
        ScriptedDialogs dialogs;
        TFicheClip editor;
        editor.AppendLine(QStringLiteral("capture"));
        dialogs.saveAnswers << Dialogs::SaveFileResult { f.db.path(), 1 };
        QTest::mouseClick(editor.ToolButtonSauver, Qt::LeftButton);
        QCOMPARE(dialogs.messageTexts(), QStringList { message(f.db.path()) + u'.' });
    } else {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFileName(f.db.path());
        QtPrinter device(printer);
        TKDatasetToPrinter listing;
        listing.setDataSet(&f.query);
        listing.setPrinter(&device);
        const Raised failure = raised([&] { listing.Print(); });
        QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
        QCOMPARE(failure.message, message(f.db.path()));
        QVERIFY(!device.printing());
    }
    QCOMPARE(folderSnapshot(f.db.folder()), before);
}

QTEST_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
