#include "PostgresServer.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/SQL.h"
#include "data/Table.h"
#include "engine/Databases.h"

#include <QComboBox>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <memory>

// README's first steps with one's own database: the statements that make the settings
// table, run on a fresh SQLite file and on a PostgreSQL server (directly and through
// ODBC), give a table that the query window opens, reads and writes; the aliases.ini
// sections it shows resolve as written; the manual page shows the same statements.
class TestFirstSteps : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void statementsMakeSettingsTheWindowUses_data();
    void statementsMakeSettingsTheWindowUses();
    void aliasSectionResolvesAsShown_data();
    void aliasSectionResolvesAsShown();
    void manualPageShowsTheSameStatements_data();
    void manualPageShowsTheSameStatements();

private:
    PostgresServer* server();

    QMap<QString, QString> m_blocks; // README's marked blocks by name
    QString m_manual;
    std::unique_ptr<PostgresServer> m_server;
};

namespace
{
QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The indented block after each "<!-- name -->" line, without its indent.
QMap<QString, QString> markedBlocks(const QString& markdown)
{
    static const QRegularExpression marker(QStringLiteral("^<!-- ([a-z-]+:[a-z-]+) -->$"));
    QMap<QString, QString> blocks;
    const QStringList lines = markdown.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto m = marker.match(lines[i]);
        if (!m.hasMatch())
            continue;
        QStringList block;
        qsizetype j = i + 1;
        while (j < lines.size() && lines[j].trimmed().isEmpty())
            ++j;
        for (; j < lines.size() && (lines[j].startsWith(QStringLiteral("    ")) || lines[j].isEmpty()); ++j)
            block << lines[j].mid(4);
        while (!block.isEmpty() && block.constLast().isEmpty())
            block.removeLast();
        blocks.insert(m.captured(1), block.join(QLatin1Char('\n')));
    }
    return blocks;
}

// The manual page's text as man shows it, for the few escapes that statements need.
QString unescapedRoff(QString roff)
{
    return roff.replace(QStringLiteral("\\(aq"), QStringLiteral("'"))
        .replace(QStringLiteral("\\(dq"), QStringLiteral("\""))
        .replace(QStringLiteral("\\-"), QStringLiteral("-"))
        .replace(QStringLiteral("\\e"), QStringLiteral("\\"))
        .replace(QStringLiteral("\\&"), QString());
}
} // namespace

void TestFirstSteps::initTestCase()
{
    initTestEnvironment();
    m_blocks = markedBlocks(readText(QStringLiteral(VELOSQL_SOURCE_DIR "/README.md")));
    m_manual = unescapedRoff(readText(QStringLiteral(VELOSQL_SOURCE_DIR "/resources/package/VeloSQL.1")));
    QVERIFY(!m_manual.isEmpty());
    QCOMPARE(m_blocks.keys(),
        QStringList({ "aliases:odbc", "aliases:postgresql", "aliases:sqlite", "listbase:odbc", "listbase:postgresql",
            "listbase:postgresql-quoted", "listbase:sqlite" }));
}

void TestFirstSteps::cleanup()
{
    Databases::closeAll();
    QSettings(Databases::aliasesFile(), QSettings::IniFormat).remove(QStringLiteral("Velorin"));
}

void TestFirstSteps::cleanupTestCase()
{
    m_server.reset();
}

PostgresServer* TestFirstSteps::server()
{
    if (!m_server)
        m_server = std::make_unique<PostgresServer>();
    return m_server.get();
}

void TestFirstSteps::statementsMakeSettingsTheWindowUses_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("driver");
    QTest::newRow("SQLite") << "listbase:sqlite"
                            << "SQLITE";
    QTest::newRow("PostgreSQL") << "listbase:postgresql"
                                << "QPSQL";
    QTest::newRow("PostgreSQL, quoted names") << "listbase:postgresql-quoted"
                                              << "QPSQL";
    QTest::newRow("ODBC") << "listbase:odbc"
                          << "QODBC";
}

void TestFirstSteps::statementsMakeSettingsTheWindowUses()
{
    QFETCH(QString, block);
    QFETCH(QString, driver);
    const QString sql = m_blocks.value(block);
    QVERIFY2(sql.contains(QStringLiteral("CREATE TABLE")), qPrintable(block));
    std::unique_ptr<TestDatabase> file;
    if (driver == QLatin1String("SQLITE")) {
        file = std::make_unique<TestDatabase>(TestDatabase::Empty);
        file->exec(sql);
    } else {
        if (driver == QLatin1String("QODBC"))
            if (const QString missing = PostgresServer::odbcMissing(); !missing.isEmpty())
                QSKIP(qPrintable(missing));
        PostgresServer* pg = server();
        if (!pg->available() && PostgresServer::required())
            QFAIL(qPrintable(pg->error()));
        if (!pg->available())
            QSKIP(qPrintable(pg->error()));
        QCOMPARE(pg->run(QStringLiteral("DROP TABLE IF EXISTS \"ListBase\", listbase")), QString());
        // As the user does, with the server's own tool.
        QCOMPARE(pg->run(sql), QString());
        if (driver == QLatin1String("QODBC"))
            pg->writeOdbcAlias(QStringLiteral("Velorin"));
        else
            pg->writeAlias(QStringLiteral("Velorin"));
    }

    ScriptedDialogs dialogs;
    const QString added = QStringLiteral("SELECT 'premier pas' AS essai");
    {
        TFicheSQL window;
        TTable* table = window.TableSQL;
        QVERIFY(table->active());
        QCOMPARE(table->recordCount(), qsizetype(1));
        QVERIFY(table->canModify());
        QVERIFY2(isMemoType(table->FieldByName(QStringLiteral("TTTYPES"))->dataType()),
            qPrintable(QString::number(int(table->FieldByName(QStringLiteral("TTTYPES"))->dataType()))));
        QCOMPARE(table->FieldByName(QStringLiteral("TTTYPES"))->text(), QString());
        QCOMPARE(table->FieldByName(QStringLiteral("POLICE5"))->text(), QStringLiteral(";"));
        // The add button, then "Oui" at closing.
        window.ComboBoxSQL->setEditText(added);
        window.ToolButtonAjoutClick(nullptr);
        table->post();
    }
    Databases::closeAll();
    TFicheSQL window;
    QCOMPARE(window.TableSQL->FieldByName(QStringLiteral("TTTYPES"))->text(), added + QStringLiteral("\r\n"));
    QCOMPARE(window.TableSQL->FieldByName(QStringLiteral("POLICE5"))->text(), QStringLiteral(";"));
    QCOMPARE(dialogs.calls.size(), 0);
}

void TestFirstSteps::aliasSectionResolvesAsShown_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("resolved"); // driver|database|host|port|user
    QTest::newRow("SQLite") << "aliases:sqlite"
                            << "SQLITE|/srv/cabinet/velorin.sqlite|||";
    QTest::newRow("PostgreSQL") << "aliases:postgresql"
                                << "QPSQL|velorin|db.cabinet.local|5432|secretariat";
    // A server off this machine is reached encrypted: the string gains SSLmode=require.
    QTest::newRow("ODBC") << "aliases:odbc"
                          << "QODBC|DRIVER={PostgreSQL Unicode};SERVER=db.cabinet.local;PORT=5432;"
                             "DATABASE=velorin;BoolsAsChar=0;SSLmode=require|||secretariat";
}

void TestFirstSteps::aliasSectionResolvesAsShown()
{
    QFETCH(QString, block);
    QFETCH(QString, resolved);
    const QString section = m_blocks.value(block);
    QVERIFY2(section.startsWith(QStringLiteral("[Velorin]\n")), qPrintable(block));
    QFile ini(Databases::aliasesFile());
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(section.toUtf8() + '\n');
    ini.close();
    keepAliasesPrivate();
    const AliasSettings s = Databases::resolve(QStringLiteral("Velorin"));
    QVERIFY(s.configured);
    QCOMPARE(QStringList({ s.driver, s.database, s.host, s.port > 0 ? QString::number(s.port) : QString(), s.user })
                 .join(QLatin1Char('|')),
        resolved);
}

void TestFirstSteps::manualPageShowsTheSameStatements_data()
{
    QTest::addColumn<QString>("block");
    for (const QString& name : m_blocks.keys())
        QTest::newRow(qPrintable(name)) << name;
}

void TestFirstSteps::manualPageShowsTheSameStatements()
{
    QFETCH(QString, block);
    for (const QString& line : m_blocks.value(block).split(QLatin1Char('\n')))
        QVERIFY2(m_manual.contains(QLatin1Char('\n') + line + QLatin1Char('\n')), qPrintable(line));
}

QTEST_MAIN(TestFirstSteps)
#include "tst_firststeps.moc"
