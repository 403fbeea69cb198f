#include "Raised.h"
#include "TestDatabase.h"
#include "data/Query.h"
#include "data/Table.h"
#include "platform/Exceptions.h"

#include "FileFailures.h"
#include "engine/Databases.h"

#include <QDir>
#include <QSettings>
#include <QTest>
#include <limits>
#include <sqlite3.h>

// The query on real SQLite files: declared types, text forms, counts, parameters, a full
// disk. What every engine does alike is tst_enginecontract's.
class TestQuery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void declaredTypesMapToFieldTypes_data();
    void declaredTypesMapToFieldTypes();
    void textFormsFollowFrenchSettings_data();
    void textFormsFollowFrenchSettings();
    void recordCounts_data();
    void recordCounts();
    void walkEndsAtEndOfData();
    void namedParametersFailToOpen_data();
    void namedParametersFailToOpen();
    void doubledColonReachesEngineAsOne();
    void batchOnFullDiskAppliesNothing_data();
    void batchOnFullDiskAppliesNothing();
    void fieldLookup();
    void currencyValueIsFixedPoint_data();
    void currencyValueIsFixedPoint();
    void blobContentsKeepEveryByte();
    void displayWidths_data();
    void displayWidths();
};

void TestQuery::declaredTypesMapToFieldTypes_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::newRow("varchar") << "VARCHAR(40)" << int(ftString) << 40;
    QTest::newRow("char") << "CHAR(3)" << int(ftString) << 3;
    QTest::newRow("text") << "TEXT" << int(ftMemo) << 0;
    QTest::newRow("memo") << "MEMO" << int(ftMemo) << 0;
    QTest::newRow("blob") << "BLOB" << int(ftBlob) << 0;
    QTest::newRow("money") << "MONEY" << int(ftCurrency) << 0;
    QTest::newRow("currency") << "currency" << int(ftCurrency) << 0;
    QTest::newRow("decimal") << "DECIMAL(10,2)" << int(ftBCD) << 2;
    QTest::newRow("date") << "DATE" << int(ftDate) << 0;
    QTest::newRow("time") << "TIME" << int(ftTime) << 0;
    QTest::newRow("datetime") << "DATETIME" << int(ftDateTime) << 0;
    QTest::newRow("boolean") << "BOOLEAN" << int(ftBoolean) << 0;
    QTest::newRow("integer") << "INTEGER" << int(ftInteger) << 0;
    QTest::newRow("smallint") << "SMALLINT" << int(ftSmallint) << 0;
    QTest::newRow("real") << "REAL" << int(ftFloat) << 0;
    QTest::newRow("double") << "DOUBLE PRECISION" << int(ftFloat) << 0;
}

void TestQuery::declaredTypesMapToFieldTypes()
{
    QFETCH(QString, declared);
    QFETCH(int, type);
    QFETCH(int, size);
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (c %1); INSERT INTO t VALUES (NULL)").arg(declared));
    TQuery q(nullptr, QStringLiteral("QuerySQL"));
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT * FROM t"));
    q.open();
    QCOMPARE(int(q.field(0)->dataType()), type);
    QCOMPARE(q.field(0)->size(), size);
}

void TestQuery::textFormsFollowFrenchSettings_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("integer") << "INTEGER"
                             << "1234567"
                             << "1234567";
    QTest::newRow("float") << "REAL"
                           << "1234.5"
                           << "1234,5";
    QTest::newRow("float 15 digits") << "REAL"
                                     << "0.1"
                                     << "0,1";
    QTest::newRow("money") << "MONEY"
                           << "12.5"
                           << "12,5";
    QTest::newRow("boolean true") << "BOOLEAN"
                                  << "1"
                                  << "Vrai";
    QTest::newRow("boolean false") << "BOOLEAN"
                                   << "0"
                                   << "Faux";
    QTest::newRow("date") << "DATE"
                          << "'2024-03-07'"
                          << "07/03/2024";
    QTest::newRow("null") << "VARCHAR(10)"
                          << "NULL"
                          << "";
    QTest::newRow("text") << "VARCHAR(10)"
                          << "'Hélène'"
                          << "Hélène";
    QTest::newRow("expression integer") << ""
                                        << "42"
                                        << "42";
}

void TestQuery::textFormsFollowFrenchSettings()
{
    QFETCH(QString, declared);
    QFETCH(QString, stored);
    QFETCH(QString, text);
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (c %1); INSERT INTO t VALUES (%2)").arg(declared, stored));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT c FROM t"));
    q.open();
    QCOMPARE(q.field(0)->asString(), text);
}

void TestQuery::recordCounts_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("0") << 0;
    QTest::newRow("1") << 1;
    QTest::newRow("2") << 2;
    QTest::newRow("1000") << 1000;
}

void TestQuery::recordCounts()
{
    QFETCH(int, rows);
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (n INTEGER);"
                           "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
                           "INSERT INTO t SELECT x FROM c WHERE %1 > 0")
                .arg(rows));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT * FROM t"));
    q.open();
    QCOMPARE(q.recordCount(), qsizetype(rows));
    QCOMPARE(q.eof(), rows == 0);
}

void TestQuery::walkEndsAtEndOfData()
{
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (1), (2), (3)"));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT n FROM t ORDER BY n"));
    q.open();
    QStringList seen;
    for (q.first(); !q.eof(); q.next())
        seen << q.field(0)->asString();
    QCOMPARE(seen, QStringList({ "1", "2", "3" }));
}

void TestQuery::namedParametersFailToOpen_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("name");
    QTest::newRow("blank") << "SELECT * FROM t WHERE n = :num AND 1"
                           << "num";
    QTest::newRow("comma") << "SELECT :a, 1"
                           << "a";
    QTest::newRow("semicolon") << "SELECT :b;"
                               << "b";
    QTest::newRow("parenthesis") << "SELECT (:c)"
                                 << "c";
    QTest::newRow("line feed") << "SELECT :d\nFROM t"
                               << "d";
    QTest::newRow("carriage return") << "SELECT :e\r\nFROM t"
                                     << "e";
    QTest::newRow("end") << "SELECT * FROM t WHERE n = :fin"
                         << "fin";
    QTest::newRow("after quoted colon") << "SELECT ':x', :y"
                                        << "y";
    QTest::newRow("double quotes") << "SELECT \":x\" FROM t WHERE :z"
                                   << "z";
}

void TestQuery::namedParametersFailToOpen()
{
    QFETCH(QString, sql);
    QFETCH(QString, name);
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (n INTEGER)"));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(sql);
    const Raised failure = raised([&] { q.open(); });
    QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(failure.message, QStringLiteral("Pas de valeur pour le paramètre '%1'").arg(name));
    QVERIFY(!q.active());
}

void TestQuery::doubledColonReachesEngineAsOne()
{
    TestDatabase db;
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT 'a:b' AS quoted, '12::30' AS doubled_in_quotes, 1 AS n"));
    q.open();
    QCOMPARE(q.field(0)->asString(), QStringLiteral("a:b"));
    QCOMPARE(q.field(1)->asString(), QStringLiteral("12::30"));
    q.close();
    // Outside quotes "::" becomes ":" — here inside a string built with the || operator.
    q.setSQL(QStringLiteral("SELECT 'x' || '::' AS joined"));
    q.open();
    QCOMPARE(q.field(0)->asString(), QStringLiteral("x::"));
    QCOMPARE(scanParameters(QStringLiteral("SELECT a::b")).text, QStringLiteral("SELECT a:b"));
}

void TestQuery::batchOnFullDiskAppliesNothing_data()
{
    QTest::addColumn<int>("blobs");
    QTest::addColumn<QString>("message");
    // A small write waits in memory and fails at the commit; a large one fails as it spills.
    QTest::newRow("disk fills at the commit") << 100 << "database or disk is full";
    QTest::newRow("disk fills during a statement")
        << 1000 << "Instruction 3 : database or disk is full\n« WITH RECURSIVE";
}

void TestQuery::batchOnFullDiskAppliesNothing()
{
    QFETCH(int, blobs);
    QFETCH(QString, message);
    SmallDisk disk(256 * 1024);
    if (!disk.available())
        QSKIP(qPrintable(disk.error()));
    TestDatabase alias;
    const QString path = disk.filePath(QStringLiteral("full.sqlite"));
    {
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other,
                     "CREATE TABLE small (n INTEGER PRIMARY KEY, nom TEXT);"
                     "INSERT INTO small VALUES (1, 'a'), (2, 'b'), (3, 'c')",
                     nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(other);
    }
    {
        QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Velorin/database"), path);
    }
    Databases::closeAll();
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("DELETE FROM small; CREATE TABLE big (b BLOB);"
                            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
                            "INSERT INTO big SELECT randomblob(10000) FROM c; SELECT count(*) FROM big")
                 .arg(blobs));
    const Raised failure = raised([&] { q.open(); });
    QVERIFY2(failure.message.startsWith(message), qPrintable(failure.message));
    q.setSQL(QStringLiteral("SELECT (SELECT group_concat(nom, '') FROM small) || "
                            "(SELECT count(*) FROM sqlite_master WHERE name = 'big')"));
    q.open();
    QCOMPARE(q.field(0)->asString(), QStringLiteral("abc0"));
}

void TestQuery::fieldLookup()
{
    TestDatabase db;
    TQuery q(nullptr, QStringLiteral("QuerySQL"));
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT 1 AS Nom, 2 AS nom"));
    q.open();
    QCOMPARE(q.FindField(QStringLiteral("NOM")), q.field(0));
    QCOMPARE(q.FindField(QStringLiteral("absent")), nullptr);
    const Raised failure = raised([&] { q.FieldByName(QStringLiteral("POLICE5")); });
    QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(failure.message, QStringLiteral("QuerySQL : Champ 'POLICE5' non trouvé"));
}

void TestQuery::currencyValueIsFixedPoint_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<qint64>("value");
    QTest::newRow("real") << "12.345" << qint64(123450);
    QTest::newRow("negative") << "-0.5" << qint64(-5000);
    QTest::newRow("integer") << "7" << qint64(70000);
    QTest::newRow("text exact") << "'1234567890.1234'" << qint64(12345678901234);
    QTest::newRow("null") << "NULL" << qint64(0);
    QTest::newRow("largest text") << "'922337203685477,5807'" << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest text") << "'-922337203685477,5807'" << -std::numeric_limits<qint64>::max();
    QTest::newRow("largest integer") << "922337203685477" << qint64(9223372036854770000);
    QTest::newRow("smallest integer") << "-922337203685477" << qint64(-9223372036854770000);
}

void TestQuery::currencyValueIsFixedPoint()
{
    QFETCH(QString, stored);
    QFETCH(qint64, value);
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (m MONEY); INSERT INTO t VALUES (%1)").arg(stored));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT m FROM t"));
    q.open();
    QCOMPARE(q.field(0)->asCurrency(), value);
}

void TestQuery::blobContentsKeepEveryByte()
{
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (b BLOB, m TEXT); INSERT INTO t VALUES (x'00FF0041', 'é€')"));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT b, m FROM t"));
    q.open();
    QCOMPARE(q.field(0)->blobContents(), QByteArray("\x00\xFF\x00\x41", 4));
    QCOMPARE(q.field(1)->blobContents(), QByteArray("\xE9\x80"));
    QCOMPARE(q.field(1)->asString(), QStringLiteral("é€"));
}

void TestQuery::displayWidths_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<int>("width");
    QTest::newRow("varchar") << "VARCHAR(25)" << 25;
    QTest::newRow("boolean") << "BOOLEAN" << 4;
    QTest::newRow("decimal") << "DECIMAL(8,2)" << 9;
    QTest::newRow("integer") << "INTEGER" << 10;
    QTest::newRow("date") << "DATE" << 10;
    QTest::newRow("huge varchar") << "VARCHAR(2000000000)" << 2000000000;
    QTest::newRow("largest decimal precision") << "DECIMAL(2147483647)" << std::numeric_limits<int>::max();
}

void TestQuery::displayWidths()
{
    QFETCH(QString, declared);
    QFETCH(int, width);
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (c %1)").arg(declared));
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT c FROM t"));
    q.open();
    QCOMPARE(q.field(0)->displayWidth(), width);
    q.field(0)->setDisplayWidth(3);
    QCOMPARE(q.field(0)->displayWidth(), 3);
}

QTEST_MAIN(TestQuery)
#include "tst_query.moc"
