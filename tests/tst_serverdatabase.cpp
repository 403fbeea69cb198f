#include "PostgresServer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "database/Databases.h"
#include "database/Query.h"
#include "database/Table.h"

#include <QSettings>
#include <QTest>
#include <memory>

// The engine on a real PostgreSQL server, with psql as the other program: batches,
// posts checked against the stored record, and the settings read again.
class TestServerDatabase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void batchAppliesAllOrNothing_data();
    void batchAppliesAllOrNothing();
    void postChecksRecordStillHoldsWhatWasRead_data();
    void postChecksRecordStillHoldsWhatWasRead();
    void refreshReadsSettingsAgain();

private:
    std::unique_ptr<PostgresServer> m_server;
};

void TestServerDatabase::initTestCase()
{
    initTestEnvironment();
    m_server = std::make_unique<PostgresServer>();
    if (!m_server->available() && PostgresServer::required())
        QFAIL(qPrintable(m_server->error()));
    if (!m_server->available())
        QSKIP(qPrintable(m_server->error()));
    m_server->writeAlias(QStringLiteral("Velorin"));
}

void TestServerDatabase::cleanupTestCase()
{
    Databases::closeAll();
    QSettings(Databases::aliasesFile(), QSettings::IniFormat).remove(QStringLiteral("Velorin"));
    m_server.reset();
}

void TestServerDatabase::init()
{
    Databases::closeAll();
    QCOMPARE(m_server->run(
                 QStringLiteral("DROP TABLE IF EXISTS small, listbase;"
                                "CREATE TABLE small (n INTEGER PRIMARY KEY, nom TEXT);"
                                "INSERT INTO small VALUES (1, 'a'), (2, 'b'), (3, 'c');"
                                "CREATE TABLE listbase (id INTEGER PRIMARY KEY, tttypes TEXT, police5 VARCHAR(20));"
                                "INSERT INTO listbase VALUES (1, 'S1', ';')")),
        QString());
}

void TestServerDatabase::batchAppliesAllOrNothing_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("rows");
    QTest::newRow("a later statement fails")
        << "DELETE FROM small; SELECT * FROM nowhere"
        << "Instruction 2 : relation \"nowhere\" does not exist\n« SELECT * FROM nowhere »"
        << "3";
    QTest::newRow("a statement fails to parse")
        << "DELETE FROM small; SELECT * FROM small WHERE"
        << "Instruction 2 : syntax error at end of input\n« SELECT * FROM small WHERE »"
        << "3";
    QTest::newRow("a later statement fails to run")
        << "DELETE FROM small WHERE n = 1; INSERT INTO small VALUES (2, 'x'); SELECT 1"
        << "Instruction 2 : duplicate key value violates unique constraint \"small_pkey\"\n"
           "« INSERT INTO small VALUES (2, 'x') »"
        << "3";
    QTest::newRow("one statement fails") << "SELECT 1 / 0"
                                         << "division by zero"
                                         << "3";
    QTest::newRow("changes without a result set are kept")
        << "DELETE FROM small WHERE n = 1; DELETE FROM small WHERE n = 2"
        << "Erreur à la création du handle de curseur"
        << "1";
}

void TestServerDatabase::batchAppliesAllOrNothing()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QFETCH(QString, rows);
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(sql);
    const Raised failure = raised([&] { q.open(); });
    QCOMPARE(failure.message, message);
    QCOMPARE(m_server->value(QStringLiteral("SELECT count(*) FROM small")), rows);
}

void TestServerDatabase::postChecksRecordStillHoldsWhatWasRead_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");
    QTest::newRow("another program appended a statement")
        << "UPDATE listbase SET tttypes = tttypes || ' S9'" << recordChangedMessage() << "S1 S9|;";
    QTest::newRow("another program changed the separator") << "UPDATE listbase SET police5 = '#@'"
                                                           << ""
                                                           << "S1 S2|#@";
}

void TestServerDatabase::postChecksRecordStillHoldsWhatWasRead()
{
    QFETCH(QString, other);
    QFETCH(QString, message);
    QFETCH(QString, stored);
    TTable t;
    t.setDatabaseName(QStringLiteral("Velorin"));
    t.setTableName(QStringLiteral("listbase"));
    t.open();
    t.edit();
    t.FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1 S2"));
    QCOMPARE(m_server->run(other), QString());
    QCOMPARE(raised([&] { t.post(); }).message, message);
    QCOMPARE(m_server->value(QStringLiteral("SELECT tttypes || '|' || police5 FROM listbase")), stored);
    QCOMPARE(t.state(), message.isEmpty() ? TDataSet::dsBrowse : TDataSet::dsEdit);
}

void TestServerDatabase::refreshReadsSettingsAgain()
{
    TTable t;
    t.setDatabaseName(QStringLiteral("Velorin"));
    t.setTableName(QStringLiteral("listbase"));
    t.open();
    QCOMPARE(m_server->run(QStringLiteral("UPDATE listbase SET police5 = '#@'")), QString());
    t.refresh();
    QCOMPARE(t.FieldByName(QStringLiteral("POLICE5"))->text(), QStringLiteral("#@"));
}

QTEST_MAIN(TestServerDatabase)
#include "tst_serverdatabase.moc"
