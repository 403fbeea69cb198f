#include "FileFailures.h"
#include "FileState.h"
#include "Golden.h"
#include "OtherProgram.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/SQL.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Databases.h"
#include "ui/widgets/DBMemo.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <memory>

// The query window over a database that cannot be written, that another program
// keeps locked, or whose file goes away or is replaced while the window is open:
// every command ends in a message, and nothing is written where it should not be.
class TestDatabaseFailures : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup();

    void readOnlyDatabaseRefusesWrites_data();
    void readOnlyDatabaseRefusesWrites();
    void lockedDatabaseWaitsThenReports_data();
    void lockedDatabaseWaitsThenReports();
    void databaseFileGoneOrReplaced_data();
    void databaseFileGoneOrReplaced();

private:
    void createDatabase();
    void showWindow();
    // Runs statement from the statement box, as the user does.
    void run(const QString& statement);
    // Adds the statement box's text to the list memo with the add button.
    void addToList(const QString& statement);
    QString storedList() const;

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TFicheSQL> m_window;
};

namespace
{

const QString kList = QStringLiteral("S1\r\n");

// Points the test alias at another file.
void pointAliasAt(const QString& file)
{
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Velorin/database"), file);
    ini.sync();
    Databases::closeAll();
}

} // namespace

void TestDatabaseFailures::createDatabase()
{
    m_db = std::make_unique<TestDatabase>();
    m_db->exec(QStringLiteral("UPDATE ListBase SET TTTYPES = '%1';"
                              "CREATE TABLE t (NOM VARCHAR(10)); INSERT INTO t VALUES ('a'), ('b')")
                   .arg(kList));
}

void TestDatabaseFailures::showWindow()
{
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_window = std::make_unique<TFicheSQL>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestDatabaseFailures::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_db.reset();
}

void TestDatabaseFailures::run(const QString& statement)
{
    m_window->ComboBoxSQL->setEditText(statement);
    QTest::mouseClick(m_window->ToolButtonResult, Qt::LeftButton);
}

void TestDatabaseFailures::addToList(const QString& statement)
{
    m_window->ComboBoxSQL->setEditText(statement);
    QTest::mouseClick(m_window->ToolButtonAjout, Qt::LeftButton);
}

QString TestDatabaseFailures::storedList() const
{
    return m_db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString();
}

// The program's own read-only option, and a file that SQLite can only open for
// reading because its folder is on a read-only mount: the list and the statements
// are refused with the same messages, reading goes on, the file stays as it was.
void TestDatabaseFailures::readOnlyDatabaseRefusesWrites_data()
{
    QTest::addColumn<bool>("mount");
    QTest::newRow("readonly alias option") << false;
    QTest::newRow("file on a read-only mount") << true;
}

void TestDatabaseFailures::readOnlyDatabaseRefusesWrites()
{
    QFETCH(bool, mount);
    createDatabase();
    std::optional<SmallDisk> disk;
    QString path = m_db->path();
    if (mount) {
        disk.emplace(1024 * 1024);
        if (!disk->available())
            QSKIP(qPrintable(disk->error()));
        path = disk->filePath(QStringLiteral("lecture.sqlite"));
        QVERIFY(QFile::copy(m_db->path(), path));
        pointAliasAt(path);
        QVERIFY(disk->makeReadOnly());
    } else {
        m_db->setReadOnly(true);
    }
    const QString folder = QFileInfo(path).path();
    const auto before = folderSnapshot(folder);
    showWindow();

    QVERIFY(m_window->DBMemoSQL->isReadOnly());
    addToList(QStringLiteral("S2"));
    run(QStringLiteral("INSERT INTO t VALUES ('c')"));
    run(QStringLiteral("SELECT * FROM t"));
    QCOMPARE(m_dialogs->messageTexts(),
        QStringList({ QStringLiteral("Ne peut modifier un ensemble de données en lecture seule."),
            QStringLiteral("attempt to write a readonly database.") }));
    QCOMPARE(m_window->QuerySQL->recordCount(), qsizetype(2));
    QCOMPARE(m_window->DBMemoSQL->text(), kList);
    // Nothing to save: closing asks nothing.
    QVERIFY(m_window->close());
    QCOMPARE(m_dialogs->calls.size(), 2);
    m_window.reset();
    Databases::closeAll();
    QCOMPARE(folderSnapshot(folder), before);
}

// Another program holds a transaction: the window waits five seconds for it, then
// shows the engine's message. The edit is kept, and goes in once the lock is gone.
void TestDatabaseFailures::lockedDatabaseWaitsThenReports_data()
{
    QTest::addColumn<QString>("begin");
    QTest::addColumn<bool>("list"); // the list's post; a statement otherwise
    QTest::newRow("write transaction, list post") << "BEGIN IMMEDIATE" << true;
    QTest::newRow("exclusive transaction, list post") << "BEGIN EXCLUSIVE" << true;
    QTest::newRow("write transaction, statement") << "BEGIN IMMEDIATE" << false;
}

void TestDatabaseFailures::lockedDatabaseWaitsThenReports()
{
    QFETCH(QString, begin);
    QFETCH(bool, list);
    createDatabase();
    showWindow();
    if (list)
        addToList(QStringLiteral("S2"));
    HeldTransaction other(m_db->path(), begin);
    QCOMPARE(other.error(), QString());

    QElapsedTimer waited;
    waited.start();
    if (list) {
        m_dialogs->messageAnswers << 0; // save the changes
        QVERIFY(!m_window->close());
    } else {
        run(QStringLiteral("INSERT INTO t VALUES ('c')"));
    }
    const qint64 elapsed = waited.elapsed();
    // The lock's holder is named: most often a transaction left open on another workstation.
    QCOMPARE(m_dialogs->messageTexts().constLast(),
        QStringLiteral("database is locked\nUn autre poste ou programme tient la base verrouillée, le plus souvent par une transaction ouverte (BEGIN) : elle se libère à son COMMIT ou à son ROLLBACK."));
    QVERIFY2(elapsed >= 4500 && elapsed < 60000, qPrintable(QString::number(elapsed)));
    other.release();
    QCOMPARE(storedList(), kList);
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM t")).toInt(), 2);

    const qsizetype shown = m_dialogs->messageTexts().size();
    if (list) {
        QCOMPARE(m_window->TableSQL->state(), TDataSet::dsEdit);
        QCOMPARE(m_window->DBMemoSQL->text(), QStringLiteral("S1\r\nS2\r\n"));
        m_dialogs->messageAnswers << 0;
        QVERIFY(m_window->close());
        QCOMPARE(m_dialogs->messageTexts().size(), shown + 1); // the question only
        QCOMPARE(storedList(), QStringLiteral("S1\r\nS2\r\n"));
    } else {
        run(QStringLiteral("INSERT INTO t VALUES ('c')"));
        QCOMPARE(m_dialogs->messageTexts().mid(shown),
            QStringList { QStringLiteral("Erreur à la création du handle de curseur.") });
        QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM t")).toInt(), 3);
    }
}

// Another program deletes the database file, renames another database over it, or
// writes over it in place, while the window is open with an edited list. The next
// command says so; the window never writes into a file that the alias no longer
// names, and the file stays as the other program left it.
void TestDatabaseFailures::databaseFileGoneOrReplaced_data()
{
    QTest::addColumn<QString>("change");
    // Of the next query, of the same query run again, and of the list's post ("%1":
    // the database file); the question asked on closing comes before the last.
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("shown"); // the query's first value at the end
    const QString replaced
        = QStringLiteral("Le fichier de la base de données a été supprimé ou remplacé depuis son ouverture : %1.");
    const QString missing = QStringLiteral("unable to open database file : %1.");
    const QString changed = recordChangedMessage();
    QTest::newRow("deleted") << "delete" << QStringList { replaced, missing, missing } << "";
    QTest::newRow("another database renamed over it") << "rename" << QStringList { replaced, changed } << "autre";
    QTest::newRow("another database written over it") << "overwrite" << QStringList { changed } << "autre";
    QTest::newRow("emptied") << "truncate"
                             << QStringList { "no such table: t.", "no such table: t.", "no such table: ListBase." }
                             << "";
    QTest::newRow("garbage written over it")
        << "garbage" << QStringList { "file is not a database.", "file is not a database.", "file is not a database." }
        << "";
}

void TestDatabaseFailures::databaseFileGoneOrReplaced()
{
    QFETCH(QString, change);
    QFETCH(QStringList, messages);
    QFETCH(QString, shown);
#ifdef Q_OS_WIN
    if (change == u"delete" || change == u"rename")
        QSKIP("Windows deletes or renames over no file that a program holds open");
#endif
    createDatabase();
    showWindow();
    run(QStringLiteral("SELECT * FROM t"));
    addToList(QStringLiteral("S2"));
    QCOMPARE(m_dialogs->messageTexts(), QStringList());

    const QString path = m_db->path();
    const QString otherPath = QDir(m_db->folder()).filePath(QStringLiteral("autre.sqlite"));
    QCOMPARE(runInOtherProgram(otherPath,
                 QStringLiteral("CREATE TABLE ListBase (TTTYPES TEXT, POLICE5 VARCHAR(20));"
                                "INSERT INTO ListBase VALUES ('S9' || char(13, 10), ';');"
                                "CREATE TABLE t (NOM VARCHAR(10)); INSERT INTO t VALUES ('autre')")),
        QString());
    if (change == u"delete") {
        QVERIFY(QFile::remove(path));
    } else if (change == u"rename") {
        QVERIFY(::rename(QFile::encodeName(otherPath).constData(), QFile::encodeName(path).constData()) == 0);
    } else if (change == u"overwrite") {
        QVERIFY(writeFile(path, fileBytes(otherPath)));
    } else if (change == u"truncate") {
        QVERIFY(QFile::resize(path, 0));
    } else {
        QVERIFY(writeFile(path, QByteArray(8192, 'x')));
    }
    QFile::remove(otherPath);
    const auto left = folderSnapshot(m_db->folder());

    run(QStringLiteral("SELECT * FROM t"));
    run(QStringLiteral("SELECT * FROM t"));
    m_dialogs->messageAnswers << 0;
    QVERIFY(!m_window->close());

    for (QString& message : messages)
        message.replace(QStringLiteral("%1"), QDir::toNativeSeparators(path));
    messages.insert(messages.size() - 1, QStringLiteral(" Enregistrer les modifications de la liste des requêtes ?"));
    QCOMPARE(m_dialogs->messageTexts(), messages);
    QCOMPARE(m_window->QuerySQL->active() ? m_window->QuerySQL->field(0)->asString() : QString(), shown);
    QCOMPARE(m_window->TableSQL->state(), TDataSet::dsEdit);
    m_window.reset();
    Databases::closeAll();
    QCOMPARE(folderSnapshot(m_db->folder()), left);
}

QTEST_MAIN(TestDatabaseFailures)
#include "tst_databasefailures.moc"
