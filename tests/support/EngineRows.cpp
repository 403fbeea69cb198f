#include "EngineRows.h"

#include "OtherProgram.h"
#include "Raised.h"
#include "data/Query.h"
#include "engine/Databases.h"

#include <QSettings>

namespace
{
const QString kAlias = QStringLiteral("Velorin");

QString engineName(Engine engine)
{
    switch (engine) {
    case Engine::Sqlite:
        return QStringLiteral("SQLite");
    case Engine::Postgres:
        return QStringLiteral("PostgreSQL");
    case Engine::Odbc:
        return QStringLiteral("ODBC");
    }
    return {};
}
} // namespace

void addEngineColumn()
{
    QTest::addColumn<Engine>("engine");
}

QTestData& engineRow(Engine engine, const QString& name)
{
    return QTest::newRow(qPrintable(engineName(engine) + QStringLiteral(": ") + name)) << engine;
}

void addEngineRows()
{
    addEngineColumn();
    for (const Engine e : kEngines)
        engineRow(e, QStringLiteral("the database"));
}

QString outcomeOf(const QString& sql)
{
    TQuery q;
    q.setDatabaseName(kAlias);
    q.setSQL(sql);
    const Raised failure = raised([&] { q.open(); });
    return failure.kind.isEmpty() ? q.field(0)->asString() : failure.message;
}

QString say(Engine engine, const QString& sqlite, const QString& postgres, const QString& odbc)
{
    return engine == Engine::Sqlite ? sqlite : engine == Engine::Postgres ? postgres : odbc;
}

EngineDatabase::EngineDatabase(Engine engine, PostgresServer* server)
    : m_engine(engine)
    , m_server(server)
{
    if (engine == Engine::Sqlite)
        return;
    if (engine == Engine::Odbc)
        m_unavailable = PostgresServer::odbcMissing();
    if (m_unavailable.isEmpty() && !server->available()) {
        m_unavailable = server->error();
        m_required = PostgresServer::required();
    }
}

EngineDatabase::~EngineDatabase()
{
    Databases::closeAll();
    if (isServer() && m_unavailable.isEmpty())
        QSettings(Databases::aliasesFile(), QSettings::IniFormat).remove(kAlias);
}

QString EngineDatabase::create(const QString& setup)
{
    if (!isServer()) {
        m_file = std::make_unique<TestDatabase>(TestDatabase::Empty, kAlias);
        return setup.isEmpty() ? QString() : exec(setup);
    }
    Databases::closeAll();
    const QString error = m_server->run(QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public; "
                                                       "GRANT USAGE ON SCHEMA public TO PUBLIC; ")
        + setup);
    writeAlias();
    return error;
}

void EngineDatabase::writeAlias()
{
    if (m_engine == Engine::Odbc)
        m_server->writeOdbcAlias(kAlias);
    else
        m_server->writeAlias(kAlias);
}

QString EngineDatabase::exec(const QString& sql) const
{
    // A server's other program waits a while for a lock, never for ever.
    return isServer() ? m_server->run(QStringLiteral("SET lock_timeout = '10s'; ") + sql)
                      : runInOtherProgram(m_file->path(), sql);
}

QString EngineDatabase::value(const QString& sql) const
{
    return isServer() ? m_server->value(sql) : m_file->value(sql).toString();
}

QString EngineDatabase::joined(const QString& table, const QString& expression) const
{
    return value(isServer() ? QStringLiteral("SELECT coalesce(string_agg(v, ',' ORDER BY v COLLATE \"C\"), '') "
                                             "FROM (SELECT CAST(%1 AS text) AS v FROM %2) AS r")
                                  .arg(expression, table)
                            : QStringLiteral("SELECT coalesce(group_concat(v, ','), '') "
                                             "FROM (SELECT CAST(%1 AS text) AS v FROM %2 ORDER BY v) AS r")
                                  .arg(expression, table));
}

void EngineDatabase::setReadOnly(bool readOnly)
{
    if (!isServer()) {
        m_file->setReadOnly(readOnly);
        return;
    }
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    if (readOnly)
        ini.setValue(kAlias + QStringLiteral("/readonly"), QStringLiteral("true"));
    else
        ini.remove(kAlias + QStringLiteral("/readonly"));
    ini.sync();
    Databases::closeAll();
}

void EngineDatabase::setUser(const QString& user, const QString& password)
{
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.setValue(kAlias + QStringLiteral("/user"), user);
    ini.setValue(kAlias + QStringLiteral("/password"), password);
    ini.sync();
    Databases::closeAll();
}

QString EngineDatabase::serverName(const QString& suffix) const
{
    return m_server->database() + QLatin1Char('_') + suffix;
}

EngineRows::EngineRows() = default;

EngineRows::~EngineRows()
{
    Databases::closeAll();
}

std::unique_ptr<EngineDatabase> EngineRows::open(Engine engine)
{
    if (engine != Engine::Sqlite && !m_server)
        m_server = std::make_unique<PostgresServer>();
    return std::make_unique<EngineDatabase>(engine, m_server.get());
}
