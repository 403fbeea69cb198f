#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own: a fresh cluster in a temporary folder,
// reached through a Unix socket in that folder only, stopped with the object. Needs
// the server's programs and root, which runs them as the user postgres; available()
// is false otherwise, with the reason in error().
class PostgresServer
{
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool available() const { return m_running; }
    const QString& error() const { return m_error; }

    // Runs sql with psql, as another program would; returns its errors, empty when none.
    QString run(const QString& sql) const;
    // The first value that a query gives, as psql prints it.
    QString value(const QString& sql) const;
    // Makes the alias's section of aliases.ini name this server (user postgres).
    void writeAlias(const QString& alias) const;
    // The same, through the ODBC driver manager and Debian's PostgreSQL ODBC driver:
    // the section's database is an ODBC connection string naming this server.
    void writeOdbcAlias(const QString& alias) const;
    // True when the ODBC driver for PostgreSQL is installed; reason otherwise.
    static QString odbcMissing();

private:
    QString psql(const QString& sql, QString* output) const;
    QString runAsPostgres(const QString& program, const QStringList& arguments) const;

    QTemporaryDir m_dir;
    QString m_bin;
    bool m_running = false;
    QString m_error;
};
