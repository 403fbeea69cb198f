#include "PostgresServer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Databases.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

// The engine through ODBC, as a practice on Windows reaches its database: Debian's
// PostgreSQL ODBC driver against a real server, read side by side with the same
// server reached directly, plus batches, posts, errors and a lost session.
class TestOdbc : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void valuesReadAsThroughPostgres_data();
    void valuesReadAsThroughPostgres();
    void dataSourceNameReachesServer();
    void handWrittenAliasReachesServer_data();
    void handWrittenAliasReachesServer();
    void errorsAreTheServersLines_data();
    void errorsAreTheServersLines();
    void batchAppliesAllOrNothing_data();
    void batchAppliesAllOrNothing();
    void postChecksRecordStillHoldsWhatWasRead_data();
    void postChecksRecordStillHoldsWhatWasRead();
    void lostSessionIsOpenedAgain_data();
    void lostSessionIsOpenedAgain();
    void readOnlyAliasWritesNothing_data();
    void readOnlyAliasWritesNothing();
    void stoppedStatementKeepsNothing_data();
    void stoppedStatementKeepsNothing();
    void endlessResultStopsAtCeiling();

private:
    std::unique_ptr<PostgresServer> m_server;
};

namespace
{
const QString kOdbc = QStringLiteral("Velorin");
const QString kDirect = QStringLiteral("Direct");

// A field's value as the user meets it: its name and text (blobs: their bytes), in
// each record.
QString valueOf(const TField* f)
{
    const QString value = isBlobType(f->dataType()) && !isMemoType(f->dataType())
        ? QString::fromLatin1(f->blobContents().toHex())
        : f->asString();
    return f->fieldName() + QLatin1Char('=') + value;
}

// The values of every record, and the first field's type code and size.
struct Read {
    QStringList values;
    int type = -1;
    int size = -1;
};

Read openAndRead(const QString& alias, const QString& sql)
{
    TQuery q;
    q.setDatabaseName(alias);
    q.setSQL(sql);
    q.open();
    Read read;
    read.type = int(q.field(0)->dataType());
    read.size = q.field(0)->size();
    for (q.first(); !q.eof(); q.next())
        for (int i = 0; i < q.fieldCount(); ++i)
            read.values << valueOf(q.field(i));
    return read;
}

// The lines of a query's failure, or its rows' first column joined by ",".
QString outcomeOf(const QString& sql)
{
    TQuery q;
    q.setDatabaseName(kOdbc);
    q.setSQL(sql);
    QString rows;
    const Raised failure = raised([&] {
        q.open();
        QStringList values;
        for (q.first(); !q.eof(); q.next())
            values << q.field(0)->asString();
        rows = values.join(QLatin1Char(','));
    });
    return failure.kind.isEmpty() ? rows : failure.message;
}
} // namespace

void TestOdbc::initTestCase()
{
    initTestEnvironment();
    if (const QString missing = PostgresServer::odbcMissing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    m_server = std::make_unique<PostgresServer>();
    if (!m_server->available())
        QSKIP(qPrintable(m_server->error()));
    m_server->writeAlias(kDirect);
    m_server->writeOdbcAlias(kOdbc);
}

void TestOdbc::cleanupTestCase()
{
    Databases::closeAll();
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.remove(kOdbc);
    ini.remove(kDirect);
    m_server.reset();
}

void TestOdbc::init()
{
    QCOMPARE(m_server->run(QStringLiteral(
                 "DROP TABLE IF EXISTS odbc_small, odbc_listbase, listbase CASCADE;"
                 "CREATE TABLE odbc_small (n INTEGER PRIMARY KEY, nom TEXT);"
                 "INSERT INTO odbc_small VALUES (1, 'a'), (2, 'b'), (3, 'c');"
                 "CREATE TABLE odbc_listbase (id INTEGER PRIMARY KEY, tttypes TEXT, police5 VARCHAR(20));"
                 "INSERT INTO odbc_listbase VALUES (1, 'S1', ';')")),
        QString());
}

void TestOdbc::valuesReadAsThroughPostgres_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size"); // -1: as the driver likes
    QTest::newRow("varchar(n)") << "SELECT CAST('Dupont' AS varchar(12)) AS v" << int(ftString) << 12;
    QTest::newRow("char(n) keeps its blanks") << "SELECT CAST('x' AS char(3)) AS v" << int(ftString) << 3;
    QTest::newRow("accented text") << "SELECT CAST('Hélène Œuvre €' AS varchar(20)) AS v" << int(ftString) << 20;
    QTest::newRow("text is a memo") << "SELECT CAST(repeat('ab', 5000) AS text) AS v" << int(ftMemo) << 0;
    QTest::newRow("short text is a memo too") << "SELECT CAST('court' AS text) AS v" << int(ftMemo) << 0;
    QTest::newRow("bytea with a zero byte") << "SELECT CAST('\\x00ff410d0a' AS bytea) AS v" << int(ftBlob) << 0;
    QTest::newRow("numeric(40,20) keeps every digit")
        << "SELECT CAST(12345678901234567890.12345678901234567891 AS numeric(40,20)) AS v" << int(ftBCD) << 20;
    QTest::newRow("negative numeric") << "SELECT CAST(-0.5 AS numeric(5,2)) AS v" << int(ftBCD) << 2;
    QTest::newRow("int2") << "SELECT CAST((-32768) AS int2) AS v" << int(ftSmallint) << 0;
    QTest::newRow("int4") << "SELECT CAST(2147483647 AS int4) AS v" << int(ftInteger) << 0;
    QTest::newRow("int8 largest") << "SELECT CAST(9223372036854775807 AS int8) AS v" << int(ftInteger) << 0;
    QTest::newRow("bool true") << "SELECT true AS v" << int(ftBoolean) << 0;
    QTest::newRow("bool false") << "SELECT false AS v" << int(ftBoolean) << 0;
    QTest::newRow("float4") << "SELECT CAST(1.5 AS float4) AS v" << int(ftFloat) << 0;
    QTest::newRow("float4 one tenth") << "SELECT CAST(0.1 AS float4) AS v" << int(ftFloat) << 0;
    QTest::newRow("numeric without precision") << "SELECT CAST(1.25 AS numeric) AS v" << int(ftBCD) << -1;
    QTest::newRow("float8") << "SELECT CAST(0.1 AS float8) AS v" << int(ftFloat) << 0;
    QTest::newRow("float8 huge") << "SELECT CAST(1e300 AS float8) AS v" << int(ftFloat) << 0;
    QTest::newRow("date") << "SELECT CAST('2024-02-29' AS date) AS v" << int(ftDate) << 0;
    QTest::newRow("time") << "SELECT CAST('13:14:15' AS time) AS v" << int(ftTime) << 0;
    QTest::newRow("timestamp") << "SELECT CAST('2024-02-29 13:14:15' AS timestamp) AS v" << int(ftDateTime) << 0;
    QTest::newRow("null integer") << "SELECT CAST(NULL AS int4) AS v" << int(ftInteger) << 0;
    QTest::newRow("empty text is no null") << "SELECT CAST('' AS varchar(5)) AS v" << int(ftString) << 5;
    QTest::newRow("several columns and rows") << "SELECT n, nom FROM odbc_small ORDER BY n" << int(ftInteger) << 0;
}

void TestOdbc::valuesReadAsThroughPostgres()
{
    QFETCH(QString, sql);
    QFETCH(int, type);
    QFETCH(int, size);
    Read direct;
    Read odbc;
    QCOMPARE(raised([&] { direct = openAndRead(kDirect, sql); }).message, QString());
    QCOMPARE(raised([&] { odbc = openAndRead(kOdbc, sql); }).message, QString());
    QCOMPARE(odbc.values, direct.values);
    QCOMPARE(odbc.type, type);
    if (size >= 0)
        QCOMPARE(odbc.size, size);
}

void TestOdbc::dataSourceNameReachesServer()
{
    // A data source named in the user's odbc.ini, as the ODBC administrator writes it.
    QTemporaryDir folder;
    const QString connection = QSettings(Databases::aliasesFile(), QSettings::IniFormat)
                                   .value(kOdbc + QStringLiteral("/database"))
                                   .toString();
    QFile ini(folder.filePath(QStringLiteral("odbc.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    // The connection string's keys under the names that the driver reads from odbc.ini.
    QByteArray section = "[Cabinet]\nDriver=PostgreSQL Unicode\n";
    for (const QString& pair : connection.split(QLatin1Char(';'))) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        const QString value = pair.section(QLatin1Char('='), 1);
        if (key != QLatin1String("DRIVER"))
            section += (key == QLatin1String("SERVER") ? QStringLiteral("Servername") : key).toUtf8() + '='
                + value.toUtf8() + '\n';
    }
    ini.write(section);
    ini.close();
    qputenv("ODBCINI", QFile::encodeName(ini.fileName()));
    QSettings(Databases::aliasesFile(), QSettings::IniFormat)
        .setValue(kOdbc + QStringLiteral("/database"), QStringLiteral("Cabinet"));
    Databases::closeAll();
    const QString outcome = outcomeOf(QStringLiteral("SELECT nom FROM odbc_small ORDER BY n"));
    QSettings(Databases::aliasesFile(), QSettings::IniFormat).setValue(kOdbc + QStringLiteral("/database"), connection);
    Databases::closeAll();
    qunsetenv("ODBCINI");
    QCOMPARE(outcome, QStringLiteral("a,b,c"));
}

void TestOdbc::handWrittenAliasReachesServer_data()
{
    QTest::addColumn<QByteArray>("content"); // %1: the connection string, %2: the user, %3: the password
    QTest::addColumn<QString>("outcome");
    // README's own example, as an administrator types it.
    QTest::newRow("connection string without quotes")
        << QByteArray("[Velorin]\ndriver=QODBC\ndatabase=%1\nuser=%2\npassword=%3\n") << "a,b,c";
    QTest::newRow("as a Windows editor saves it") << QByteArray(
        "\xEF\xBB\xBF; Base du cabinet\r\n[Velorin]\r\ndriver = QODBC\r\ndatabase = %1\r\n"
        "user = \"%2\"\r\npassword = %3\r\n") << "a,b,c";
    QTest::newRow("the encoding UTF8, as the driver reads")
        << QByteArray("[Velorin]\ndriver=QODBC\ndatabase=%1\nuser=%2\npassword=%3\nencoding=UTF8\n") << "a,b,c";
    // Qt's ODBC driver decodes the text itself: a legacy code page would be misread.
    QTest::newRow("a legacy encoding is refused, not misread")
        << QByteArray("[Velorin]\ndriver=QODBC\ndatabase=%1\nuser=%2\npassword=%3\nencoding=WIN1252\n")
        << "L'alias Velorin indique encoding=WIN1252 : seul le pilote QPSQL lit une base de données dans cet "
           "encodage.";
}

void TestOdbc::handWrittenAliasReachesServer()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, outcome);
    const QString connection = QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=%1;PORT=%2;DATABASE=%3;BoolsAsChar=0")
                                   .arg(m_server->host(), QString::number(m_server->port()), m_server->database());
    QFile file(Databases::aliasesFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QString::fromUtf8(content).arg(connection, m_server->user(), m_server->password()).toUtf8());
    file.close();
    Databases::closeAll();
    const QString read = outcomeOf(QStringLiteral("SELECT nom FROM odbc_small ORDER BY n"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(before);
    file.close();
    Databases::closeAll();
    QCOMPARE(read, outcome);
}

void TestOdbc::errorsAreTheServersLines_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("place"); // where the error points; the driver tells only "near"
    QTest::newRow("missing table") << "SELECT * FROM nowhere"
                                   << "ERROR: relation \"nowhere\" does not exist" << -1;
    QTest::newRow("syntax") << "SELECT FROM WHERE"
                            << "ERROR: syntax error at or near \"WHERE\"" << 12;
    QTest::newRow("division by zero") << "SELECT 1 / 0"
                                      << "ERROR: division by zero" << -1;
    QTest::newRow("no result set") << "UPDATE odbc_small SET nom = nom"
                                   << "Erreur à la création du handle de curseur" << -1;
}

void TestOdbc::errorsAreTheServersLines()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QFETCH(int, place);
    QCOMPARE(outcomeOf(sql), message);
    TQuery q;
    q.setDatabaseName(kOdbc);
    q.setSQL(sql);
    try {
        q.open();
    } catch (const EDatabaseError& e) {
        QCOMPARE(e.position(), place);
    }
}

void TestOdbc::batchAppliesAllOrNothing_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("rows");
    QTest::newRow("a later statement fails") << "DELETE FROM odbc_small; SELECT * FROM nowhere"
                                             << "relation \"nowhere\" does not exist"
                                             << "3";
    QTest::newRow("a statement fails to parse") << "DELETE FROM odbc_small; SELECT * FROM odbc_small WHERE"
                                                << "syntax error"
                                                << "3";
    QTest::newRow("a text run as written says what it applied")
        << "BEGIN; DELETE FROM odbc_small WHERE n = 1; COMMIT; SELECT * FROM nowhere"
        << "Instruction 4 : ERROR: relation \"nowhere\" does not exist\n« SELECT * FROM nowhere »\n"
           "Les instructions 1 à 3 ont été appliquées."
        << "2";
    QTest::newRow("a text run as written failing first applied nothing")
        << "DELETE FROM nowhere; VACUUM odbc_small"
        << "Instruction 1 : ERROR: relation \"nowhere\" does not exist\n« DELETE FROM nowhere »"
        << "3";
    QTest::newRow("changes before the result set are kept")
        << "DELETE FROM odbc_small WHERE n = 1; SELECT count(*) FROM odbc_small"
        << ""
        << "2";
}

void TestOdbc::batchAppliesAllOrNothing()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QFETCH(QString, rows);
    const QString outcome = outcomeOf(sql);
    if (message.isEmpty())
        QCOMPARE(outcome, rows);
    else
        QVERIFY2(outcome.contains(message), qPrintable(outcome));
    QCOMPARE(m_server->value(QStringLiteral("SELECT count(*) FROM odbc_small")), rows);
}

void TestOdbc::postChecksRecordStillHoldsWhatWasRead_data()
{
    QTest::addColumn<QString>("relation"); // run before the table is read
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");
    QTest::newRow("nobody else wrote") << ""
                                       << "odbc_listbase"
                                       << ""
                                       << ""
                                       << "S1 S2|;";
    QTest::newRow("another program appended a statement")
        << ""
        << "odbc_listbase"
        << "UPDATE odbc_listbase SET tttypes = tttypes || ' S9'" << recordChangedMessage() << "S1 S9|;";
    QTest::newRow("another program changed the separator") << ""
                                                           << "odbc_listbase"
                                                           << "UPDATE odbc_listbase SET police5 = '#@'"
                                                           << ""
                                                           << "S1 S2|#@";
    QTest::newRow("another program deleted the record") << ""
                                                        << "odbc_listbase"
                                                        << "DELETE FROM odbc_listbase" << recordGoneMessage() << "";
    // Created without quotes, the settings table is stored as listbase; the program names it ListBase.
    const QString plain = QStringLiteral(
        "CREATE TABLE ListBase (tttypes TEXT, police5 VARCHAR(20)); INSERT INTO ListBase VALUES ('S1', ';');");
    QTest::newRow("settings table created without quotes") << plain << "ListBase"
                                                           << ""
                                                           << ""
                                                           << "S1 S2|;";
    QTest::newRow("without a key, another program wrote")
        << plain << "ListBase"
        << "UPDATE ListBase SET police5 = '#@'" << recordGoneMessage() << "S1|#@";
    QTest::newRow("without a key, two records hold the same values")
        << plain + "INSERT INTO ListBase VALUES ('S1', ';')"
        << "ListBase"
        << "" << recordNotUniqueMessage() << "S1|;,S1|;";
}

void TestOdbc::postChecksRecordStillHoldsWhatWasRead()
{
    QFETCH(QString, relation);
    QFETCH(QString, table);
    QFETCH(QString, other);
    QFETCH(QString, message);
    QFETCH(QString, stored);
    if (!relation.isEmpty())
        QCOMPARE(m_server->run(relation), QString());
    TTable t;
    t.setDatabaseName(kOdbc);
    t.setTableName(table);
    QCOMPARE(raised([&] { t.open(); }).message, QString());
    t.edit();
    t.FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1 S2"));
    if (!other.isEmpty())
        QCOMPARE(m_server->run(other), QString());
    QCOMPARE(raised([&] { t.post(); }).message, message);
    QCOMPARE(m_server->value(QStringLiteral("SELECT string_agg(concat(tttypes, '|', police5), ',' "
                                            "ORDER BY tttypes COLLATE \"C\") FROM %1")
                                 .arg(table)),
        stored);
    // Nothing is left locked, whatever the outcome.
    QCOMPARE(m_server->run(QStringLiteral("UPDATE %1 SET police5 = police5").arg(table)), QString());
}

void TestOdbc::lostSessionIsOpenedAgain_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("loginRefused");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("stored");
    QTest::newRow("a query") << "SELECT nom FROM odbc_small ORDER BY n" << false << "a,b,c"
                             << "3";
    QTest::newRow("a change runs once") << "INSERT INTO odbc_small VALUES (9, 'z') RETURNING n" << false << "9"
                                        << "4";
    QTest::newRow("a batch runs once") << "INSERT INTO odbc_small VALUES (8, 'y'); SELECT count(*) FROM odbc_small"
                                       << false << "4"
                                       << "4";
    QTest::newRow("session refused: the server's message")
        << "SELECT nom FROM odbc_small ORDER BY n" << true << "role \"odbc_secretariat\" is not permitted to log in"
        << "3";
}

void TestOdbc::lostSessionIsOpenedAgain()
{
    QFETCH(QString, sql);
    QFETCH(bool, loginRefused);
    QFETCH(QString, outcome);
    QFETCH(QString, stored);
    // A role of its own, which the alias's password opens, whatever the server asks.
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    const QString password = ini.value(kOdbc + QStringLiteral("/password")).toString();
    QCOMPARE(m_server->run(QStringLiteral("DROP ROLE IF EXISTS odbc_secretariat;"
                                          "CREATE ROLE odbc_secretariat LOGIN %1;"
                                          "GRANT ALL ON odbc_small TO odbc_secretariat")
                               .arg(password.isEmpty() ? QString() : QStringLiteral("PASSWORD '%1'").arg(password))),
        QString());
    ini.setValue(kOdbc + QStringLiteral("/user"), QStringLiteral("odbc_secretariat"));
    ini.sync();
    Databases::closeAll();
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM odbc_small")), QStringLiteral("3"));

    // The server ends the session, as it does when it stops or restarts.
    const QString ending = loginRefused ? QStringLiteral("ALTER ROLE odbc_secretariat NOLOGIN;") : QString();
    QCOMPARE(m_server->run(ending
                 + QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                  "WHERE usename = 'odbc_secretariat'")),
        QString());
    const QString first = outcomeOf(sql);
    QVERIFY2(first.contains(outcome), qPrintable(first));
    QCOMPARE(m_server->value(QStringLiteral("SELECT count(*) FROM odbc_small")), stored);

    // The window goes on working once the server takes the session again.
    QCOMPARE(m_server->run(QStringLiteral("ALTER ROLE odbc_secretariat LOGIN")), QString());
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM odbc_small")), stored);
    ini.setValue(kOdbc + QStringLiteral("/user"), QStringLiteral("postgres"));
    ini.sync();
    Databases::closeAll();
}

void TestOdbc::readOnlyAliasWritesNothing_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::newRow("a change") << "DELETE FROM odbc_small; SELECT 1"
                              << "read-only transaction";
    QTest::newRow("a change alone") << "UPDATE odbc_small SET nom = 'x'"
                                    << "read-only transaction";
    QTest::newRow("a query still runs") << "SELECT count(*) FROM odbc_small"
                                        << "3";
}

void TestOdbc::readOnlyAliasWritesNothing()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.setValue(kOdbc + QStringLiteral("/readonly"), QStringLiteral("true"));
    ini.sync();
    Databases::closeAll();
    const QString outcome = outcomeOf(sql);
    ini.remove(kOdbc + QStringLiteral("/readonly"));
    ini.sync();
    Databases::closeAll();
    QVERIFY2(outcome.contains(message), qPrintable(outcome));
    QCOMPARE(m_server->value(QStringLiteral("SELECT string_agg(nom, '') FROM odbc_small")), QStringLiteral("abc"));
}

void TestOdbc::stoppedStatementKeepsNothing_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("stopAt"); // rows read when the caller says stop; -1: never
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("stored");
    const QString series = QStringLiteral("SELECT n FROM generate_series(1, 5000) AS n");
    QTest::newRow("stopped before the first row") << series << 0 << cancelledMessage() << "3";
    QTest::newRow("stopped while reading") << series << 2048 << cancelledMessage() << "3";
    QTest::newRow("left to run") << series << -1 << "5000"
                                 << "3";
    QTest::newRow("stopped batch leaves nothing")
        << "DELETE FROM odbc_small; " + series << 1024 << cancelledMessage() << "3";
    // The driver works on a thread of its own: the stop reaches the server at once.
    QTest::newRow("stopped while the server works before the first row")
        << "SELECT pg_sleep(30)" << 0 << cancelledMessage() << "3";
    QTest::newRow("stopped batch while the server works")
        << "DELETE FROM odbc_small; SELECT pg_sleep(30)" << 0 << cancelledMessage() << "3";
}

void TestOdbc::stoppedStatementKeepsNothing()
{
    QFETCH(QString, sql);
    QFETCH(int, stopAt);
    QFETCH(QString, outcome);
    QFETCH(QString, stored);
    auto conn = Databases::connect(kOdbc);
    QList<qint64> calls;
    QueryResult result;
    QElapsedTimer clock;
    clock.start();
    const Raised failure = raised([&] {
        result = conn->execute(sql, [&](qint64 rows) {
            calls << rows;
            return rows != stopAt;
        });
    });
    QCOMPARE(failure.kind.isEmpty() ? QString::number(result.rows->rowCount()) : failure.message, outcome);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls.first(), 0);
    QVERIFY(std::is_sorted(calls.begin(), calls.end()));
    if (stopAt >= 0)
        QCOMPARE(calls.last(), stopAt);
    QCOMPARE(m_server->value(QStringLiteral("SELECT count(*) FROM odbc_small")), stored);
    // The session goes on.
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM odbc_small")), stored);
}

// An endless result through PostgreSQL's ODBC driver is read a block of rows at a time:
// the memory ceiling stops it, and the session goes on.
void TestOdbc::endlessResultStopsAtCeiling()
{
    auto conn = Databases::connect(kOdbc);
    conn->setResultCeiling(8 * 1024 * 1024);
    const Raised failure = raised(
        [&] { conn->execute(QStringLiteral("SELECT generate_series(1, 1000000000) AS g, repeat('x', 200)")); });
    QVERIFY2(failure.message.startsWith(QStringLiteral("Résultat trop volumineux : ")), qPrintable(failure.message));
    QCOMPARE(outcomeOf(QStringLiteral("SELECT count(*) FROM odbc_small")), QStringLiteral("3"));
}

QTEST_MAIN(TestOdbc)
#include "tst_odbc.moc"
