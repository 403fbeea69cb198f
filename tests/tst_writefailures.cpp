#include "FileFailures.h"
#include "FileState.h"
#include "Golden.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/ClipBoard.h"
#include "app/SQL.h"
#include "data/Query.h"
#include "data/Table.h"
#include "export/kds2html.h"

#include <QComboBox>
#include <QDir>
#include <QPrinter>
#include <QTest>
#include <QToolButton>
#include <memory>

// Files written by the windows' own commands (the query window's save and print, the
// capture editor's save) when the disk fills up or the target folder goes away while
// they are written: the user reads what went wrong, and every file that was there,
// like the remembered list, stays as it was.
class TestWriteFailures : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup();

    void fullDiskKeepsEveryFile_data();
    void fullDiskKeepsEveryFile();
    void folderGoneDuringExport_data();
    void folderGoneDuringExport();

private:
    void open(const QString& setup);
    // Runs a command of the windows that writes target: "html", "text" (the query
    // window's save with that filter entry), "pdf" (its print command to a PDF file)
    // or "capture" (the capture editor's save).
    void write(const QString& command, const QString& target);
    QVariant storedList() const;

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TFicheClip> m_clip;
    std::unique_ptr<TFicheSQL> m_window;
};

namespace
{

// Rows enough to fill a 64 KiB disk in every format, the PDF listing included.
const QString kManyRows
    = QStringLiteral("CREATE TABLE t (NOM VARCHAR(60), N INTEGER);"
                     "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 4000)"
                     " INSERT INTO t SELECT printf('ligne %05d assez longue pour remplir le disque', x), x FROM c");

// A short text but a side file far larger than the disk.
const QString kLargeBlob = QStringLiteral(
    "CREATE TABLE t (NOM VARCHAR(10), DOC BLOB); INSERT INTO t VALUES ('a', zeroblob(300000)), ('b', x'00')");

const QString kFewRows = QStringLiteral("CREATE TABLE t (NOM VARCHAR(10), DOC BLOB);"
                                        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 20)"
                                        " INSERT INTO t SELECT 'ligne ' || x, x'41' FROM c");

// The same rows without blobs: no side file.
const QString kFewTexts = QStringLiteral("CREATE TABLE t (NOM VARCHAR(10));"
                                         "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 20)"
                                         " INSERT INTO t SELECT 'ligne ' || x FROM c");

// The files a command writes over, for each command.
QStringList targetsOf(const QString& command)
{
    if (command == u"text")
        return { QStringLiteral("liste.txt"), QStringLiteral("liste.mem") };
    if (command == u"html")
        return { QStringLiteral("liste.htm") };
    if (command == u"pdf")
        return { QStringLiteral("liste.pdf") };
    return { QStringLiteral("captures.txt") };
}

void writeOldFiles(const QString& folder, const QString& command)
{
    for (const QString& name : targetsOf(command))
        QVERIFY(writeFile(QDir(folder).filePath(name), "ancien " + name.toUtf8()));
}

} // namespace

void TestWriteFailures::open(const QString& setup)
{
    m_db = std::make_unique<TestDatabase>();
    m_db->exec(QStringLiteral("UPDATE ListBase SET TTTYPES = 'SELECT * FROM t' || char(13, 10);") + setup);
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_clip = std::make_unique<TFicheClip>();
    FicheClip = m_clip.get();
    m_window = std::make_unique<TFicheSQL>();
    m_window->ComboBoxSQL->setEditText(QStringLiteral("SELECT * FROM t"));
    m_window->ToolButtonResultClick(nullptr);
}

void TestWriteFailures::cleanup()
{
    m_window.reset();
    FicheClip = nullptr;
    m_clip.reset();
    m_dialogs.reset();
    m_db.reset();
}

QVariant TestWriteFailures::storedList() const
{
    return m_db->value(QStringLiteral("SELECT TTTYPES || '|' || POLICE5 FROM ListBase"));
}

void TestWriteFailures::write(const QString& command, const QString& target)
{
    if (command == u"pdf") {
        m_dialogs->printAnswers << [target](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(target);
            return true;
        };
        QTest::mouseClick(m_window->ToolButtonImprimer, Qt::LeftButton);
    } else if (command == u"capture") {
        m_dialogs->saveAnswers << Dialogs::SaveFileResult { target, 1 };
        QTest::mouseClick(m_clip->ToolButtonSauver, Qt::LeftButton);
    } else {
        m_dialogs->saveAnswers << Dialogs::SaveFileResult { target, command == u"html" ? 1 : 2 };
        QTest::mouseClick(m_window->ToolButtonEnregistrer, Qt::LeftButton);
    }
}

void TestWriteFailures::fullDiskKeepsEveryFile_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("setup");
    QTest::newRow("text file") << "text" << kManyRows;
    QTest::newRow("side file") << "text" << kLargeBlob;
    QTest::newRow("html file") << "html" << kManyRows;
    QTest::newRow("pdf listing") << "pdf" << kManyRows;
    QTest::newRow("capture save") << "capture" << kFewRows;
}

void TestWriteFailures::fullDiskKeepsEveryFile()
{
    QFETCH(QString, command);
    QFETCH(QString, setup);
    open(setup);
    if (command == u"capture")
        m_clip->AppendLine(QStringLiteral("capture ").repeated(25000));
    SmallDisk disk(64 * 1024);
    if (!disk.available())
        QSKIP(qPrintable(disk.error()));
    writeOldFiles(disk.filePath({}), command);
    const auto before = folderSnapshot(disk.filePath({}));
    const QVariant list = storedList();

    write(command, disk.filePath(targetsOf(command).constFirst()));

    QCOMPARE(m_dialogs->messageTexts(), QStringList { QStringLiteral("Erreur E/S 28.") });
    QCOMPARE(folderSnapshot(disk.filePath({})), before);
    QCOMPARE(storedList(), list);
    QCOMPARE(m_window->TableSQL->state(), TDataSet::dsBrowse);
}

// Another program moves or deletes the target's folder while the export runs (here
// from a cell callback, or as the walk reaches a row): nothing is written anywhere
// else, and the folder, where it went, holds what it held.
void TestWriteFailures::folderGoneDuringExport_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("how"); // "callback" or "walk"
    QTest::addColumn<bool>("deleted"); // moved otherwise
    QTest::addColumn<QString>("message"); // %1: the folder as it was
    const QString renamed = QStringLiteral("Nom de fichier incorrect.");
    const QString sideFile = QStringLiteral("Ne peut créer le fichier %1/liste.mem.");
    QTest::newRow("html, moved from the cell callback") << "html" << kFewRows << "callback" << false << renamed;
    QTest::newRow("html, deleted from the cell callback") << "html" << kFewRows << "callback" << true << renamed;
    QTest::newRow("text, moved during the walk") << "text" << kFewTexts << "walk" << false << renamed;
    QTest::newRow("text, deleted during the walk") << "text" << kFewTexts << "walk" << true << renamed;
    QTest::newRow("side file begun after the move") << "text" << kFewRows << "walk" << false << sideFile;
    QTest::newRow("side file begun after the deletion") << "text" << kFewRows << "walk" << true << sideFile;
    QTest::newRow("pdf, moved during the walk") << "pdf" << kFewRows << "walk" << false << renamed;
    QTest::newRow("pdf, deleted during the walk") << "pdf" << kFewRows << "walk" << true << renamed;
}

void TestWriteFailures::folderGoneDuringExport()
{
    QFETCH(QString, command);
    QFETCH(QString, setup);
    QFETCH(QString, how);
    QFETCH(bool, deleted);
    QFETCH(QString, message);
#ifdef Q_OS_WIN
    QSKIP("Windows moves or deletes no folder that holds an open file");
#endif
    open(setup);
    QTemporaryDir root;
    QDir(root.path()).mkdir(QStringLiteral("dossier"));
    const QString folder = QDir(root.path()).filePath(QStringLiteral("dossier"));
    const QString moved = QDir(root.path()).filePath(QStringLiteral("ailleurs"));
    writeOldFiles(folder, command);
    const auto before = folderSnapshot(folder);

    bool gone = false;
    const auto takeFolderAway = [&] {
        if (gone)
            return;
        gone = true;
        QVERIFY(deleted ? QDir(folder).removeRecursively() : QDir().rename(folder, moved));
    };
    QMetaObject::Connection walk;
    if (how == u"callback") {
        m_window->KDataSetToHTMLSQL->setOnFormatCell([&](QObject*, int row, int, const QString&, QString&, QString&) {
            if (row == 5)
                takeFolderAway();
        });
    } else {
        walk = connect(m_window->QuerySQL, &TDataSet::currentChanged, this, [&] {
            if (m_window->QuerySQL->recNo() == 5)
                takeFolderAway();
        });
    }
    write(command, QDir(folder).filePath(targetsOf(command).constFirst()));
    disconnect(walk);

    QVERIFY(gone);
    QCOMPARE(m_dialogs->messageTexts(),
        QStringList { QDir::toNativeSeparators(message.replace(QStringLiteral("%1"), folder)) });
    QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        deleted ? QStringList() : QStringList { QStringLiteral("ailleurs") });
    if (!deleted)
        QCOMPARE(folderSnapshot(moved), before);
}

QTEST_MAIN(TestWriteFailures)
#include "tst_writefailures.moc"
