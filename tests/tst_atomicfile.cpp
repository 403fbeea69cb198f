#include "FileFailures.h"
#include "FileKinds.h"
#include "FileState.h"
#include "Golden.h"
#include "QueryFixture.h"
#include "Raised.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/ClipBoard.h"
#include "export/kdb2text.h"
#include "export/kds2html.h"
#include "export/kds2prn.h"
#include "output/printing/QtPrinter.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QTest>
#include <QToolButton>
#include <optional>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

QString message(const QString& path)
{
    return QStringLiteral("Ne peut écrire dans %1 : c'est un fichier de la base de données ouverte")
        .arg(QDir::toNativeSeparators(path));
}

// What a write of bytes to target raised.
Raised writeAtomically(const QString& target, const QByteArray& bytes, AtomicFile::StallWait wait = {})
{
    return raised([&] {
        AtomicFile file(target);
        file.setStallWait(std::move(wait));
        file.write(bytes);
        file.commit();
    });
}

// The messages the capture editor's save of one line to target shows.
QStringList saveCapture(const QString& target)
{
    ScriptedDialogs dialogs;
    TFicheClip editor;
    editor.AppendLine(QStringLiteral("capture"));
    dialogs.saveAnswers << Dialogs::SaveFileResult { target, 1 };
    QTest::mouseClick(editor.ToolButtonSauver, Qt::LeftButton);
    return dialogs.messageTexts();
}

// What printing data's listing to the file target raised, and whether the printer
// was still printing after it.
std::pair<Raised, bool> printListing(TDataSet& data, const QString& target)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(target);
    QtPrinter device(printer);
    TKDatasetToPrinter listing;
    listing.setDataSet(&data);
    listing.setPrinter(&device);
    const Raised failure = raised([&] { listing.Print(); });
    return { failure, device.printing() };
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
    void targetsThatAreNotFiles_data();
    void targetsThatAreNotFiles();
    void everyWriterWritesPipesInPlace_data();
    void everyWriterWritesPipesInPlace();
    void linksInSharedFolders_data();
    void linksInSharedFolders();
    void namesThatFillTheFolderEntry_data();
    void namesThatFillTheFolderEntry();
    void heldTargetLeavesEveryFile_data();
    void heldTargetLeavesEveryFile();
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
#ifdef Q_OS_WIN
    QSKIP("owners and permission bits are a Unix matter");
#endif
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
#ifdef Q_OS_WIN
    const bool caseless = true; // Windows names the same file in either case
#else
    const bool caseless = false;
#endif
    QTest::newRow("letters of another case, file present") << "TEST.sqlite"
                                                           << "" << caseless;
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
#ifdef Q_OS_WIN
    if (!link.isEmpty() && !link.startsWith(u"hard:"))
        QSKIP("QFile::link makes a shortcut on Windows, not a symbolic link");
#endif
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
        QCOMPARE(saveCapture(f.db.path()), QStringList { message(f.db.path()) + u'.' });
    } else {
        const auto [failure, printing] = printListing(f.query, f.db.path());
        QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
        QCOMPARE(failure.message, message(f.db.path()));
        QVERIFY(!printing);
    }
    QCOMPARE(folderSnapshot(f.db.folder()), before);
}

// A target that is not a regular file is never renamed over: a pipe or a device is
// written where it is, a pipe without a reader is refused at once rather than
// waited for, a folder or a socket is refused. Each stays what it was, and no
// temporary file is left beside it.
void TestAtomicFile::targetsThatAreNotFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error"); // %1: the target's name; empty when written
    QTest::newRow("a named pipe that a program reads") << "reading pipe"
                                                       << "";
    QTest::newRow("a named pipe whose reader leaves") << "leaving pipe"
                                                      << "Erreur E/S 32";
    // Its reader stops taking bytes: the write waits in slices, asking whether to go on.
    QTest::newRow("a named pipe whose reader stops, then comes back") << "resumed pipe"
                                                                      << "";
    QTest::newRow("a named pipe whose reader stops for good, the user stops")
        << "stopping pipe"
        << "Écriture dans %1 interrompue : le programme qui lit ce tube ne prenait plus les données, "
           "il n'en a reçu qu'une partie";
    QTest::newRow("a named pipe that no program reads") << "pipe"
                                                        << "Ne peut écrire dans %1 : aucun programme ne lit ce tube";
    QTest::newRow("a character device") << "device"
                                        << "";
    QTest::newRow("a folder") << "folder"
                              << "Ne peut écrire dans %1 : c'est un dossier";
    QTest::newRow("a socket") << "socket"
                              << "Ne peut écrire dans %1 : c'est une socket, pas un fichier";
}

void TestAtomicFile::targetsThatAreNotFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, error);
#ifdef Q_OS_WIN
    if (kind != u"folder")
        QSKIP("named pipes, devices and sockets in a folder are a Unix matter");
#endif
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("cible"));
    std::optional<NamedPipe> pipe;
    if (kind.endsWith(u"pipe")) {
        pipe.emplace(target,
            kind == u"reading pipe"       ? NamedPipe::Reader::Whole
                : kind == u"leaving pipe" ? NamedPipe::Reader::LeavesEarly
                : kind == u"pipe"         ? NamedPipe::Reader::None
                                          : NamedPipe::Reader::Stops);
        QVERIFY(pipe->available());
    }
    if (kind == u"device" && !makeNullDevice(target))
        QSKIP("making a device needs root");
    if (kind == u"folder")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("cible")));
    if (kind == u"socket")
        QVERIFY(makeSocket(target));
    const QString before = fileKind(target);
    QVERIFY(before != u"none");
    // More than a pipe holds: the writer waits for its reader.
    const QByteArray bytes = QByteArray("<tr><td>ligne</td></tr>\r\n").repeated(20000);

    // A reader that stopped is waited for three slices, then comes back or is left.
    const bool stops = kind == u"resumed pipe" || kind == u"stopping pipe";
    int waits = 0;
    const Raised failure = writeAtomically(target, bytes, [&] {
        if (!stops || ++waits < 3)
            return true;
        if (kind == u"resumed pipe")
            pipe->resume();
        return kind == u"resumed pipe";
    });
    QCOMPARE(failure.message, QString(error).replace(QStringLiteral("%1"), QDir::toNativeSeparators(target)));
    QCOMPARE(fileKind(target), before);
    QVERIFY(stops ? waits >= 3 : waits == 0);
    if (kind == u"reading pipe" || kind == u"resumed pipe")
        QCOMPARE(pipe->received(), bytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("cible") });
}

// The exports, the capture editor's save and printing to a file all write a pipe
// where it is, and report no error.
void TestAtomicFile::everyWriterWritesPipesInPlace_data()
{
    QTest::addColumn<QString>("writer");
    QTest::newRow("html export") << "html";
    QTest::newRow("text export's side file") << "side";
    QTest::newRow("capture editor's save") << "save";
    QTest::newRow("printing to a PDF file") << "print";
}

void TestAtomicFile::everyWriterWritesPipesInPlace()
{
    QFETCH(QString, writer);
#ifdef Q_OS_WIN
    QSKIP("named pipes in a folder are a Unix matter");
#endif
    QueryFixture f(QStringLiteral("CREATE TABLE t (s VARCHAR(5), b BLOB); INSERT INTO t VALUES ('a', x'0102')"));
    QTemporaryDir dir;
    const QString pipeName = dir.filePath(writer == u"side" ? QStringLiteral("liste.mem") : QStringLiteral("tube"));
    NamedPipe pipe(pipeName, NamedPipe::Reader::Whole);
    QVERIFY(pipe.available());
    QByteArray expected;
    Raised failure;
    if (writer == u"html") {
        TKDataSetToHTML html;
        html.setDataSet(&f.query);
        QVERIFY(html.ExportToFile(dir.filePath(QStringLiteral("fichier.htm"))));
        expected = fileBytes(dir.filePath(QStringLiteral("fichier.htm")));
        failure = raised([&] { html.ExportToFile(pipeName); });
    } else if (writer == u"side") {
        TKDatasetToText text;
        text.setDataset(&f.query);
        expected = "\x01\x02";
        failure = raised([&] { text.ExportToFile(dir.filePath(QStringLiteral("liste"))); });
        QCOMPARE(fileKind(dir.filePath(QStringLiteral("liste.txt"))), QStringLiteral("file"));
    } else if (writer == u"save") {
        QCOMPARE(saveCapture(pipeName), QStringList());
        expected = "capture\r\n";
    } else {
        failure = printListing(f.query, pipeName).first;
    }
    QCOMPARE(failure.message, QString());
    QCOMPARE(fileKind(pipeName), QStringLiteral("pipe"));
    const QByteArray received = pipe.received();
    if (writer == u"print")
        QVERIFY(received.startsWith("%PDF") && received.trimmed().endsWith("%%EOF"));
    else
        QCOMPARE(received, expected);
}

// Another user's symbolic link in a shared folder (sticky and writable by others, as
// /tmp) is not followed: it would send the write to any file the user may write.
// Links of the user or of the folder's owner, and links in other folders, are.
void TestAtomicFile::linksInSharedFolders_data()
{
    QTest::addColumn<uint>("linkOwner");
    QTest::addColumn<uint>("folderOwner");
    QTest::addColumn<uint>("folderMode");
    QTest::addColumn<QString>("linked"); // "file", "missing file" or "folder"
    QTest::addColumn<bool>("followed");
    QTest::newRow("another user's link in a shared folder") << 65534u << 0u << 01777u << "file" << false;
    QTest::newRow("another user's dangling link in a shared folder")
        << 65534u << 0u << 01777u << "missing file" << false;
    QTest::newRow("another user's link to a folder, in a shared folder") << 65534u << 0u << 01777u << "folder" << false;
    QTest::newRow("the user's own link in a shared folder") << 0u << 0u << 01777u << "file" << true;
    QTest::newRow("the user's own link to a folder, in a shared folder") << 0u << 0u << 01777u << "folder" << true;
    QTest::newRow("the folder owner's link in a shared folder") << 65534u << 65534u << 01777u << "file" << true;
    QTest::newRow("another user's link, folder writable by all but not sticky")
        << 65534u << 0u << 0777u << "file" << true;
    QTest::newRow("another user's link, sticky folder only its owner writes")
        << 65534u << 0u << 01755u << "file" << true;
}

void TestAtomicFile::linksInSharedFolders()
{
#ifdef Q_OS_WIN
    QSKIP("symbolic links of other users are a Unix matter");
#else
    QFETCH(uint, linkOwner);
    QFETCH(uint, folderOwner);
    QFETCH(uint, folderMode);
    QFETCH(QString, linked);
    QFETCH(bool, followed);
    const bool dangling = linked == u"missing file";
    if (!mayGiveFilesAway())
        QSKIP("giving files to another user needs root");
    QTemporaryDir dir;
    const QDir root(dir.path());
    QVERIFY(root.mkdir(QStringLiteral("partage")) && root.mkdir(QStringLiteral("prive")));
    const QString shared = root.filePath(QStringLiteral("partage"));
    const QString victim = root.filePath(QStringLiteral("prive/secret.txt"));
    if (!dangling) {
        QVERIFY(writeFile(victim, "secret"));
        QVERIFY(setOwner(victim, { 0, 0, 0600 }));
    }
    const QString link
        = QDir(shared).filePath(linked == u"folder" ? QStringLiteral("dossier") : QStringLiteral("export.htm"));
    const QString target = linked == u"folder" ? QDir(link).filePath(QStringLiteral("secret.txt")) : link;
    QVERIFY(QFile::link(linked == u"folder" ? QFileInfo(victim).path() : victim, link));
    QCOMPARE(::lchown(QFile::encodeName(link).constData(), linkOwner, linkOwner), 0);
    QVERIFY(setOwner(shared, { folderOwner, folderOwner, folderMode }));
    const auto before = folderSnapshot(shared);

    const Raised failure = writeAtomically(target, "<html>");
    QCOMPARE(folderSnapshot(shared), before);
    QCOMPARE(fileKind(link), QStringLiteral("link"));
    if (followed) {
        QCOMPARE(failure.message, QString());
        QCOMPARE(fileBytes(victim), QByteArray("<html>"));
        return;
    }
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message,
        QStringLiteral(
            "Ne peut écrire dans %1 : c'est un lien symbolique d'un autre utilisateur dans un dossier partagé")
            .arg(target));
    QCOMPARE(fileKind(victim), dangling ? QStringLiteral("none") : QStringLiteral("file"));
    if (!dangling)
        QCOMPARE(fileBytes(victim), QByteArray("secret"));
#endif
}

// A name as long as a folder entry takes (255 bytes on Unix, 255 UTF-16 units on
// Windows) leaves no room for the new file's name beside it: that one is cut short,
// not refused.
void TestAtomicFile::namesThatFillTheFolderEntry_data()
{
    QTest::addColumn<bool>("existing");
    QTest::newRow("new file") << false;
    QTest::newRow("file already there") << true;
}

void TestAtomicFile::namesThatFillTheFolderEntry()
{
    QFETCH(bool, existing);
    QTemporaryDir dir;
#ifdef Q_OS_WIN
    // 250 letters, then "a.txt" (one byte each, for Wine's Unix folders too).
    const QString target = dir.filePath(QString(250, u'e') + QStringLiteral("a.txt"));
    QCOMPARE(QFileInfo(target).fileName().size(), 255);
#else
    // 125 two-byte letters, then "a.txt".
    const QString target = dir.filePath(QString(125, u'é') + QStringLiteral("a.txt"));
    QCOMPARE(QFile::encodeName(QFileInfo(target).fileName()).size(), 255);
#endif
    if (existing)
        QVERIFY(writeFile(target, "ancien"));
    AtomicFile file(target);
    file.write("nouveau");
    file.commit();
    QCOMPARE(fileBytes(target), QByteArray("nouveau"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

QTEST_MAIN(TestAtomicFile)
// Files committed together where the last target may not be replaced (a mount point
// on Linux, a file another program holds open on Windows): every target stays as it
// was, the ones put in place before it included, and no new file is left beside them.
void TestAtomicFile::heldTargetLeavesEveryFile_data()
{
    QTest::addColumn<QStringList>("names"); // the files committed together; "c" is held
    QTest::addColumn<QStringList>("existing"); // the targets before the commit
    QTest::newRow("held file alone") << QStringList { "c" } << QStringList { "c" };
    QTest::newRow("after a new file") << QStringList { "a", "c" } << QStringList { "c" };
    QTest::newRow("after a replaced file") << QStringList { "a", "c" } << QStringList { "a", "c" };
    QTest::newRow("after a new and a replaced file") << QStringList { "a", "b", "c" } << QStringList { "b", "c" };
}

void TestAtomicFile::heldTargetLeavesEveryFile()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, existing);
    QTemporaryDir dir;
    for (const QString& name : existing)
        QVERIFY(writeFile(dir.filePath(name), "old " + name.toLatin1()));
    const MountPoint held(dir.filePath(QStringLiteral("c")));
    if (!held.available())
        QSKIP(qPrintable(held.error()));
    const auto before = folderSnapshot(dir.path());
    const Raised failure = raised([&] {
        std::vector<std::unique_ptr<AtomicFile>> files;
        std::vector<AtomicFile*> pointers;
        for (const QString& name : names) {
            files.push_back(std::make_unique<AtomicFile>(dir.filePath(name)));
            files.back()->write("new " + name.toLatin1());
            pointers.push_back(files.back().get());
        }
        AtomicFile::commitTogether(pointers);
    });
#ifdef Q_OS_WIN
    QCOMPARE(failure.message, QStringLiteral("Erreur E/S 32")); // a file in use
#else
    QCOMPARE(failure.message, QStringLiteral("Erreur E/S 16"));
#endif
    QCOMPARE(folderSnapshot(dir.path()), before);
}

#include "tst_atomicfile.moc"
