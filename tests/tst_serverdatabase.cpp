#include "PostgresServer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Databases.h"
#include "engine/postgres/PgConnection.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTest>
#include <atomic>
#include <memory>
#include <thread>

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
    void errorPointsAtItsPlace_data();
    void errorPointsAtItsPlace();
    void catalogueListsTablesAndColumns();
    void statementTextReachesServer_data();
    void statementTextReachesServer();
    void postChecksRecordStillHoldsWhatWasRead_data();
    void postChecksRecordStillHoldsWhatWasRead();
    void refreshReadsSettingsAgain();
    void postChecksEveryTypeAsRead_data();
    void postChecksEveryTypeAsRead();
    void fieldTypesFromServerTypes_data();
    void fieldTypesFromServerTypes();
    void passwordReachesServer_data();
    void passwordReachesServer();
    void lostConnectionHeals_data();
    void lostConnectionHeals();
    void statementSentIsNeverRunTwice();
    void columnsChangedMeanwhileAreNeverMisread();
    void stopCancelsOnServer_data();
    void stopCancelsOnServer();
    void readOnlyCannotBeEdited_data();
    void readOnlyCannotBeEdited();
    void clientEncodingIsSetBack_data();
    void clientEncodingIsSetBack();
    void legacyEncodingReadAndWritten_data();
    void legacyEncodingReadAndWritten();

private:
    // The first value of a query run through the alias, as its field shows it.
    QString queried(const QString& sql) const;

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
                 QStringLiteral("DROP TABLE IF EXISTS listdata CASCADE; DROP TABLE IF EXISTS small, listbase CASCADE;"
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
    QTest::newRow("a text run as written says what it applied")
        << "DELETE FROM small WHERE n = 1; VACUUM small; SELECT * FROM nowhere"
        << "Instruction 3 : relation \"nowhere\" does not exist\n« SELECT * FROM nowhere »\n"
           "Les instructions 1 à 2 ont été appliquées."
        << "2";
    QTest::newRow("a text with its own transaction says what it applied")
        << "BEGIN; DELETE FROM small WHERE n = 1; COMMIT; SELECT * FROM nowhere"
        << "Instruction 4 : relation \"nowhere\" does not exist\n« SELECT * FROM nowhere »\n"
           "Les instructions 1 à 3 ont été appliquées."
        << "2";
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

void TestServerDatabase::errorPointsAtItsPlace_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("pointed"); // the text at the error's place; empty: no place
    QTest::newRow("unknown table") << "SELECT * FROM nowhere"
                                   << "nowhere";
    QTest::newRow("second statement of two") << "DELETE FROM small; SELECT * FROM nowhere"
                                             << "nowhere";
    QTest::newRow("after text beyond one UTF-16 unit") << "SELECT 'é€😀', nothing FROM small"
                                                       << "nothing";
    QTest::newRow("after a doubled colon") << "SELECT '7'::::int, nothing FROM small"
                                           << "nothing";
    QTest::newRow("a cast refused, after a doubled colon") << "SELECT n FROM small WHERE n > 'x'::::int"
                                                           << "'x'";
    QTest::newRow("no place") << "SELECT 1 / 0"
                              << "";
}

void TestServerDatabase::errorPointsAtItsPlace()
{
    QFETCH(QString, sql);
    QFETCH(QString, pointed);
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(sql);
    try {
        q.open();
        QFAIL("the statement ran");
    } catch (const EDatabaseError& e) {
        QCOMPARE(e.position() < 0, pointed.isEmpty());
        if (!pointed.isEmpty())
            QCOMPARE(sql.mid(e.position(), pointed.size()), pointed);
    }
}

void TestServerDatabase::catalogueListsTablesAndColumns()
{
    QCOMPARE(m_server->run(QStringLiteral("CREATE OR REPLACE VIEW small_names AS SELECT nom FROM small")), QString());
    QStringList seen;
    for (const CatalogueTable& t : Databases::connect(QStringLiteral("Velorin"))->catalogue()) {
        QStringList columns;
        for (const CatalogueColumn& c : t.columns)
            columns << c.name;
        seen << t.name + QLatin1Char('(') + columns.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    QCOMPARE(seen,
        QStringList({ QStringLiteral("listbase(id,tttypes,police5)"), QStringLiteral("small(n,nom)"),
            QStringLiteral("small_names(nom)") }));
}

void TestServerDatabase::statementTextReachesServer_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("an escaped quote and a semicolon in E'...'") << "SELECT E'a\\'b;c'"
                                                                << "a'b;c" << 3;
    QTest::newRow("a doubled colon, a cast") << "SELECT '7'::::int + 1"
                                             << "8" << 3;
    QTest::newRow("a semicolon in a dollar-quoted body") << "SELECT $$a;b$$"
                                                         << "a;b" << 3;
    QTest::newRow("the last statement's rows") << "SELECT 1; SELECT 2;"
                                               << "2" << 3;
    // Queries stream their rows; the text around them must keep its meaning.
    QTest::newRow("a comment at the end") << "SELECT 5 -- the end);"
                                          << "5" << 3;
    QTest::newRow("a query in parentheses") << "(SELECT 7) UNION ALL (SELECT 8) ORDER BY 1 DESC"
                                            << "8" << 3;
    QTest::newRow("VALUES") << "VALUES (9), (10)"
                            << "9" << 3;
    QTest::newRow("TABLE") << "TABLE small ORDER BY n DESC"
                           << "3" << 3;
    QTest::newRow("a change in WITH runs once")
        << "WITH added AS (INSERT INTO small VALUES (4, 'd') RETURNING n) SELECT n FROM added"
        << "4" << 4;
    QTest::newRow("rows locked for update") << "SELECT nom FROM small WHERE n = 2 FOR UPDATE"
                                            << "b" << 3;
    // Statements that give rows without being queries, and types read as text.
    QTest::newRow("a change that returns its rows") << "INSERT INTO small VALUES (5, 'e') RETURNING nom"
                                                    << "e" << 4;
    QTest::newRow("SHOW") << "SHOW DateStyle"
                          << "ISO, YMD" << 3;
    QTest::newRow("a type read as text beside binary ones") << "SELECT interval '1 day', 2"
                                                            << "1 day" << 3;
    QTest::newRow("a failure after the first rows") << "SELECT 1 / (g - 5000) FROM generate_series(1, 10000) g"
                                                    << "division by zero" << 3;
}

// The statements of a text reach the server whole, one by one, and run once.
void TestServerDatabase::statementTextReachesServer()
{
    QFETCH(QString, sql);
    QFETCH(QString, value);
    QFETCH(int, rowsAfter);
    QCOMPARE(queried(sql), value);
    QCOMPARE(m_server->value(QStringLiteral("SELECT count(*) FROM small")), QString::number(rowsAfter));
    QCOMPARE(queried(QStringLiteral("SELECT count(*) FROM small")), QString::number(rowsAfter));
}

void TestServerDatabase::postChecksRecordStillHoldsWhatWasRead_data()
{
    QTest::addColumn<QString>("relation"); // run before the table is read
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");
    const QString noKey = QStringLiteral("ALTER TABLE listbase DROP CONSTRAINT listbase_pkey;");
    const QString view = QStringLiteral("CREATE VIEW listview AS SELECT tttypes, police5 FROM listbase;");
    QTest::newRow("another program appended a statement")
        << ""
        << "listbase"
        << "UPDATE listbase SET tttypes = tttypes || ' S9'" << recordChangedMessage() << "S1 S9|;";
    QTest::newRow("another program changed the separator") << ""
                                                           << "listbase"
                                                           << "UPDATE listbase SET police5 = '#@'"
                                                           << ""
                                                           << "S1 S2|#@";
    QTest::newRow("nobody else wrote") << ""
                                       << "listbase"
                                       << "SELECT 1"
                                       << ""
                                       << "S1 S2|;";
    // Without a primary key a row is found by its place, which any write moves.
    QTest::newRow("no primary key, nobody else wrote") << noKey << "listbase"
                                                       << "SELECT 1"
                                                       << ""
                                                       << "S1 S2|;";
    QTest::newRow("no primary key, another program wrote")
        << noKey << "listbase"
        << "UPDATE listbase SET police5 = '#@'" << recordGoneMessage() << "S1|#@";
    QTest::newRow("no primary key, two records hold the same values")
        << noKey + "INSERT INTO listbase VALUES (1, 'S1', ';')"
        << "listbase"
        << "SELECT 1"
        << ""
        << "S1|;,S1 S2|;";
    QTest::newRow("another program deleted the row") << ""
                                                     << "listbase"
                                                     << "DELETE FROM listbase" << recordGoneMessage() << "";
    // A view's rows have no place: a row is found by all its values.
    QTest::newRow("a view, nobody else wrote") << view << "listview"
                                               << "SELECT 1"
                                               << ""
                                               << "S1 S2|;";
    QTest::newRow("a view with a null, nobody else wrote") << "UPDATE listbase SET police5 = NULL;" + view << "listview"
                                                           << "SELECT 1"
                                                           << ""
                                                           << "S1 S2|";
    QTest::newRow("a view, another program wrote")
        << view << "listview"
        << "UPDATE listbase SET police5 = '#@'" << recordGoneMessage() << "S1|#@";
    QTest::newRow("a view, another program deleted the row") << view << "listview"
                                                             << "DELETE FROM listbase" << recordGoneMessage() << "";
    QTest::newRow("a view, two records hold the same values") << view + "INSERT INTO listbase VALUES (2, 'S1', ';')"
                                                              << "listview"
                                                              << "SELECT 1" << recordNotUniqueMessage() << "S1|;,S1|;";
    QTest::newRow("a view, another program added the same values")
        << view << "listview"
        << "INSERT INTO listbase VALUES (2, 'S1', ';')" << recordNotUniqueMessage() << "S1|;,S1|;";
}

void TestServerDatabase::postChecksRecordStillHoldsWhatWasRead()
{
    QFETCH(QString, relation);
    QFETCH(QString, table);
    QFETCH(QString, other);
    QFETCH(QString, message);
    QFETCH(QString, stored);
    if (!relation.isEmpty())
        QCOMPARE(m_server->run(relation), QString());
    TTable t;
    t.setDatabaseName(QStringLiteral("Velorin"));
    t.setTableName(table);
    QCOMPARE(raised([&] { t.open(); }).message, QString());
    t.edit();
    t.FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1 S2"));
    QCOMPARE(m_server->run(other), QString());
    QCOMPARE(raised([&] { t.post(); }).message, message);
    QCOMPARE(m_server->value(QStringLiteral("SELECT string_agg(concat(tttypes, '|', police5), ',' "
                                            "ORDER BY tttypes COLLATE \"C\") FROM listbase")),
        stored);
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

void TestServerDatabase::postChecksEveryTypeAsRead_data()
{
    QTest::addColumn<QString>("extra");
    QTest::newRow("the binary form") << QString();
    QTest::newRow("the text form") << ", u uuid DEFAULT 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'";
}

// A post finds the stored record holding what was read, whichever form the table was
// read in: the check reads only the fields set, maybe in the other form.
void TestServerDatabase::postChecksEveryTypeAsRead()
{
    QFETCH(QString, extra);
    QCOMPARE(m_server->run(QStringLiteral(
                 "DROP TABLE IF EXISTS typed; CREATE TABLE typed (id int PRIMARY KEY, m money, x numeric(12,4), "
                 "d date, f real, b bool, o bytea%1);"
                 "INSERT INTO typed (id, m, x, d, f, b, o) VALUES "
                 "(1, 1234.56, -1.5, 'infinity', 1.1, true, '\\x00ff')")
                               .arg(extra)),
        QString());
    TTable t;
    t.setDatabaseName(QStringLiteral("Velorin"));
    t.setTableName(QStringLiteral("typed"));
    t.open();
    QCOMPARE(t.FieldByName(QStringLiteral("m"))->asString(), QStringLiteral("1234,56"));
    t.edit();
    const QStringList values { "m=2", "x=2", "d=2024-03-07", "f=2", "b=false" };
    for (const QString& value : values)
        t.FieldByName(value.section(QLatin1Char('='), 0, 0))->setAsString(value.section(QLatin1Char('='), 1));
    QCOMPARE(raised([&] { t.post(); }).message, QString());
    QCOMPARE(
        m_server->value(QStringLiteral("SELECT m::numeric || '|' || x || '|' || d || '|' || f || '|' || b FROM typed")),
        QStringLiteral("2.00|2.0000|2024-03-07|2|false"));
}

void TestServerDatabase::fieldTypesFromServerTypes_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("text");
    const auto row
        = [](const char* name, const char* value, TFieldType type, int size, int precision, const QString& text) {
              QTest::newRow(name) << QString::fromUtf8(value) << int(type) << size << precision << text;
          };
    row("varchar(n)", "'Élodie'::varchar(40)", ftString, 40, 0, QStringLiteral("Élodie"));
    row("char(n)", "'ab'::char(4)", ftString, 4, 0, QStringLiteral("ab  "));
    row("text", "'une note'::text", ftMemo, 0, 0, QStringLiteral("une note"));
    row("varchar without size", "'x'::varchar", ftMemo, 0, 0, QStringLiteral("x"));
    row("bytea", "'\\x41004243'::bytea", ftBlob, 0, 0, QString::fromLatin1("A\0BC", 4));
    row("money", "1234.56::money", ftCurrency, 0, 0, QStringLiteral("1234,56"));
    row("negative money", "(-0.5)::money", ftCurrency, 0, 0, QStringLiteral("-0,5"));
    row("numeric(40,20)", "12345678901234567890.12345678901234567890::numeric(40,20)", ftBCD, 20, 40,
        QStringLiteral("12345678901234567890,12345678901234567890"));
    row("numeric keeps its scale", "(-1.5)::numeric(10,3)", ftBCD, 3, 10, QStringLiteral("-1,500"));
    row("numeric below one", "0.00012::numeric", ftBCD, 0, 0, QStringLiteral("0,00012"));
    row("numeric of many groups", "100000000.00000001::numeric", ftBCD, 0, 0, QStringLiteral("100000000,00000001"));
    row("numeric not a number", "'NaN'::numeric", ftBCD, 0, 0, QStringLiteral("NaN"));
    row("numeric infinity", "'-Infinity'::numeric", ftBCD, 0, 0, QStringLiteral("-Infinity"));
    row("int2", "(-32768)::int2", ftSmallint, 0, 0, QStringLiteral("-32768"));
    row("int4", "2147483647::int4", ftInteger, 0, 0, QStringLiteral("2147483647"));
    row("int8", "(-9223372036854775807)::int8", ftInteger, 0, 0, QStringLiteral("-9223372036854775807"));
    row("bool", "true", ftBoolean, 0, 0, QStringLiteral("Vrai"));
    row("float4", "1.1::float4", ftFloat, 0, 0, QStringLiteral("1,1"));
    row("float8", "0.1::float8 + 0.2", ftFloat, 0, 0, QStringLiteral("0,3"));
    row("date", "'2024-03-07'::date", ftDate, 0, 0, QStringLiteral("07/03/2024"));
    row("date infinity", "'infinity'::date", ftDate, 0, 0, QStringLiteral("infinity"));
    row("date minus infinity", "'-infinity'::date", ftDate, 0, 0, QStringLiteral("-infinity"));
    row("date BC", "'4713-01-01 BC'::date", ftDate, 0, 0, QStringLiteral("4713-01-01 BC"));
    row("date of year 294276", "'294276-12-31'::date", ftDate, 0, 0, QStringLiteral("294276-12-31"));
    row("date of a leap day", "'2000-02-29'::date", ftDate, 0, 0, QStringLiteral("29/02/2000"));
    row("time", "'10:30:15.25'::time", ftTime, 0, 0, QStringLiteral("10:30:15"));
    row("timestamp", "'2024-03-07 23:59:59.999999'::timestamp", ftDateTime, 0, 0,
        QStringLiteral("07/03/2024 23:59:59"));
    row("timestamp before 2000", "'1969-12-31 08:00'::timestamp", ftDateTime, 0, 0,
        QStringLiteral("31/12/1969 08:00:00"));
    row("timestamp BC", "'0044-03-15 12:00 BC'::timestamp", ftDateTime, 0, 0, QStringLiteral("0044-03-15 12:00:00 BC"));
    row("timestamp infinity", "'infinity'::timestamp", ftDateTime, 0, 0, QStringLiteral("infinity"));
    row("timestamptz", "'2024-03-07 10:30:00+00'::timestamptz", ftDateTime, 0, 0,
        QStringLiteral("07/03/2024 10:30:00"));
    row("timestamptz minus infinity", "'-infinity'::timestamptz", ftDateTime, 0, 0, QStringLiteral("-infinity"));
    row("uuid", "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid", ftString, 36, 0,
        QStringLiteral("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"));
    row("null", "NULL::int4", ftInteger, 0, 0, QString());
}

// Each value is read twice: alone (in the server's binary form where the engine reads
// it) and beside a column that only the text form gives, which must show the same.
// The casts are written with doubled colons, as a statement's text keeps a colon.
void TestServerDatabase::fieldTypesFromServerTypes()
{
    QFETCH(QString, value);
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(int, precision);
    QFETCH(QString, text);
    for (const QString& extra : { QString(), QStringLiteral(", NULL::interval AS textform") }) {
        TQuery q;
        q.setDatabaseName(QStringLiteral("Velorin"));
        q.setSQL(
            QStringLiteral("SELECT %1 AS v%2").arg(value, extra).replace(QStringLiteral("::"), QStringLiteral("::::")));
        QCOMPARE(raised([&] { q.open(); }).message, QString());
        const TField* f = q.FieldByName(QStringLiteral("v"));
        QCOMPARE(int(f->dataType()), type);
        QCOMPARE(f->size(), size);
        QCOMPARE(f->precision(), precision);
        QCOMPARE(f->asString(), text);
    }
}

QString TestServerDatabase::queried(const QString& sql) const
{
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(sql);
    const Raised failure = raised([&] { q.open(); });
    return failure.message.isEmpty() ? q.field(0)->asString() : failure.message;
}

void TestServerDatabase::passwordReachesServer_data()
{
    QTest::addColumn<bool>("hasPassword");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("the alias's password") << true << m_server->password() << QString();
    QTest::newRow("a password that a login gave") << false << m_server->password() << QString();
    QTest::newRow("no password") << false << QString() << "fe_sendauth: no password supplied";
    QTest::newRow("a wrong password")
        << true << "faux" << QStringLiteral("password authentication failed for user \"%1\"").arg(m_server->user());
}

// The server asks for a password: the alias's, or the one the login prompt gave when
// the alias holds none. A refusal is the server's message on one line.
void TestServerDatabase::passwordReachesServer()
{
    QFETCH(bool, hasPassword);
    QFETCH(QString, password);
    QFETCH(QString, message);
    AliasSettings s;
    s.driver = QStringLiteral("QPSQL");
    s.host = m_server->host();
    s.port = m_server->port();
    s.database = m_server->database();
    s.user = m_server->user();
    s.hasPassword = hasPassword;
    s.password = password;
    std::unique_ptr<PgConnection> connection;
    const Raised failure = raised([&] { connection = std::make_unique<PgConnection>(s); });
    if (message.isEmpty()) {
        QCOMPARE(failure.message, QString());
        QCOMPARE(connection->execute(QStringLiteral("SELECT 1")).rows->cell(0, 0).integer, qint64(1));
        return;
    }
    QVERIFY2(failure.message.endsWith(message), qPrintable(failure.message));
    QVERIFY(!failure.message.contains(QLatin1Char('\n')));
}

void TestServerDatabase::lostConnectionHeals_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("message");
    // The server ends every session of the database, as it does when it stops.
    const QString endSessions = QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                               "WHERE datname = '%1'")
                                    .arg(m_server->database());
    QTest::newRow("the server ended the session") << endSessions << QString() << QString();
    QTest::newRow("the server refuses to connect again")
        << QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS false; ").arg(m_server->database()) + endSessions
        << QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS true").arg(m_server->database())
        << QStringLiteral("database \"%1\" is not currently accepting connections").arg(m_server->database());
}

// The next statement connects again and runs; when the server refuses, its message is
// the error, and the statement after works once the server takes connections again.
void TestServerDatabase::lostConnectionHeals()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, message);
    QCOMPARE(queried(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
    QCOMPARE(m_server->runInMaintenance(before), QString());
    const QString first = queried(QStringLiteral("SELECT count(*) FROM small"));
    if (message.isEmpty()) {
        QCOMPARE(first, QStringLiteral("3"));
        return;
    }
    QVERIFY2(first.contains(message), qPrintable(first));
    QCOMPARE(first.count(QLatin1Char('\n')), 0);
    QCOMPARE(m_server->runInMaintenance(after), QString());
    QCOMPARE(queried(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
}

// A statement whose session the server ends while it runs fails with the server's
// message; running it again would insert the row.
void TestServerDatabase::statementSentIsNeverRunTwice()
{
    QCOMPARE(queried(QStringLiteral("SELECT 1")), QStringLiteral("1"));
    std::thread other([this] {
        m_server->run(QStringLiteral("SELECT pg_sleep(1); SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                     "WHERE query LIKE 'INSERT INTO small%'"));
    });
    const QString message = queried(QStringLiteral("INSERT INTO small SELECT 9, pg_sleep(4)::::text RETURNING n"));
    other.join();
    QCOMPARE(message, QStringLiteral("terminating connection due to administrator command"));
    QCOMPARE(m_server->value(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
    QCOMPARE(queried(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
}

// Another session changes a column's type over and over while queries run: each
// value is read as the type the server sent it in, never as the type before.
void TestServerDatabase::columnsChangedMeanwhileAreNeverMisread()
{
    QCOMPARE(m_server->run(QStringLiteral(
                 "DROP TABLE IF EXISTS racey; CREATE TABLE racey (c INTEGER); INSERT INTO racey VALUES (1)")),
        QString());
    std::shared_ptr<Connection> connection = Databases::connect(QStringLiteral("Velorin"));
    std::atomic<bool> done = false;
    std::thread other([this, &done] {
        m_server->run(QStringLiteral("DO $$ BEGIN FOR i IN 1..300 LOOP ALTER TABLE racey ALTER c TYPE real; COMMIT; "
                                     "ALTER TABLE racey ALTER c TYPE integer; COMMIT; END LOOP; END $$"));
        done = true;
    });
    int queries = 0;
    QStringList misread;
    while (!done) {
        try {
            const QueryResult r = connection->execute(QStringLiteral("SELECT c FROM racey"), {});
            // A rewritten table may look empty to a query that began before the rewrite.
            if (r.rows->rowCount() == 0)
                continue;
            const CellRef c = r.rows->cell(0, 0);
            const bool one
                = (c.cls == CellClass::Integer && c.integer == 1) || (c.cls == CellClass::Float && c.real == 1.0);
            if (!one)
                misread << QString::number(c.integer) + QLatin1Char('/') + QString::number(c.real);
            ++queries;
        } catch (const EDatabaseError& e) {
            // A plan made before the change may be refused by the server: that is no misreading.
            if (!e.message().contains(QLatin1String("cached plan must not change result type")))
                misread << e.message();
        }
    }
    other.join();
    m_server->run(QStringLiteral("DROP TABLE racey"));
    QVERIFY2(misread.isEmpty(), qPrintable(misread.join(QLatin1String(", "))));
    QVERIFY(queries > 10);
}

void TestServerDatabase::stopCancelsOnServer_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<qint64>("stopAt");
    QTest::addColumn<QString>("raise");
    QTest::addColumn<QString>("message");
    QTest::newRow("while the server works before the first row")
        << "SELECT pg_sleep(60)" << qint64(0) << QString() << cancelledMessage();
    QTest::newRow("while the rows arrive") << "SELECT g, repeat('x', 200) FROM generate_series(1, 50000000) g"
                                           << qint64(1) << QString() << cancelledMessage();
    QTest::newRow("while values larger than a receive arrive")
        << "SELECT g, repeat('x', 10000000) FROM generate_series(1, 100000) g" << qint64(1) << QString()
        << cancelledMessage();
    QTest::newRow("in a batch, whose changes are undone")
        << "INSERT INTO small VALUES (7, 'y'); SELECT pg_sleep(60)" << qint64(0) << QString() << cancelledMessage();
    // What the caller raises (a result grown too large) ends the statement as well.
    QTest::newRow("the caller raises while the rows arrive")
        << "INSERT INTO small VALUES (7, 'y'); SELECT g FROM generate_series(1, 50000000) g" << qint64(1)
        << "Résultat trop volumineux"
        << "Résultat trop volumineux";
}

// The stop request reaches the server: the statement ends at once as a stopped run,
// nothing of it stays, and the connection goes on working.
void TestServerDatabase::stopCancelsOnServer()
{
    QFETCH(QString, sql);
    QFETCH(qint64, stopAt);
    QFETCH(QString, raise);
    QFETCH(QString, message);
    std::shared_ptr<Connection> connection = Databases::connect(QStringLiteral("Velorin"));
    QElapsedTimer clock;
    clock.start();
    int calls = 0;
    const Raised stopped = raised([&] {
        connection->execute(sql, [&](qint64 rows) {
            ++calls;
            const bool goOn = rows < stopAt || clock.elapsed() < 300;
            if (!goOn && !raise.isEmpty())
                throw EDatabaseError(raise);
            return goOn;
        });
    });
    QCOMPARE(stopped.message, message);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(calls > 1);
    QCOMPARE(m_server->value(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
    QCOMPARE(queried(QStringLiteral("SELECT count(*) FROM small")), QStringLiteral("3"));
}

void TestServerDatabase::readOnlyCannotBeEdited_data()
{
    QTest::addColumn<QString>("grant");
    QTest::addColumn<bool>("readOnlyAlias");
    QTest::newRow("a role that may only read the table") << "GRANT SELECT ON listbase TO %1" << false;
    QTest::newRow("a role whose sessions only read")
        << "GRANT ALL ON listbase TO %1; ALTER ROLE %1 SET default_transaction_read_only = on" << false;
    QTest::newRow("an alias that only reads") << "GRANT ALL ON listbase TO %1" << true;
    QTest::newRow("a view the server cannot update")
        << "ALTER TABLE listbase RENAME TO listdata; CREATE VIEW listbase AS SELECT DISTINCT * FROM listdata;"
           "GRANT ALL ON listbase TO %1"
        << false;
}

void TestServerDatabase::readOnlyCannotBeEdited()
{
    QFETCH(QString, grant);
    QFETCH(bool, readOnlyAlias);
    const QString role = m_server->database() + QStringLiteral("_lecteur");
    const QString drop = QStringLiteral("DO $$BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN "
                                        "EXECUTE 'DROP OWNED BY %1'; EXECUTE 'DROP ROLE %1'; END IF; END$$")
                             .arg(role);
    QCOMPARE(m_server->run(drop), QString());
    QCOMPARE(m_server->run(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'lecteur'; ").arg(role) + grant.arg(role)),
        QString());
    m_server->writeAlias(QStringLiteral("Velorin"), role, QStringLiteral("lecteur"));
    if (readOnlyAlias)
        QSettings(Databases::aliasesFile(), QSettings::IniFormat).setValue(QStringLiteral("Velorin/readonly"), true);
    {
        TTable t;
        t.setDatabaseName(QStringLiteral("Velorin"));
        t.setTableName(QStringLiteral("ListBase.DB"));
        t.open();
        QCOMPARE(t.FieldByName(QStringLiteral("POLICE5"))->text(), QStringLiteral(";"));
        QCOMPARE(raised([&] { t.edit(); }).message, readOnlyMessage());
    }
    m_server->writeAlias(QStringLiteral("Velorin"));
    QCOMPARE(m_server->run(drop), QString());
}

void TestServerDatabase::clientEncodingIsSetBack_data()
{
    const QString setBack
        = QStringLiteral("VeloSQL échange avec le serveur en UTF8 : client_encoding est remis à UTF8.");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::newRow("SET alone, as a dump script starts") << "SET client_encoding = 'WIN1252'" << setBack;
    QTest::newRow("a query that sets it while its rows go out")
        << "SELECT set_config('client_encoding', 'LATIN1', false), 'Hélène'" << setBack;
    QTest::newRow("in a batch, before a query")
        << "SET client_encoding = 'WIN1252'; SELECT 'Hélène €'"
        << "Instruction 1 : " + setBack + "\n« SET client_encoding = 'WIN1252' »";
    QTest::newRow("in a text run as written")
        << "SET client_encoding TO 'LATIN1'; VACUUM small"
        << "Instruction 1 : " + setBack + "\n« SET client_encoding TO 'LATIN1' »";
}

// A statement that changes the session's client encoding is told, and the session goes
// on in the encoding the program reads and writes: the next query and the next post of
// a record carry accented letters and the euro sign as they are.
void TestServerDatabase::clientEncodingIsSetBack()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    TTable t;
    t.setDatabaseName(QStringLiteral("Velorin"));
    t.setTableName(QStringLiteral("ListBase.DB"));
    t.open();
    QCOMPARE(queried(sql), message);
    QCOMPARE(queried(QStringLiteral("SELECT 'Hélène €'")), QStringLiteral("Hélène €"));
    t.edit();
    t.FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("SELECT 'Hélène €'"));
    t.post();
    QCOMPARE(
        m_server->value(QStringLiteral("SELECT tttypes = 'SELECT ''Hélène €''' FROM listbase")), QStringLiteral("t"));
}

void TestServerDatabase::legacyEncodingReadAndWritten_data()
{
    QTest::addColumn<QString>("serverEncoding");
    QTest::addColumn<QString>("aliasEncoding");
    QTest::addColumn<QString>("stored"); // the value's bytes, as E'...' writes them
    QTest::addColumn<QString>("read"); // the value read, or the end of the error
    QTest::addColumn<QString>("posted"); // none: nothing is posted
    QTest::addColumn<QString>("postError");
    QTest::addColumn<QString>("storedAfter"); // the bytes stored after the post, in hex
    QTest::newRow("SQL_ASCII written by a Windows program") << "SQL_ASCII"
                                                            << "WIN1252"
                                                            << "E'H\\xe9l\\xe8ne \\x80'"
                                                            << "Hélène €"
                                                            << "Zoë €"
                                                            << ""
                                                            << "5a6feb2080";
    QTest::newRow("a LATIN1 database read as it is stored") << "LATIN1"
                                                            << "latin1"
                                                            << "E'H\\xe9l\\xe8ne'"
                                                            << "Hélène"
                                                            << "Zoë"
                                                            << ""
                                                            << "5a6feb";
    QTest::newRow("a WIN1252 database read as it is stored") << "WIN1252"
                                                             << "WIN1252"
                                                             << "E'\\x80 \\x9c'"
                                                             << "€ œ"
                                                             << "Œuvre"
                                                             << ""
                                                             << "8c75767265";
    QTest::newRow("a character that LATIN1 cannot hold is refused")
        << "LATIN1"
        << "LATIN1"
        << "E'H\\xe9l\\xe8ne'"
        << "Hélène"
        << "Zoë €"
        << "Le caractère « € » (U+20AC) ne peut pas être écrit dans cette base de données, dont le texte est en "
           "LATIN1."
        << "48e96ce86e65";
    QTest::newRow("SQL_ASCII without the key: the error names it")
        << "SQL_ASCII"
        << ""
        << "E'H\\xe9l\\xe8ne'"
        << "\nLa base de données est en SQL_ASCII : indiquez dans l'alias l'encodage de son texte, "
           "par exemple encoding=WIN1252."
        << ""
        << ""
        << "";
}

// A legacy database's text, read through an alias that names its encoding: the bytes
// as they are stored, decoded in that encoding, and written back in it.
void TestServerDatabase::legacyEncodingReadAndWritten()
{
    QFETCH(QString, serverEncoding);
    QFETCH(QString, aliasEncoding);
    QFETCH(QString, stored);
    QFETCH(QString, read);
    QFETCH(QString, posted);
    QFETCH(QString, postError);
    QFETCH(QString, storedAfter);
    const QString db = m_server->database() + QStringLiteral("_legacy");
    QCOMPARE(m_server->runInMaintenance(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(db)), QString());
    QCOMPARE(m_server->runInMaintenance(
                 QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING '%2' LC_COLLATE 'C' LC_CTYPE 'C'")
                     .arg(db, serverEncoding)),
        QString());
    QCOMPARE(
        m_server->runIn(db,
            QStringLiteral("CREATE TABLE legacy (n INTEGER PRIMARY KEY, nom TEXT); INSERT INTO legacy VALUES (1, %1)")
                .arg(stored)),
        QString());
    const QString alias = QStringLiteral("Legacy");
    m_server->writeAlias(alias);
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.setValue(alias + QStringLiteral("/database"), db);
    if (!aliasEncoding.isEmpty())
        ini.setValue(alias + QStringLiteral("/encoding"), aliasEncoding);
    ini.sync();
    Databases::closeAll();
    {
        TTable t;
        t.setDatabaseName(alias);
        t.setTableName(QStringLiteral("legacy"));
        const Raised opening = raised([&] { t.open(); });
        if (posted.isEmpty()) {
            QVERIFY2(opening.message.endsWith(read), qPrintable(opening.message));
        } else {
            QCOMPARE(opening.message, QString());
            QCOMPARE(t.FieldByName(QStringLiteral("NOM"))->asString(), read);
            t.edit();
            t.FieldByName(QStringLiteral("NOM"))->setAsString(posted);
            QCOMPARE(raised([&] { t.post(); }).message, postError);
            QCOMPARE(
                m_server->valueIn(db, QStringLiteral("SELECT encode(nom::bytea, 'hex') FROM legacy")), storedAfter);
        }
    }
    Databases::closeAll();
    QSettings(Databases::aliasesFile(), QSettings::IniFormat).remove(alias);
    QCOMPARE(m_server->runInMaintenance(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(db)), QString());
}

QTEST_MAIN(TestServerDatabase)
#include "tst_serverdatabase.moc"
