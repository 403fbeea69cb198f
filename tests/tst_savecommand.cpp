#include "FileFailures.h"
#include "Golden.h"
#include "OtherProgram.h"
#include "QueryWindow.h"
#include "data/Query.h"
#include "export/kdb2text.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QToolButton>

// The query window's save command: the delimiter from POLICE5, the save dialog, the
// format chosen by the filter entry, and failures that leave files as they were.
class TestSaveCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup();

    void filterEntryChoosesFormat_data();
    void filterEntryChoosesFormat();
    void dialogRemembersLastUse();
    void cancelWritesNothingButReplacesDelimiter();
    void separatorGivesDelimiter_data();
    void separatorGivesDelimiter();
    void separatorChangedElsewhereGivesDelimiter();
    void closedQueryFails_data();
    void closedQueryFails();
    void unwritableTargetKeepsOldFile_data();
    void unwritableTargetKeepsOldFile();
    void fullDiskKeepsOldFile();

private:
    void open(const QString& separator, bool run = true);
    void save(const QString& fileName, int filterIndex);

    QTemporaryDir m_dir;
    QueryWindow m_q;
};

void TestSaveCommand::open(const QString& separator, bool run)
{
    m_q.createDatabase(QStringLiteral("CREATE TABLE t (NOM VARCHAR(10), N INTEGER);"
                                      "INSERT INTO t VALUES ('a\"b', 1), ('c', 2)"));
    m_q.setSetting(QStringLiteral("POLICE5"), separator);
    m_q.createWindow();
    if (run) {
        m_q.run(QStringLiteral("SELECT * FROM t"));
        m_q.window->QuerySQL->last();
    }
}

void TestSaveCommand::cleanup()
{
    m_q.reset();
}

void TestSaveCommand::save(const QString& fileName, int filterIndex)
{
    m_q.dialogs->saveAnswers << Dialogs::SaveFileResult { fileName, filterIndex };
    QTest::mouseClick(m_q.window->ToolButtonEnregistrer, Qt::LeftButton);
}

void TestSaveCommand::filterEntryChoosesFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("html entry") << "liste.htm" << 1 << "liste.htm" << QByteArray("<");
    QTest::newRow("text entry") << "liste.txt" << 2 << "liste.txt" << QByteArray("\"a\"\"b\";\"1\"\r\n");
    QTest::newRow("text entry adds .txt") << "liste" << 2 << "liste.txt" << QByteArray("\"a\"\"b\"");
    QTest::newRow(".txt typed with html entry") << "liste.txt" << 1 << "liste.txt" << QByteArray("<");
}

void TestSaveCommand::filterEntryChoosesFormat()
{
    QFETCH(QString, name);
    QFETCH(int, entry);
    QFETCH(QString, written);
    QFETCH(QByteArray, start);
    open(QStringLiteral(";"));
    QTemporaryDir dir;
    save(dir.filePath(name), entry);
    QCOMPARE(m_q.dialogs->messageTexts(), QStringList());
    QVERIFY(fileBytes(dir.filePath(written)).startsWith(start));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { written });
    // The grid shows the first row again.
    QCOMPARE(m_q.window->QuerySQL->recNo(), qsizetype(0));
    QVERIFY(!m_q.window->QuerySQL->eof());
    const Dialogs::SaveFile request = m_q.dialogs->callsOf(QStringLiteral("save"))[0].save;
    QCOMPARE(request.title, QStringLiteral("Enregistrer les données de la requête"));
    QCOMPARE(request.filters.size(), 2);
    QCOMPARE(request.defaultSuffix, QStringLiteral("htm"));
    QCOMPARE(request.filterIndex, 1);
}

void TestSaveCommand::dialogRemembersLastUse()
{
    open(QStringLiteral(";"));
    QTemporaryDir dir;
    save(dir.filePath(QStringLiteral("a.txt")), 2);
    save(dir.filePath(QStringLiteral("b.htm")), 1);
    const auto saves = m_q.dialogs->callsOf(QStringLiteral("save"));
    QCOMPARE(saves[1].save.fileName, dir.filePath(QStringLiteral("a.txt")));
    QCOMPARE(saves[1].save.filterIndex, 2);
}

void TestSaveCommand::cancelWritesNothingButReplacesDelimiter()
{
    open(QStringLiteral("|x"));
    QTest::mouseClick(m_q.window->ToolButtonEnregistrer, Qt::LeftButton);
    QCOMPARE(m_q.window->KDatasetToTextSQL->delimiter(), '|');
    QCOMPARE(m_q.window->QuerySQL->recNo(), qsizetype(1));
    QCOMPARE(m_q.dialogs->callsOf(QStringLiteral("save")).size(), 1);
}

void TestSaveCommand::separatorGivesDelimiter_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("several characters: first only") << " - " << QByteArray("\"a\"\"b\" \"1\"\r\n");
    QTest::newRow("empty: zero byte") << "" << QByteArray("\"a\"\"b\"\0\"1\"\r\n", 12);
    QTest::newRow("line break: its CR") << "\r\n" << QByteArray("\"a\"\"b\"\r\"1\"\r\n");
}

void TestSaveCommand::separatorGivesDelimiter()
{
    QFETCH(QString, separator);
    QFETCH(QByteArray, line);
    open(separator);
    QTemporaryDir dir;
    save(dir.filePath(QStringLiteral("x.txt")), 2);
    QVERIFY(fileBytes(dir.filePath(QStringLiteral("x.txt"))).startsWith(line));
}

void TestSaveCommand::separatorChangedElsewhereGivesDelimiter()
{
    open(QStringLiteral(";"));
    QTemporaryDir dir;
    save(dir.filePath(QStringLiteral("x.txt")), 2);
    QCOMPARE(runInOtherProgram(m_q.db->path(), QStringLiteral("UPDATE ListBase SET POLICE5 = '|'")), QString());
    save(dir.filePath(QStringLiteral("y.txt")), 2);
    QVERIFY(fileBytes(dir.filePath(QStringLiteral("y.txt"))).startsWith("\"a\"\"b\"|\"1\"\r\n"));
}

void TestSaveCommand::closedQueryFails_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("message");
    QTest::newRow("html") << 1 << "Ne peut effectuer cette opération sur un ensemble de données fermé.";
    QTest::newRow("text") << 2 << "Dataset is not active.";
}

void TestSaveCommand::closedQueryFails()
{
    QFETCH(int, entry);
    QFETCH(QString, message);
    open(QStringLiteral(";"), false);
    QTemporaryDir dir;
    save(dir.filePath(QStringLiteral("x.txt")), entry);
    QCOMPARE(m_q.dialogs->messageTexts(), QStringList { message });
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void TestSaveCommand::unwritableTargetKeepsOldFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("entry");
    QTest::newRow("missing folder, html") << "absent/x.htm" << 1;
    QTest::newRow("missing folder, text") << "absent/x.txt" << 2;
    QTest::newRow("through a regular file, html") << "old.htm/x.htm" << 1;
    QTest::newRow("through a regular file, text") << "old.htm/x.txt" << 2;
}

void TestSaveCommand::unwritableTargetKeepsOldFile()
{
    QFETCH(QString, target);
    QFETCH(int, entry);
    open(QStringLiteral(";"));
    QTemporaryDir dir;
    QFile old(dir.filePath(QStringLiteral("old.htm")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("ancien");
    old.close();
    save(dir.filePath(target), entry);
    QCOMPARE(m_q.dialogs->messageTexts().size(), 1);
    QVERIFY(!m_q.dialogs->messageTexts()[0].isEmpty());
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("old.htm"))), QByteArray("ancien"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), QStringList { "old.htm" });
    // A failed export does not move the query back to its first row.
    QVERIFY(m_q.window->QuerySQL->eof() || m_q.window->QuerySQL->recNo() == 1);
}

void TestSaveCommand::fullDiskKeepsOldFile()
{
    SmallDisk disk(64 * 1024);
    if (!disk.available())
        QSKIP(qPrintable(disk.error()));
    open(QStringLiteral(";"));
    // Enough rows to overflow the small disk.
    m_q.db->exec(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 20000) "
                                "INSERT INTO t SELECT 'ligne assez longue pour remplir', x FROM c"));
    m_q.window->ToolButtonResultClick(nullptr);
    const QString target = disk.filePath(QStringLiteral("liste.htm"));
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("ancien");
    old.close();
    save(target, 1);
    QCOMPARE(m_q.dialogs->messageTexts().size(), 1);
    QCOMPARE(fileBytes(target), QByteArray("ancien"));
    QCOMPARE(disk.entries(), QStringList { "liste.htm" });
}

QTEST_MAIN(TestSaveCommand)
#include "tst_savecommand.moc"
