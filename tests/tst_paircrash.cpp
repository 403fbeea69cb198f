#include "FileState.h"
#include "Golden.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "platform/AtomicFile.h"
#include "platform/ReplacementRecord.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

// Files put in place together, as the text export's text and side files, or alone:
// a program killed at any step of the replacement leaves them to the next write of
// the first, which makes them all old or all new, with no temporary file left; the
// record that makes it so is never read through a link or from a file not its own.
class TestPairCrash : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void killedReplacementLeavesOldOrNewPair_data();
    void killedReplacementLeavesOldOrNewPair();
    void recordNameHeldByAnotherFile_data();
    void recordNameHeldByAnotherFile();
};

namespace
{

// The folder's files and their bytes.
using Folder = QMap<QString, QByteArray>;

Folder filesOf(const QByteArray& prefix, const QStringList& names)
{
    Folder folder;
    for (const QString& name : names)
        folder.insert(name, prefix + name.toUtf8());
    return folder;
}

QString show(const Folder& folder)
{
    QStringList entries;
    for (auto i = folder.begin(); i != folder.end(); ++i)
        entries << i.key() + QStringLiteral(": ") + QString::fromUtf8(i.value());
    return entries.join(QStringLiteral(", "));
}

} // namespace

void TestPairCrash::killedReplacementLeavesOldOrNewPair_data()
{
    QTest::addColumn<QStringList>("names"); // the files written together, in order
    QTest::addColumn<QStringList>("there"); // those there before
    const QStringList pair { QStringLiteral("liste.txt"), QStringLiteral("liste.mem") };
    const QStringList single { QStringLiteral("liste.htm") };
    QTest::newRow("text and side file, both there") << pair << pair;
    QTest::newRow("text and side file, neither there") << pair << QStringList();
    QTest::newRow("text file there, side file new") << pair << pair.mid(0, 1);
    QTest::newRow("a single file there") << single << single;
    QTest::newRow("a single new file") << single << QStringList();
}

void TestPairCrash::killedReplacementLeavesOldOrNewPair()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, there);
#ifdef Q_OS_WIN
    QSKIP("kills the child with SIGKILL");
#else
    const Folder before = filesOf("ancien ", there);
    const Folder after = filesOf("nouveau ", names);
    int killed = 0;
    int renewed = 0;
    for (int step = 1;; ++step) {
        QTemporaryDir dir;
        for (auto i = before.begin(); i != before.end(); ++i)
            QVERIFY(writeFile(dir.filePath(i.key()), i.value()));
        QStringList arguments { QString::number(step) };
        for (const QString& name : names)
            arguments << dir.filePath(name);
        QProcess child;
        child.start(QStringLiteral(PAIRWRITER_EXECUTABLE), arguments);
        QVERIFY(child.waitForFinished(30000));
        if (child.exitStatus() == QProcess::NormalExit) {
            QVERIFY2(child.exitCode() == 0, child.readAllStandardError().constData());
            // Lived to the end: every step before was a kill.
            QCOMPARE(child.readAllStandardOutput(), QByteArray("steps ") + QByteArray::number(killed) + '\n');
            QCOMPARE(folderSnapshot(dir.path()), after);
            break;
        }
        ++killed;
        // The next write of the first file settles them, whether it goes on or not.
        const Raised failure = raised([&] { AtomicFile next(arguments[1]); });
        QCOMPARE(failure.message, QString());
        const Folder now = folderSnapshot(dir.path());
        QVERIFY2(now == before || now == after,
            qPrintable(QStringLiteral("killed at step %1: %2").arg(step).arg(show(now))));
        renewed += now == after;
    }
    qInfo("%d steps, %d of which left the new files", killed, renewed);
    // The record, the names, the renames and the removals of the old files.
    QVERIFY(killed >= 1 + 2 * int(names.size()));
    QVERIFY(renewed > 0 && renewed < killed);
#endif
}

// What holds the record's name when a pair is written: only a record of the user's
// own is read (and one that another program holds is waited for, then refused); a
// link, another user's file or a file that is not a record is refused before
// anything is written, and left as it is.
void TestPairCrash::recordNameHeldByAnotherFile_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("error"); // %1: the text file, %2: the record's name
    const QString foreign = QStringLiteral("Ne peut écrire dans %1 : un fichier étranger porte le nom %2");
    QTest::newRow("a symbolic link to a record") << "link" << foreign;
    QTest::newRow("another user's file") << "other user" << foreign;
    QTest::newRow("a file that is not a record") << "not a record" << foreign;
    QTest::newRow("a record that another program holds")
        << "held"
        << "Ne peut écrire dans %1 : un autre programme remplace ce fichier en ce moment";
}

void TestPairCrash::recordNameHeldByAnotherFile()
{
    QFETCH(QString, holder);
    QFETCH(QString, error);
#ifdef Q_OS_WIN
    QSKIP("the record is kept on Unix; Windows keeps the old files under backup names");
#else
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("liste.txt"));
    const QString side = dir.filePath(QStringLiteral("liste.mem"));
    QVERIFY(writeFile(text, "ancien texte"));
    QVERIFY(writeFile(side, "ancienne annexe"));
    const QString record = QFile::decodeName(ReplacementRecord::recordPath(QFile::encodeName(text)));
    // A record of the user's own, for the files of another folder.
    QTemporaryDir elsewhere;
    QFile other(elsewhere.filePath(QStringLiteral("autre")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    ReplacementRecord held;
    QVERIFY(held.begin(std::vector<ReplacementRecord::File> {
                { int(other.handle()), QFile::encodeName(holder == u"held" ? text : other.fileName()) } })
        == 0);
    const QString made = QFile::decodeName(
        ReplacementRecord::recordPath(QFile::encodeName(holder == u"held" ? text : other.fileName())));
    if (holder == u"link") {
        QVERIFY(QFile::link(made, record));
    } else if (holder == u"other user") {
        QVERIFY(writeFile(record, fileBytes(made)));
        if (::chown(QFile::encodeName(record).constData(), 1234, 1234) != 0)
            QSKIP("giving a file to another user needs root");
    } else if (holder == u"not a record") {
        QVERIFY(writeFile(record, "mes notes\n"));
    }
    const auto files = folderSnapshot(dir.path());
    const Raised failure = raised([&] {
        AtomicFile first(text);
        AtomicFile second(side);
        first.write("nouveau texte");
        second.write("nouvelle annexe");
        AtomicFile* const both[] = { &first, &second };
        AtomicFile::commitTogether(both);
    });
    QCOMPARE(failure.message,
        error.replace(QStringLiteral("%1"), QDir::toNativeSeparators(text))
            .replace(QStringLiteral("%2"), QDir::toNativeSeparators(record)));
    QCOMPARE(folderSnapshot(dir.path()), files);
#endif
}

QTEST_MAIN(TestPairCrash)
#include "tst_paircrash.moc"
