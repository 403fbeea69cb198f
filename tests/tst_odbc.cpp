#include "PostgresServer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "data/Query.h"
#include "engine/Databases.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The engine through ODBC, as a practice on Windows reaches its database: Debian's
// PostgreSQL ODBC driver against a real server, read side by side with the same
// server reached directly, and the aliases that name it. What every engine does alike
// is tst_enginecontract's.
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
                 "DROP TABLE IF EXISTS odbc_small CASCADE;"
                 "CREATE TABLE odbc_small (n INTEGER PRIMARY KEY, nom TEXT);"
                 "INSERT INTO odbc_small VALUES (1, 'a'), (2, 'b'), (3, 'c')")),
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

QTEST_MAIN(TestOdbc)
#include "tst_odbc.moc"
