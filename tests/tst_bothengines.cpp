#include "PostgresServer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "data/Query.h"
#include "engine/Databases.h"
#include "export/kdb2text.h"
#include "export/kds2html.h"

#include <QBuffer>
#include <QTest>
#include <memory>

namespace
{

// What a data set shows and the exports write: each field's type and size, then the
// text export, its side file and the HTML export.
struct Written {
    QStringList fields;
    QString firstRow; // the fields' texts in the first record, joined by "|"

    QByteArray text;
    QByteArray side;
    QByteArray html;
};

Written written(TQuery& query)
{
    Written w;
    for (int i = 0; i < query.fieldCount(); ++i)
        w.fields << QStringLiteral("%1 %2 %3")
                        .arg(query.field(i)->fieldName())
                        .arg(int(query.field(i)->dataType()))
                        .arg(query.field(i)->size());
    QStringList texts;
    for (int i = 0; i < query.fieldCount(); ++i)
        texts << query.field(i)->asString();
    w.firstRow = texts.join(QLatin1Char('|'));
    QBuffer text;
    QBuffer side;
    QBuffer html;
    text.open(QIODevice::WriteOnly);
    side.open(QIODevice::WriteOnly);
    html.open(QIODevice::WriteOnly);
    TKDatasetToText toText;
    toText.setDataset(&query);
    toText.setDelimiter(';');
    toText.exportTo(text, side);
    TKDataSetToHTML toHtml;
    toHtml.setDataSet(&query);
    toHtml.exportTo(html);
    w.text = text.data();
    w.side = side.data();
    w.html = html.data();
    return w;
}

// The catalogue as lines, sorted: "[schema.]name [vue] [(schéma)]: column type #key, ...",
// "(schéma)" when a statement must name the schema to reach it.
QString described(const std::vector<CatalogueTable>& tables)
{
    QStringList lines;
    for (const CatalogueTable& t : tables) {
        QStringList columns;
        for (const CatalogueColumn& c : t.columns)
            columns << (c.name + QLatin1Char(' ') + c.type).trimmed()
                    + (c.keyPosition > 0 ? QStringLiteral(" #%1").arg(c.keyPosition) : QString());
        lines << (t.schema.isEmpty() ? QString() : t.schema + QLatin1Char('.')) + t.name
                + (t.view ? QStringLiteral(" vue") : QString())
                + (t.reachedByName ? QString() : QStringLiteral(" (schéma)")) + QStringLiteral(": ")
                + columns.join(QStringLiteral(", "));
    }
    lines.sort();
    return lines.join(QLatin1Char('|'));
}

} // namespace

// The same data on the embedded SQLite file and on a PostgreSQL server: the engine
// gives the same fields, the same batch outcome, and the exports the same files.
// Each case states its table in each engine's own words; the types that only one
// engine has are tested with that engine alone (tst_serverdatabase).
class TestBothEngines : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void sameFieldsAndFiles_data();
    void sameFieldsAndFiles();
    void batchesApplyAllOrNothing_data();
    void batchesApplyAllOrNothing();
    void parameterValuesAreOnlyValues_data();
    void parameterValuesAreOnlyValues();
    void catalogueDescribesTables_data();
    void catalogueDescribesTables();

private:
    // Builds the table on SQLite, then on the server, and opens select on each; on
    // the server through ODBC too when odbc is set and the driver is installed.
    void openOnBoth(const QString& sqlite, const QString& postgres, const QString& select,
        const std::function<void(TQuery&, const char*)>& check, bool odbc = false);
    std::unique_ptr<PostgresServer> m_server;
};

void TestBothEngines::initTestCase()
{
    initTestEnvironment();
    m_server = std::make_unique<PostgresServer>();
    if (!m_server->available() && PostgresServer::required())
        QFAIL(qPrintable(m_server->error()));
    if (!m_server->available())
        QSKIP(qPrintable(m_server->error()));
}

void TestBothEngines::cleanupTestCase()
{
    Databases::closeAll();
    m_server.reset();
}

void TestBothEngines::openOnBoth(const QString& sqlite, const QString& postgres, const QString& select,
    const std::function<void(TQuery&, const char*)>& check, bool odbc)
{
    {
        TestDatabase db(TestDatabase::Empty);
        db.exec(sqlite);
        TQuery q;
        q.setDatabaseName(QStringLiteral("Velorin"));
        q.setSQL(select);
        check(q, "SQLite");
    }
    QCOMPARE(m_server->run(QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public; ") + postgres), QString());
    m_server->writeAlias(QStringLiteral("Velorin"));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(select);
    check(q, "PostgreSQL");
    Databases::closeAll();
    if (!odbc || !PostgresServer::odbcMissing().isEmpty())
        return;
    QCOMPARE(m_server->run(QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public; ") + postgres), QString());
    m_server->writeOdbcAlias(QStringLiteral("Velorin"));
    TQuery viaOdbc;
    viaOdbc.setDatabaseName(QStringLiteral("Velorin"));
    viaOdbc.setSQL(select);
    check(viaOdbc, "ODBC");
    Databases::closeAll();
}

void TestBothEngines::sameFieldsAndFiles_data()
{
    QTest::addColumn<QString>("sqlite");
    QTest::addColumn<QString>("postgres");
    QTest::addColumn<QString>("firstRow");
    QTest::newRow("text, memo and integer")
        << "CREATE TABLE t (a VARCHAR(10), m TEXT, n INTEGER, s SMALLINT);"
           "INSERT INTO t VALUES ('a\"b', 'une note é', 12, -3), (NULL, NULL, NULL, NULL)"
        << "CREATE TABLE t (a VARCHAR(10), m TEXT, n INTEGER, s SMALLINT);"
           "INSERT INTO t VALUES ('a\"b', 'une note é', 12, -3), (NULL, NULL, NULL, NULL)"
        << "a\"b|une note é|12|-3";
    QTest::newRow("dates, times and date-times")
        << "CREATE TABLE t (d DATE, h TIME, ts DATETIME);"
           "INSERT INTO t VALUES ('2024-03-07', '10:30:15', '1999-12-31 23:59:00')"
        << "CREATE TABLE t (d DATE, h TIME, ts TIMESTAMP);"
           "INSERT INTO t VALUES ('2024-03-07', '10:30:15', '1999-12-31 23:59:00')"
        << "07/03/2024|10:30:15|31/12/1999 23:59:00";
    QTest::newRow("amounts and floats")
        << "CREATE TABLE t (m MONEY, f REAL); INSERT INTO t VALUES (1234.56, 0.1), (-0.5, 3.25e20)"
        << "CREATE TABLE t (m MONEY, f DOUBLE PRECISION); INSERT INTO t VALUES (1234.56, 0.1), (-0.5, 3.25e20)"
        << "1234,56|0,1";
    QTest::newRow("truth values") << "CREATE TABLE t (b BOOLEAN); INSERT INTO t VALUES (1), (0), (NULL)"
                                  << "CREATE TABLE t (b BOOLEAN); INSERT INTO t VALUES (true), (false), (NULL)"
                                  << "Vrai";
    QTest::newRow("blobs with zero bytes")
        << "CREATE TABLE t (id INTEGER, b BLOB); INSERT INTO t VALUES (1, X'00414200FF'), (2, X'')"
        << "CREATE TABLE t (id INTEGER, b BYTEA); INSERT INTO t VALUES (1, '\\x00414200ff'), (2, '\\x')"
        << QStringLiteral("1|") + QString::fromLatin1("\0AB\0\xFF", 5);
    QTest::newRow("characters outside Windows-1252 and line breaks")
        << "CREATE TABLE t (a VARCHAR(20), m TEXT); INSERT INTO t VALUES ('€ ✓ 😀', 'un' || char(13, 10) || 'deux')"
        << "CREATE TABLE t (a VARCHAR(20), m TEXT); INSERT INTO t VALUES ('€ ✓ 😀', 'un' || chr(13) || chr(10) || "
           "'deux')"
        << "€ ✓ 😀|un\r\ndeux";
}

void TestBothEngines::sameFieldsAndFiles()
{
    QFETCH(QString, sqlite);
    QFETCH(QString, postgres);
    QFETCH(QString, firstRow);
    std::vector<Written> files;
    openOnBoth(sqlite, postgres, QStringLiteral("SELECT * FROM t"), [&](TQuery& q, const char* engine) {
        const Raised failure = raised([&] { q.open(); });
        QVERIFY2(
            failure.message.isEmpty(), qPrintable(QString::fromLatin1(engine) + QLatin1String(": ") + failure.message));
        files.push_back(written(q));
    });
    QCOMPARE(files.size(), size_t(2));
    const Written& onSqlite = files[0];
    const Written& onServer = files[1];
    QCOMPARE(onServer.fields, onSqlite.fields);
    QCOMPARE(onSqlite.firstRow, firstRow);
    QCOMPARE(onServer.firstRow, firstRow);
    QCOMPARE(onServer.text, onSqlite.text);
    QCOMPARE(onServer.side, onSqlite.side);
    QCOMPARE(onServer.html, onSqlite.html);
}

void TestBothEngines::batchesApplyAllOrNothing_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("count");
    QTest::newRow("a later statement fails") << "DELETE FROM t; INSERT INTO t VALUES (4); SELECT * FROM nowhere"
                                             << "Instruction 3 : "
                                             << "3";
    QTest::newRow("a later statement breaks a key")
        << "DELETE FROM t WHERE n = 1; INSERT INTO t VALUES (2); SELECT * FROM t"
        << "Instruction 2 : "
        << "3";
    QTest::newRow("a text run as written keeps what ran")
        << "DELETE FROM t WHERE n = 1; BEGIN; DELETE FROM t WHERE n = 2; COMMIT; SELECT * FROM nowhere"
        << "Instruction 5 : "
        << "1";
    QTest::newRow("statements without a result set are kept")
        << "DELETE FROM t WHERE n = 1; DELETE FROM t WHERE n = 2" << noCursorMessage() << "1";
    QTest::newRow("every statement applies") << "DELETE FROM t WHERE n = 1; SELECT count(*) FROM t"
                                             << "2"
                                             << "2";
}

void TestBothEngines::batchesApplyAllOrNothing()
{
    QFETCH(QString, batch);
    QFETCH(QString, start);
    QFETCH(QString, count);
    const QString setup = QStringLiteral("CREATE TABLE t (n INTEGER PRIMARY KEY); INSERT INTO t VALUES (1), (2), (3)");
    openOnBoth(setup, setup, batch, [&](TQuery& q, const char* engine) {
        const Raised failure = raised([&] { q.open(); });
        const QString outcome = failure.message.isEmpty() ? q.field(0)->asString() : failure.message;
        QVERIFY2(outcome.startsWith(start), qPrintable(QString::fromLatin1(engine) + QLatin1String(": ") + outcome));
        TQuery rows;
        rows.setDatabaseName(QStringLiteral("Velorin"));
        rows.setSQL(QStringLiteral("SELECT count(*) FROM t"));
        rows.open();
        QCOMPARE(rows.field(0)->asString(), count);
    });
}

void TestBothEngines::parameterValuesAreOnlyValues_data()
{
    QTest::addColumn<QString>("select");
    QTest::addColumn<NamedValues>("values");
    QTest::addColumn<QString>("firstRow"); // a null shows as <NULL>
    const auto text = [](const QString& name, const QString& value) {
        return NamedValue { name, ParameterValue { value, false } };
    };
    QTest::newRow("a quote, a semicolon and a colon")
        << "SELECT :v AS v, (SELECT count(*) FROM t) AS cnt"
        << NamedValues { text("v", "O'Brien'); DELETE FROM t; :x") } << "O'Brien'); DELETE FROM t; :x|2";
    QTest::newRow("line breaks") << "SELECT :v AS v" << NamedValues { text("v", "un\r\ndeux\nfin\r") }
                                 << "un\r\ndeux\nfin\r";
    QTest::newRow("null by the check box")
        << "SELECT :v AS v" << NamedValues { { QStringLiteral("v"), ParameterValue { QStringLiteral("x"), true } } }
        << "<NULL>";
    QTest::newRow("the empty text is no null") << "SELECT :v AS v" << NamedValues { text("v", "") } << "";
    QTest::newRow("a test for null beside a comparison")
        << "SELECT a FROM t WHERE :n IS NULL OR n = :n" << NamedValues { text("n", "2") } << "a;b:c";
    QTest::newRow("an integer column takes the text of a number")
        << "SELECT a FROM t WHERE n = :n" << NamedValues { text("n", "2") } << "a;b:c";
    QTest::newRow("a text column") << "SELECT n FROM t WHERE a = :a" << NamedValues { text("a", "O'Brien") } << "1";
    // SQLite converts a text to a number only beside a column of numbers: beside an
    // expression, the statement says what the value is.
    QTest::newRow("a name used twice, one value")
        << "SELECT count(*) FROM t WHERE n = :n OR n + 1 = CAST(:n AS INTEGER)" << NamedValues { text("n", "2") }
        << "2";
    QTest::newRow("quoted colons are no parameters")
        << "SELECT ':v' AS a, :v AS b, 'x' || '::' AS c" << NamedValues { text("v", "1") } << ":v|1|x::";
    QTest::newRow("a later statement of a batch")
        << "UPDATE t SET a = :a WHERE n = :n; SELECT n, a FROM t WHERE a = :a"
        << NamedValues { text("n", "1"), text("a", "l'autre") } << "1|l'autre";
}

// Values are bound through each engine's binding as untyped texts: never part of the
// statement's text, converted where the statement compares them with a typed column.
void TestBothEngines::parameterValuesAreOnlyValues()
{
    QFETCH(QString, select);
    QFETCH(NamedValues, values);
    QFETCH(QString, firstRow);
    const QString setup = QStringLiteral(
        "CREATE TABLE t (n INTEGER, a VARCHAR(40)); INSERT INTO t VALUES (1, 'O''Brien'), (2, 'a;b:c')");
    openOnBoth(
        setup, setup, select,
        [&](TQuery& q, const char* engine) {
            q.setParameterValues(values);
            const Raised failure = raised([&] { q.open(); });
            QVERIFY2(failure.message.isEmpty(),
                qPrintable(QString::fromLatin1(engine) + QLatin1String(": ") + failure.message));
            QStringList texts;
            for (int i = 0; i < q.fieldCount(); ++i)
                texts << (q.field(i)->cell().cls == CellClass::Null ? QStringLiteral("<NULL>")
                                                                    : q.field(i)->asString());
            QCOMPARE(texts.join(QLatin1Char('|')), firstRow);
        },
        true);
}

void TestBothEngines::catalogueDescribesTables_data()
{
    QTest::addColumn<QString>("sqlite");
    QTest::addColumn<QString>("postgres");
    QTest::addColumn<QString>("onSqlite");
    QTest::addColumn<QString>("onServer");
    // Through ODBC: the driver's SQL types; the tables of every schema by name alone; a
    // name Qt cannot pass to the driver read through an empty result, without its key.
    QTest::addColumn<QString>("onOdbc");
    QTest::newRow("a key of two columns and a view")
        << "CREATE TABLE t (a INTEGER, b VARCHAR(40), c TEXT, PRIMARY KEY (b, a)); CREATE VIEW v AS SELECT b, a FROM t"
        << "CREATE TABLE t (a INTEGER, b VARCHAR(40), c TEXT, PRIMARY KEY (b, a)); CREATE VIEW v AS SELECT b, a FROM t"
        << "t: a INTEGER #2, b VARCHAR(40) #1, c TEXT|v vue: b VARCHAR(40), a INTEGER"
        << "public.t: a integer #2, b character varying(40) #1, c text|"
           "public.v vue: b character varying(40), a integer"
        << "t: a INTEGER #2, b WVARCHAR(40) #1, c WLONGVARCHAR|v vue: b WVARCHAR(40), a INTEGER";
    QTest::newRow("names that need quotes")
        << "CREATE TABLE \"Od\"\"d;x\" (\"a b\" INTEGER PRIMARY KEY, \"li\ngne\" TEXT, \"select\" TEXT)"
        << "CREATE TABLE \"Od\"\"d;x\" (\"a b\" INTEGER PRIMARY KEY, \"li\ngne\" TEXT, \"select\" TEXT)"
        << "Od\"d;x: a b INTEGER #1, li\ngne TEXT, select TEXT"
        << "public.Od\"d;x: a b integer #1, li\ngne text, select text"
        << "Od\"d;x: a b INTEGER, li\ngne WLONGVARCHAR, select WLONGVARCHAR";
    QTest::newRow("a generated column") << "CREATE TABLE g (a INTEGER, b INTEGER GENERATED ALWAYS AS (a * 2) STORED)"
                                        << "CREATE TABLE g (a INTEGER, b INTEGER GENERATED ALWAYS AS (a * 2) STORED)"
                                        << "g: a INTEGER, b INTEGER"
                                        << "public.g: a integer, b integer"
                                        << "g: a INTEGER, b INTEGER";
    // A view whose table was dropped cannot be read; the other tables still are.
    QTest::newRow("a view whose table is gone, a table without columns")
        << "CREATE TABLE c (u); CREATE VIEW bad AS SELECT u FROM c; CREATE TABLE ok (n INTEGER); DROP TABLE c"
        << "CREATE TABLE ok (n INTEGER); CREATE TABLE vide ()"
        << "bad vue: |ok: n INTEGER"
        << "public.ok: n integer|public.vide: "
        << "ok: n INTEGER|vide: ";
    QTest::newRow("schemas, one off the search path")
        << "CREATE TABLE t (x INTEGER)"
        << "CREATE SCHEMA ventes; CREATE TABLE t (x INTEGER); CREATE TABLE ventes.t (y INTEGER);"
           "CREATE TABLE ventes.factures (n INTEGER PRIMARY KEY);"
           "CREATE MATERIALIZED VIEW ventes.m AS SELECT n FROM ventes.factures"
        << "t: x INTEGER"
        << "public.t: x integer|ventes.factures (schéma): n integer #1|ventes.m vue (schéma): n integer|"
           "ventes.t (schéma): y integer"
        << "factures: |m: |t: x INTEGER";
}

// Each engine's catalogue: the tables and views, their columns with the types as the
// engine declares them, and the primary key.
void TestBothEngines::catalogueDescribesTables()
{
    QFETCH(QString, sqlite);
    QFETCH(QString, postgres);
    QFETCH(QString, onSqlite);
    QFETCH(QString, onServer);
    QFETCH(QString, onOdbc);
    {
        TestDatabase db(TestDatabase::Empty);
        db.exec(sqlite);
        QCOMPARE(described(Databases::connect(QStringLiteral("Velorin"))->catalogue()), onSqlite);
    }
    QCOMPARE(m_server->run(QStringLiteral("DROP SCHEMA IF EXISTS ventes CASCADE; DROP SCHEMA public CASCADE; "
                                          "CREATE SCHEMA public; ")
                 + postgres),
        QString());
    m_server->writeAlias(QStringLiteral("Velorin"));
    QCOMPARE(described(Databases::connect(QStringLiteral("Velorin"))->catalogue()), onServer);
    Databases::closeAll();
    if (!PostgresServer::odbcMissing().isEmpty())
        return;
    m_server->writeOdbcAlias(QStringLiteral("Velorin"));
    QCOMPARE(described(Databases::connect(QStringLiteral("Velorin"))->catalogue()), onOdbc);
    Databases::closeAll();
}

QTEST_MAIN(TestBothEngines)
#include "tst_bothengines.moc"
