#include "PostgresServer.h"
#include "QueryWindow.h"
#include "app/UserTransaction.h"
#include "engine/Connection.h"
#include "engine/Databases.h"

#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QTest>

// A transaction that the user's statements open stays open until the user ends it:
// the window says so, and closing asks whether to commit it or roll it back, before
// the remembered list's question, whose post never joins it. On every engine.
class TestUserTransaction : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void closingAsksAboutTheOpenTransaction_data();
    void closingAsksAboutTheOpenTransaction();
    void failedBatchLeavesItsTransactionOpen_data();
    void failedBatchLeavesItsTransactionOpen();

private:
    void addDrivers();
    // The alias on driver's database, with the settings table and an empty table t;
    // why the driver cannot be tested here, empty when it can.
    QString useDriver(const QString& driver);
    // What another program sees.
    QString otherValue(const QString& sql) const;
    void runInWindow(const QString& statement) const;
    QString lastMessage() const { return m_q.dialogs->messageTexts().value(m_q.dialogs->messageTexts().size() - 1); }

    std::unique_ptr<PostgresServer> m_server;
    QString m_driver;
    QueryWindow m_q;
};

void TestUserTransaction::initTestCase()
{
    initTestEnvironment();
    m_server = std::make_unique<PostgresServer>();
    if (!m_server->available() && PostgresServer::required())
        QFAIL(qPrintable(m_server->error()));
}

void TestUserTransaction::cleanupTestCase()
{
    Databases::closeAll();
    QSettings(Databases::aliasesFile(), QSettings::IniFormat).remove(QStringLiteral("Velorin"));
    m_server.reset();
}

void TestUserTransaction::cleanup()
{
    m_q.reset();
    Databases::closeAll();
}

void TestUserTransaction::addDrivers()
{
    QTest::addColumn<QString>("driver");
}

QString TestUserTransaction::useDriver(const QString& driver)
{
    m_driver = driver;
    if (driver == QLatin1String("SQLITE")) {
        m_q.createDatabase(QStringLiteral("CREATE TABLE t (n INTEGER)"));
        m_q.setSetting(QStringLiteral("TTTYPES"), QStringLiteral("S1"));
    } else {
        m_q.db.reset();
        if (!m_server->available())
            return m_server->error();
        if (driver == QLatin1String("QODBC") && !PostgresServer::odbcMissing().isEmpty())
            return PostgresServer::odbcMissing();
        const QString failed = m_server->run(QStringLiteral("DROP TABLE IF EXISTS t, listbase CASCADE; CREATE TABLE t (n INTEGER);"
                                              "CREATE TABLE listbase (id INTEGER PRIMARY KEY, tttypes TEXT, "
                                              "police5 VARCHAR(20)); INSERT INTO listbase VALUES (1, 'S1', ';')"));
        if (!failed.isEmpty())
            qFatal("%s", qPrintable(failed));
        if (driver == QLatin1String("QODBC"))
            m_server->writeOdbcAlias(QStringLiteral("Velorin"));
        else
            m_server->writeAlias(QStringLiteral("Velorin"));
    }
    m_q.createWindow();
    return {};
}

QString TestUserTransaction::otherValue(const QString& sql) const
{
    return m_driver == QLatin1String("SQLITE") ? m_q.db->value(sql).toString() : m_server->value(sql);
}

void TestUserTransaction::runInWindow(const QString& statement) const
{
    m_q.window->ComboBoxSQL->setEditText(statement);
    m_q.window->runStatement();
}

void TestUserTransaction::closingAsksAboutTheOpenTransaction_data()
{
    addDrivers();
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("rowsKept");
    for (const char* driver : { "SQLITE", "QPSQL", "QODBC" }) {
        QTest::addRow("%s, commit", driver) << driver << 0 << "1";
        QTest::addRow("%s, roll back", driver) << driver << 1 << "0";
        QTest::addRow("%s, do not close", driver) << driver << 2 << "0";
    }
}

void TestUserTransaction::closingAsksAboutTheOpenTransaction()
{
    QFETCH(QString, driver);
    QFETCH(int, answer);
    QFETCH(QString, rowsKept);
    if (const QString reason = useDriver(driver); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY(m_q.showActive());
    TFicheSQL& w = *m_q.window;
    runInWindow(QStringLiteral("BEGIN"));
    QCOMPARE(lastMessage(), noCursorMessage() + QStringLiteral(".\n") + openTransactionMessage());
    QVERIFY(w.LabelTransactionSQL->isVisible());
    runInWindow(QStringLiteral("INSERT INTO t VALUES (7)"));
    QCOMPARE(otherValue(QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("0"));
    // The remembered list changes too: its post must not join the transaction.
    w.ComboBoxSQL->setEditText(QStringLiteral("S2"));
    w.ToolButtonAjoutClick(nullptr);

    const qsizetype asked = m_q.dialogs->calls.size();
    m_q.dialogs->messageAnswers << answer << 0;
    QCOMPARE(w.close(), answer != 2);
    const auto question = m_q.dialogs->calls.value(asked).message;
    QCOMPARE(question.text, UserTransaction::question());
    QCOMPARE(question.buttons, UserTransaction::answers());
    QCOMPARE(otherValue(QStringLiteral("SELECT count(*) FROM t")), rowsKept);
    if (answer == 2) {
        // Nothing was asked about the list, nothing ended: the user goes on.
        QCOMPARE(m_q.dialogs->calls.size(), asked + 1);
        QVERIFY(w.transaction()->open());
        runInWindow(QStringLiteral("COMMIT"));
        QVERIFY(!w.LabelTransactionSQL->isVisible());
        QCOMPARE(otherValue(QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("1"));
        return;
    }
    QCOMPARE(m_q.dialogs->calls.size(), asked + 2); // then the list's question
    const QString crLf = m_driver == QLatin1String("SQLITE") ? QStringLiteral("char(13, 10)") : QStringLiteral("chr(13) || chr(10)");
    QCOMPARE(otherValue(QStringLiteral("SELECT replace(tttypes, %1, '|') FROM listbase").arg(crLf)),
        QStringLiteral("S1|S2|"));
}

void TestUserTransaction::failedBatchLeavesItsTransactionOpen_data()
{
    addDrivers();
    for (const char* driver : { "SQLITE", "QPSQL", "QODBC" })
        QTest::newRow(driver) << driver;
}

void TestUserTransaction::failedBatchLeavesItsTransactionOpen()
{
    QFETCH(QString, driver);
    if (const QString reason = useDriver(driver); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY(m_q.showActive());
    runInWindow(QStringLiteral("BEGIN; INSERT INTO t VALUES (1); INSERT INTO nowhere VALUES (1)"));
    QVERIFY2(lastMessage().endsWith(QLatin1Char('\n') + openTransactionMessage()), qPrintable(lastMessage()));
    QVERIFY(m_q.window->LabelTransactionSQL->isVisible());
    runInWindow(QStringLiteral("ROLLBACK"));
    QVERIFY(!m_q.window->LabelTransactionSQL->isVisible());
    QVERIFY(!lastMessage().contains(openTransactionMessage()));
    QCOMPARE(otherValue(QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("0"));
    // Nothing left to ask: the window closes at once, but for the list it never changed.
    QVERIFY(m_q.window->close());
}

QTEST_MAIN(TestUserTransaction)
#include "tst_usertransaction.moc"
