#pragma once

#include "PostgresServer.h"
#include "TestDatabase.h"

#include <QString>
#include <QTest>
#include <array>
#include <memory>

// The engines that the program reaches a database through, each a row of the tests
// that every engine must pass: the embedded SQLite file, PostgreSQL through libpq, and
// ODBC through Qt's driver and PostgreSQL's ODBC driver, both on the test server.
enum class Engine { Sqlite, Postgres, Odbc };
Q_DECLARE_METATYPE(Engine)

constexpr std::array<Engine, 3> kEngines { Engine::Sqlite, Engine::Postgres, Engine::Odbc };

// Adds the column "engine", first of the test's data.
void addEngineColumn();
// A data row of case name on engine, named "<engine>: <name>", its engine given.
QTestData& engineRow(Engine engine, const QString& name);
// The column "engine" and one row per engine, for a case without data of its own.
void addEngineRows();
// What differs from one engine to another: the value for engine.
QString say(Engine engine, const QString& sqlite, const QString& postgres, const QString& odbc);
inline QString say(Engine engine, const QString& sqlite, const QString& server)
{
    return say(engine, sqlite, server, server);
}

// The first value of sql run through the alias "Velorin", or the message of its failure.
QString outcomeOf(const QString& sql);

// One case's database on its engine, reached through the alias "Velorin": a new SQLite
// file, or the server's database emptied, holding the tables that setup makes. Another
// program reads and writes it beside the program: the sqlite3 shell, or psql.
class EngineDatabase
{
public:
    EngineDatabase(Engine engine, PostgresServer* server);
    ~EngineDatabase();
    EngineDatabase(const EngineDatabase&) = delete;
    EngineDatabase& operator=(const EngineDatabase&) = delete;

    Engine engine() const { return m_engine; }
    bool isServer() const { return m_engine != Engine::Sqlite; }
    // Why the row cannot run; empty when it can.
    const QString& unavailable() const { return m_unavailable; }
    // True when the run requires the missing server: the row fails rather than skip.
    bool required() const { return m_required; }
    // Empty when setup ran; the error otherwise.
    QString create(const QString& setup);

    // Runs sql as another program; returns its errors, empty when none.
    QString exec(const QString& sql) const;
    // The first value of a query run by another program, as text.
    QString value(const QString& sql) const;
    // The values of expression over the rows of table, in the order of their text,
    // joined by ",", as another program reads them.
    QString joined(const QString& table, const QString& expression) const;

    // Rewrites the alias with readonly=true, or without.
    void setReadOnly(bool readOnly);
    // Makes the alias log in as user with password (the server's rows only).
    void setUser(const QString& user, const QString& password);
    // A name of the server's for this test program: roles are the cluster's, shared by
    // the tests that run at once.
    QString serverName(const QString& suffix) const;
    PostgresServer* server() const { return m_server; }

private:
    void writeAlias();

    Engine m_engine;
    PostgresServer* m_server = nullptr;
    std::unique_ptr<TestDatabase> m_file;
    QString m_unavailable;
    bool m_required = false;
};

// The server of a test program's server rows, started with the first row that needs it.
class EngineRows
{
public:
    EngineRows();
    ~EngineRows();
    std::unique_ptr<EngineDatabase> open(Engine engine);

private:
    std::unique_ptr<PostgresServer> m_server;
};

// Opens the row's engine as db with the tables of setup, or ends the test function: a
// row whose engine is missing skips for that reason, or fails where the run requires
// the server. A macro, as a skip in a helper would not end the test.
#define OPEN_ENGINE_ROW(db, rows, setup)                                                                              \
    QFETCH(Engine, engine);                                                                                            \
    const std::unique_ptr<EngineDatabase> db = (rows).open(engine);                                                    \
    if (db->required())                                                                                                \
        QFAIL(qPrintable(db->unavailable()));                                                                          \
    if (!db->unavailable().isEmpty())                                                                                  \
        QSKIP(qPrintable(db->unavailable()));                                                                          \
    QCOMPARE(db->create(setup), QString())
