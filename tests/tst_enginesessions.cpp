#include "AddressSanitizer.h"
#include "EngineRows.h"
#include "Raised.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Databases.h"
#include "platform/Exceptions.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <thread>

#ifdef Q_OS_WIN
#ifndef NOMINMAX // Qt may have defined it
#define NOMINMAX
#endif
#include <windows.h>

#include <psapi.h> // needs windows.h first
#else
#include <unistd.h>
#endif

// What every engine must do alike while a statement runs and between statements, each
// case a row per engine: a statement stops when asked and keeps nothing, progress is
// reported, a result past the memory ceiling is refused, a read-only alias's session
// writes nothing, a lost session is opened again without running a statement twice,
// and the session keeps the encoding the program reads and writes.
class TestEngineSessions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanupTestCase() { m_rows.reset(); }

    void stopEndsStatementAndKeepsNothing_data();
    void stopEndsStatementAndKeepsNothing();
    void progressCountsRowsRead_data();
    void progressCountsRowsRead();
    void ceilingRefusesResult_data();
    void ceilingRefusesResult();
    void refusedResultGivesMemoryBack_data() { addEngineRows(); }
    void refusedResultGivesMemoryBack();
    void readOnlyAliasWritesNothing_data();
    void readOnlyAliasWritesNothing();
    void lostSessionIsOpenedAgain_data();
    void lostSessionIsOpenedAgain();
    void statementSentIsNeverRunTwice_data() { addEngineRows(); }
    void statementSentIsNeverRunTwice();
    void sessionEncodingIsSetBack_data();
    void sessionEncodingIsSetBack();

private:
    std::unique_ptr<EngineRows> m_rows = std::make_unique<EngineRows>();
};

namespace
{
const QString kAlias = QStringLiteral("Velorin");
// A table of 2000 numbers beside small, in words both engines read.
const QString kNumbers = QStringLiteral(
    "CREATE TABLE small (n INTEGER PRIMARY KEY, nom TEXT); INSERT INTO small VALUES (1, 'a'), (2, 'b'), (3, 'c');"
    "CREATE TABLE n (x INTEGER);"
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000) INSERT INTO n SELECT x FROM c");
const QString kEndless
    = QStringLiteral("WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT x FROM r");

qint64 residentBytes()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters {};
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? qint64(counters.WorkingSetSize)
                                                                                    : 0;
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = statm.readAll().split(' ');
    return parts.value(1).toLongLong() * sysconf(_SC_PAGE_SIZE);
#endif
}

const QString kNoSession = QStringLiteral("the embedded SQLite file has no session to lose");
} // namespace

void TestEngineSessions::stopEndsStatementAndKeepsNothing_data()
{
    addEngineColumn();
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("stopAt"); // stop at the first report past this many rows; -1: never
    QTest::addColumn<bool>("raise"); // the report raises rather than stop
    QTest::addColumn<QString>("outcome"); // the message, or the rows read
    const QString stopped = cancelledMessage();
    const QString count = QStringLiteral(
        "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT count(*) FROM r");
    for (const Engine e : kEngines) {
        engineRow(e, "while the rows arrive") << kEndless << 1 << false << stopped;
        engineRow(e, "while an endless count works before the first row") << count << 0 << false << stopped;
        engineRow(e, "while a sort works before the first row")
            << "SELECT a.x, b.x, c.x FROM n a, n b, n c ORDER BY a.x + b.x + c.x DESC" << 0 << false << stopped;
        engineRow(e, "a stopped batch keeps nothing")
            << "INSERT INTO small VALUES (7, 'y'); DELETE FROM n; " + count << 0 << false << stopped;
        engineRow(e, "the report raises while the rows arrive")
            << "INSERT INTO small VALUES (7, 'y'); " + kEndless << 1 << true << "panne du rapport";
        engineRow(e, "left to run") << kEndless + " LIMIT 123457" << -1 << false << "123457";
    }
    for (const Engine e : { Engine::Postgres, Engine::Odbc }) {
        engineRow(e, "while the server sleeps") << "INSERT INTO small VALUES (7, 'y'); SELECT pg_sleep(60)" << 0
                                                << false << stopped;
        engineRow(e, "while values larger than a receive arrive")
            << "SELECT x, repeat('x', 10000000) FROM (" + kEndless + ") AS r" << 1 << false << stopped;
    }
}

// The statement ends at once when the report says stop (or raises), keeps nothing of
// its result nor of its batch's changes, and the connection goes on working.
void TestEngineSessions::stopEndsStatementAndKeepsNothing()
{
    QFETCH(QString, sql);
    QFETCH(int, stopAt);
    QFETCH(bool, raise);
    QFETCH(QString, outcome);
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
    if (engine == Engine::Odbc && sql.contains(QLatin1String("10000000")))
        QSKIP("PostgreSQL's ODBC driver fetches 1000 rows at a time, 10 GB of such values, before it hears a stop");
    TQuery q;
    q.setDatabaseName(kAlias);
    q.setSQL(sql);
    int calls = 0;
    qint64 lastRows = -1;
    bool said = false;
    bool calledAfterStop = false;
    // Runs a while before it stops: 20 reports.
    q.setOnProgress([&](qint64 rows) {
        calledAfterStop = calledAfterStop || said;
        lastRows = rows;
        said = stopAt >= 0 && ++calls >= 20 && rows >= stopAt;
        if (said && raise)
            throw EInOutError(QStringLiteral("panne du rapport"), 5);
        return !said;
    });
    QElapsedTimer clock;
    clock.start();
    const Raised failure = raised([&] { q.open(); });
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(failure.kind.isEmpty() ? QString::number(q.recordCount()) : failure.message, outcome);
    QCOMPARE(failure.kind,
        stopAt < 0 ? QString()
            : raise ? QStringLiteral("EInOutError")
                    : QStringLiteral("EDatabaseError"));
    QVERIFY(!calledAfterStop);
    if (stopAt < 0) {
        q.last();
        QCOMPARE(q.field(0)->asString(), outcome);
    } else {
        QVERIFY(calls >= 20);
        QCOMPARE(lastRows >= 1, stopAt >= 1);
        QVERIFY(!q.active());
        QCOMPARE(q.recordCount(), qsizetype(0));
    }
    QCOMPARE(db->value(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
    QCOMPARE(db->value(QStringLiteral("SELECT count(*) FROM n")), QStringLiteral("2000"));
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM n")), QStringLiteral("2000"));
}

void TestEngineSessions::progressCountsRowsRead_data()
{
    addEngineColumn();
    QTest::addColumn<int>("reports"); // at least
    QTest::addColumn<int>("lastReport"); // at least
    QTest::addColumn<QString>("sql");
    const QString rows = QStringLiteral("SELECT a.x FROM n a, n b LIMIT 300000");
    // SQLite reports as it works, ODBC every block of rows, libpq as time passes: the
    // server first sleeps longer than a tick, however fast the rows then come.
    engineRow(Engine::Sqlite, "300000 rows") << 100 << 250000 << rows;
    engineRow(Engine::Postgres, "300000 rows")
        << 1 << 0 << QStringLiteral("SELECT a.x FROM n a, n b, pg_sleep(0.5) LIMIT 300000");
    engineRow(Engine::Odbc, "300000 rows") << 100 << 250000 << rows;
}

void TestEngineSessions::progressCountsRowsRead()
{
    QFETCH(int, reports);
    QFETCH(int, lastReport);
    QFETCH(QString, sql);
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
    TQuery q;
    q.setDatabaseName(kAlias);
    q.setSQL(sql);
    QList<qint64> reported;
    q.setOnProgress([&](qint64 rows) {
        reported << rows;
        return true;
    });
    QCOMPARE(raised([&] { q.open(); }).message, QString());
    QCOMPARE(q.recordCount(), qsizetype(300000));
    // Never backwards, never more than was read.
    QVERIFY2(reported.size() >= reports, qPrintable(QString::number(reported.size())));
    QVERIFY(std::is_sorted(reported.begin(), reported.end()));
    QVERIFY(reported.last() <= 300000);
    QVERIFY2(reported.last() >= lastReport, qPrintable(QString::number(reported.last())));
}

void TestEngineSessions::ceilingRefusesResult_data()
{
    addEngineColumn();
    QTest::addColumn<QString>("sql");
    QTest::addColumn<qsizetype>("ceiling");
    for (const Engine e : kEngines) {
        engineRow(e, "endless integers") << kEndless << (qsizetype(8) << 20);
        engineRow(e, "endless long texts")
            << say(e, "SELECT x, printf('%.5000c', 'a') FROM (" + kEndless + ")",
                   "SELECT x, repeat('a', 5000) FROM (" + kEndless + ") AS r")
            << (qsizetype(8) << 20);
        engineRow(e, "one blob larger than the ceiling")
            << say(e, "SELECT zeroblob(3000000)", "SELECT decode(repeat('00', 3000000), 'hex')")
            << (qsizetype(1) << 20);
    }
}

void TestEngineSessions::ceilingRefusesResult()
{
    QFETCH(QString, sql);
    QFETCH(qsizetype, ceiling);
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
    Databases::connect(kAlias)->setResultCeiling(ceiling);
    TQuery q;
    q.setDatabaseName(kAlias);
    q.setSQL(sql);
    const Raised r = raised([&] { q.open(); });
    QCOMPARE(r.kind, QStringLiteral("EDatabaseError"));
    static const QRegularExpression message(
        QStringLiteral("^Résultat trop volumineux : \\d+ lignes? lues? \\(\\d+(,\\d)? Mo\\)\\.$"));
    QVERIFY2(message.match(r.message).hasMatch(), qPrintable(r.message));
    QVERIFY(!q.active());
    // The next statement that fits runs.
    q.setSQL(QStringLiteral("SELECT x FROM n"));
    QCOMPARE(raised([&] { q.open(); }).message, QString());
    QCOMPARE(q.recordCount(), qsizetype(2000));
}

void TestEngineSessions::refusedResultGivesMemoryBack()
{
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
#if defined(ADDRESS_SANITIZER)
    QSKIP("AddressSanitizer keeps freed memory in quarantine");
#endif
    Databases::connect(kAlias)->setResultCeiling(qsizetype(64) << 20);
    const qint64 before = residentBytes();
    const QString refused = outcomeOf(kEndless);
    QVERIFY2(refused.startsWith(QStringLiteral("Résultat trop volumineux : ")), qPrintable(refused));
    // The result reached 64 MiB; what stays is far less.
    const qint64 after = residentBytes();
    QVERIFY2(after - before < (qint64(16) << 20), qPrintable(QString::number((after - before) >> 20)));
}

void TestEngineSessions::readOnlyAliasWritesNothing_data()
{
    addEngineColumn();
    QTest::addColumn<QString>("sql"); // empty: the table is edited
    QTest::addColumn<QString>("outcome"); // what the message or the first value holds
    for (const Engine e : kEngines) {
        const auto refused = [e](const char* verb) {
            return say(e, "attempt to write a readonly database",
                QStringLiteral("cannot execute %1 in a read-only transaction").arg(QLatin1String(verb)));
        };
        engineRow(e, "a query still runs") << "SELECT count(*) FROM small"
                                           << "3";
        engineRow(e, "a batch of queries still runs") << "SELECT 1; SELECT count(*) FROM small"
                                                      << "3";
        engineRow(e, "a change in a batch") << "DELETE FROM small; SELECT 1"
                                            << "Instruction 1 : " + say(e, "", "", "ERROR: ") + refused("DELETE")
                + "\n« DELETE FROM small »";
        engineRow(e, "a change alone") << "UPDATE small SET nom = 'x'" << refused("UPDATE");
        engineRow(e, "a table cannot be edited") << "" << readOnlyMessage();
    }
}

void TestEngineSessions::readOnlyAliasWritesNothing()
{
    QFETCH(QString, sql);
    QFETCH(QString, outcome);
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
    db->setReadOnly(true);
    QString seen;
    if (sql.isEmpty()) {
        TTable t;
        t.setDatabaseName(kAlias);
        t.setTableName(QStringLiteral("small"));
        t.open();
        QCOMPARE(t.FieldByName(QStringLiteral("NOM"))->text(), QStringLiteral("a"));
        seen = raised([&] { t.edit(); }).message;
    } else {
        seen = outcomeOf(sql);
    }
    QVERIFY2(seen.contains(outcome), qPrintable(seen));
    QCOMPARE(db->joined(QStringLiteral("small"), QStringLiteral("n || nom")), QStringLiteral("1a,2b,3c"));
}

void TestEngineSessions::lostSessionIsOpenedAgain_data()
{
    addEngineColumn();
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("loginRefused");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("stored");
    for (const Engine e : kEngines) {
        engineRow(e, "a query") << "SELECT count(*) FROM small" << false << "3"
                                << "3";
        engineRow(e, "a change runs once") << "INSERT INTO small VALUES (9, 'z') RETURNING n" << false << "9"
                                           << "4";
        engineRow(e, "a batch runs once") << "INSERT INTO small VALUES (8, 'y'); SELECT count(*) FROM small" << false
                                          << "4"
                                          << "4";
        engineRow(e, "the session refused: the server's message on one line")
            << "SELECT count(*) FROM small" << true << "is not permitted to log in"
            << "3";
    }
}

// The server ends the session, as it does when it stops or restarts: the next
// statement opens a session again and runs once; when the server refuses, its message
// is the error, and the window goes on once the server takes sessions again.
void TestEngineSessions::lostSessionIsOpenedAgain()
{
    QFETCH(QString, sql);
    QFETCH(bool, loginRefused);
    QFETCH(QString, outcome);
    QFETCH(QString, stored);
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
    if (!db->isServer())
        QSKIP(qPrintable(kNoSession));
    // A role of its own, whose sessions alone the server ends.
    const QString role = db->serverName(QStringLiteral("secretariat"));
    QCOMPARE(db->exec(QStringLiteral("DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN PASSWORD 'secret';"
                                     "GRANT ALL ON small TO %1")
                          .arg(role)),
        QString());
    db->setUser(role, QStringLiteral("secret"));
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
    const QString refuse = loginRefused ? QStringLiteral("ALTER ROLE %1 NOLOGIN;").arg(role) : QString();
    const QString end = QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = '%1'");
    QCOMPARE(db->exec(refuse + end.arg(role)), QString());
    const QString first = outcomeOf(sql);
    QVERIFY2(first.contains(outcome), qPrintable(first));
    // libpq's engine gives the server's refusal alone; ODBC's says the session was lost first.
    QVERIFY2(first.count(QLatin1Char('\n')) <= (engine == Engine::Odbc && loginRefused ? 2 : 0), qPrintable(first));
    QCOMPARE(db->value(QStringLiteral("SELECT count(*) FROM small")), stored);
    QCOMPARE(db->exec(QStringLiteral("ALTER ROLE %1 LOGIN").arg(role)), QString());
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM small")), stored);
    Databases::closeAll();
    QCOMPARE(db->exec(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(role)), QString());
}

// A statement whose session the server ends while it runs fails with the server's
// message; running it again would insert the row.
void TestEngineSessions::statementSentIsNeverRunTwice()
{
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
    if (!db->isServer())
        QSKIP(qPrintable(kNoSession));
    QCOMPARE(outcomeOf(QStringLiteral("SELECT 1")), QStringLiteral("1"));
    // The server ends the session once the statement runs, found by its words (a driver
    // may wrap it).
    std::thread other([&db] {
        db->exec(QStringLiteral(
            "DO $$ BEGIN FOR i IN 1..200 LOOP PERFORM pg_stat_clear_snapshot(); "
            "IF EXISTS (SELECT FROM pg_stat_activity WHERE query LIKE '%SELECT 9, pg_sleep(4)%' AND state = 'active' "
            "AND pid <> pg_backend_pid()) THEN PERFORM pg_sleep(0.5); PERFORM pg_terminate_backend(pid) "
            "FROM pg_stat_activity WHERE query LIKE '%SELECT 9, pg_sleep(4)%' AND pid <> pg_backend_pid(); EXIT; "
            "END IF; PERFORM pg_sleep(0.05); END LOOP; END $$"));
    });
    const QString message = outcomeOf(QStringLiteral("INSERT INTO small SELECT 9, pg_sleep(4)::::text RETURNING n"));
    other.join();
    QVERIFY2(message.contains(QStringLiteral("terminating connection due to administrator command")),
        qPrintable(message));
    QCOMPARE(db->value(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
}

void TestEngineSessions::sessionEncodingIsSetBack_data()
{
    const QString setBack
        = QStringLiteral("VeloSQL échange avec le serveur en UTF8 : client_encoding est remis à UTF8.");
    addEngineColumn();
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    for (const Engine e : kEngines) {
        engineRow(e, "SET alone, as a dump script starts") << "SET client_encoding = 'WIN1252'" << setBack;
        engineRow(e, "a query that sets it while its rows go out")
            << "SELECT set_config('client_encoding', 'LATIN1', false), 'Hélène'" << setBack;
        engineRow(e, "in a batch, before a query")
            << "SET client_encoding = 'WIN1252'; SELECT 'Hélène €'"
            << "Instruction 1 : " + setBack + "\n« SET client_encoding = 'WIN1252' »";
        engineRow(e, "in a text run as written")
            << "SET client_encoding TO 'LATIN1'; VACUUM small"
            << "Instruction 1 : " + setBack + "\n« SET client_encoding TO 'LATIN1' »";
    }
}

// A statement that changes the session's client encoding is told, and the session goes
// on in the encoding the program reads and writes: the next query and the next post of
// a record carry accented letters and the euro sign as they are.
void TestEngineSessions::sessionEncodingIsSetBack()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    OPEN_ENGINE_ROW(db, *m_rows, kNumbers);
    if (!db->isServer())
        QSKIP("SQLite keeps its text in UTF-8: a file has no session encoding to change");
    TTable t;
    t.setDatabaseName(kAlias);
    t.setTableName(QStringLiteral("small"));
    t.open();
    QCOMPARE(outcomeOf(sql), message);
    QCOMPARE(outcomeOf(QStringLiteral("SELECT 'Hélène €'")), QStringLiteral("Hélène €"));
    t.edit();
    t.FieldByName(QStringLiteral("NOM"))->setAsString(QStringLiteral("Hélène €"));
    t.post();
    QCOMPARE(db->value(QStringLiteral("SELECT nom = 'Hélène €' FROM small WHERE n = 1")), QStringLiteral("t"));
}

QTEST_MAIN(TestEngineSessions)
#include "tst_enginesessions.moc"
