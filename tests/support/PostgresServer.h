#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server for server tests, reached on loopback TCP with password
// authentication. When scripts/test started a throw-away cluster, its address and
// superuser come from the environment (VELOSQL_PG_PORT, VELOSQL_PG_USER,
// VELOSQL_PG_PASSWORD; VELOSQL_PG_REQUIRED=1 makes a missing server a failure, not a
// skip). Otherwise the fixture starts a cluster of its own in a temporary folder on a
// free port (needs root, which runs the server as the user postgres) and stops it
// with the object. Each fixture works in a database of its own, named after the test
// program, so that tests running at once on one cluster do not meet.
class PostgresServer
{
public:
    // A cluster of the fixture's own, whatever the environment names: reached on every
    // address of the machine; with TLS on, its certificate made for this machine's
    // names and addresses by a root of its own (rootCertificate()).
    struct OwnCluster {
        bool tls = false;
    };

    PostgresServer();
    explicit PostgresServer(const OwnCluster& own);
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool available() const { return m_running; }
    // True when the run expects a server: a missing one fails the test.
    static bool required();
    const QString& error() const { return m_error; }

    // The address that aliases name: loopback unless useHost() named another.
    const QString& host() const { return m_host; }
    void useHost(const QString& host) { m_host = host; }
    // An IPv4 address of this machine off loopback, empty when it has none.
    static QString outsideAddress();
    // The root certificate that signed a TLS cluster's certificate.
    QString rootCertificate() const;
    // Another root, which signed nothing of the cluster.
    QString otherRootCertificate() const;
    int port() const { return m_port; }
    const QString& database() const { return m_database; }
    const QString& user() const { return m_user; }
    const QString& password() const { return m_password; }

    // Runs sql with psql in the fixture's database, as another program would; returns
    // its errors, empty when none.
    QString run(const QString& sql) const;
    // run() in the maintenance database postgres, for what the fixture's database
    // cannot do on itself.
    QString runInMaintenance(const QString& sql) const;
    // The first value that a query gives, as psql prints it.
    QString value(const QString& sql) const;
    // run() and value() in another database of the cluster.
    QString runIn(const QString& database, const QString& sql) const;
    QString valueIn(const QString& database, const QString& sql) const;
    // The same, through the ODBC driver manager and Debian's PostgreSQL ODBC driver:
    // the section's database is an ODBC connection string naming this server.
    void writeOdbcAlias(const QString& alias) const;
    // True when the ODBC driver for PostgreSQL is installed; reason otherwise.
    static QString odbcMissing();
    // Makes the alias's section of aliases.ini name the fixture's database, as user
    // (the superuser by default) with password; without a password key when
    // withPassword is false.
    void writeAlias(
        const QString& alias, const QString& user = {}, const QString& password = {}, bool withPassword = true) const;

private:
    QString psql(const QString& sql, const QString& database, QString* output) const;
    QString runAsPostgres(const QString& program, const QStringList& arguments) const;
    bool startOwnCluster(const OwnCluster* own = nullptr);
    QString makeCertificates(const QString& data) const;
    void createDatabase();

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 0;
    QString m_user;
    QString m_password;
    QString m_database;
    bool m_ownCluster = false;
    bool m_running = false;
    QString m_error;
};
