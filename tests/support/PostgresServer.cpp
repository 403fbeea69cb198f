#include "PostgresServer.h"

#include "TestDatabase.h"
#include "engine/Databases.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>

#ifndef Q_OS_WIN
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace
{

#ifndef Q_OS_WIN

// A TCP port on loopback that nothing listens on now.
int freePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}
#endif

// The folder of the newest server programs installed, with a slash; empty when none.
QString serverPrograms()
{
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(
        versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    return versions.isEmpty() ? QString() : QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.last());
}

} // namespace

bool PostgresServer::required()
{
    return qEnvironmentVariable("VELOSQL_PG_REQUIRED") == QLatin1String("1");
}

PostgresServer::PostgresServer()
{
    m_bin = serverPrograms();
    if (qEnvironmentVariableIsSet("VELOSQL_PG_PORT")) {
        m_port = qEnvironmentVariableIntValue("VELOSQL_PG_PORT");
        m_user = qEnvironmentVariable("VELOSQL_PG_USER", QStringLiteral("postgres"));
        m_password = qEnvironmentVariable("VELOSQL_PG_PASSWORD");
    } else if (!startOwnCluster()) {
        return;
    }
    createDatabase();
}

PostgresServer::PostgresServer(const OwnCluster& own)
{
    m_bin = serverPrograms();
    if (startOwnCluster(&own))
        createDatabase();
}

void PostgresServer::createDatabase()
{
    m_database = QStringLiteral("velosql_") + QCoreApplication::applicationName().toLower();
    m_error = psql(
        QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database), QStringLiteral("postgres"), nullptr);
    if (m_error.isEmpty())
        m_error = psql(QStringLiteral("CREATE DATABASE %1").arg(m_database), QStringLiteral("postgres"), nullptr);
    // Times with a zone are written in UTC, whatever the machine's zone.
    if (m_error.isEmpty())
        m_error = psql(QStringLiteral("ALTER DATABASE %1 SET TimeZone = 'UTC'").arg(m_database),
            QStringLiteral("postgres"), nullptr);
    m_running = m_error.isEmpty();
}

bool PostgresServer::startOwnCluster(const OwnCluster* own)
{
#ifdef Q_OS_WIN
    // The server programs and the user postgres are the Linux machine's.
    m_error = QStringLiteral("a cluster of its own is started on Linux only");
    return false;
#else
    const passwd* account = getpwnam("postgres");
    if (m_bin.isEmpty() || !account || geteuid() != 0) {
        m_error = QStringLiteral("needs root, the user postgres and the PostgreSQL server programs");
        return false;
    }
    if (chown(QFile::encodeName(m_dir.path()).constData(), account->pw_uid, account->pw_gid) != 0) {
        m_error = QStringLiteral("cannot give the folder to postgres");
        return false;
    }
    m_user = QStringLiteral("postgres");
    m_password = QStringLiteral("velosql-test");
    m_port = freePort();
    const QString passwordFile = m_dir.filePath(QStringLiteral("password"));
    {
        QFile f(passwordFile);
        if (!f.open(QIODevice::WriteOnly) || f.write(m_password.toUtf8()) != m_password.size()) {
            m_error = QStringLiteral("cannot write the password file");
            return false;
        }
    }
    if (chown(QFile::encodeName(passwordFile).constData(), account->pw_uid, account->pw_gid) != 0) {
        m_error = QStringLiteral("cannot give the password file to postgres");
        return false;
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    m_error = runAsPostgres(QStringLiteral("initdb"),
        { QStringLiteral("-D"), data, QStringLiteral("--auth=scram-sha-256"), QStringLiteral("-U"), m_user,
            QStringLiteral("--pwfile=") + passwordFile, QStringLiteral("--encoding=UTF8"),
            QStringLiteral("--locale=C") });
    QString settings = QStringLiteral("-k %1 -p %2 -c listen_addresses=").arg(m_dir.path()).arg(m_port);
    if (own) {
        // Reached from every address of the machine, by password.
        settings += QStringLiteral("'*'");
        QFile hba(data + QStringLiteral("/pg_hba.conf"));
        if (m_error.isEmpty() && (!hba.open(QIODevice::Append) || hba.write("host all all all scram-sha-256\n") < 0))
            m_error = QStringLiteral("cannot open pg_hba.conf");
        if (m_error.isEmpty() && own->tls) {
            m_error = makeCertificates(data);
            settings += QStringLiteral(" -c ssl=on");
        }
    } else {
        settings += QStringLiteral("127.0.0.1");
    }
    if (m_error.isEmpty())
        m_error = runAsPostgres(QStringLiteral("pg_ctl"),
            { QStringLiteral("-D"), data, QStringLiteral("-w"), QStringLiteral("-l"),
                m_dir.filePath(QStringLiteral("log")), QStringLiteral("-o"), settings, QStringLiteral("start") });
    m_ownCluster = m_error.isEmpty();
    return m_ownCluster;
#endif
}

QString PostgresServer::outsideAddress()
{
    QString found;
#ifndef Q_OS_WIN
    ifaddrs* addresses = nullptr;
    if (getifaddrs(&addresses) != 0)
        return {};
    for (const ifaddrs* a = addresses; a && found.isEmpty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text))
            found = QString::fromLatin1(text);
    }
    freeifaddrs(addresses);
#endif
    return found;
}

QString PostgresServer::rootCertificate() const
{
    return m_dir.filePath(QStringLiteral("root.crt"));
}

QString PostgresServer::otherRootCertificate() const
{
    return m_dir.filePath(QStringLiteral("other-root.crt"));
}

// A root certificate, and the server's certificate signed by it for loopback and this
// machine's outside address; another root that signed nothing. Elliptic-curve keys, made
// in an instant.
QString PostgresServer::makeCertificates(const QString& data) const
{
#ifdef Q_OS_WIN
    Q_UNUSED(data);
    return QStringLiteral("certificates are made on Linux only");
#else
    const QStringList key { QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"), QStringLiteral("-days"),
        QStringLiteral("2") };
    QString names = QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1");
    if (const QString outside = outsideAddress(); !outside.isEmpty())
        names += QStringLiteral(",IP:") + outside;
    const QString dir = m_dir.path() + QLatin1Char('/');
    const QList<QStringList> steps {
        QStringList { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-subj"),
            QStringLiteral("/CN=Cabinet test root"), QStringLiteral("-keyout"), dir + QStringLiteral("root.key"),
            QStringLiteral("-out"), rootCertificate() }
            + key,
        QStringList { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-subj"),
            QStringLiteral("/CN=Other root"), QStringLiteral("-keyout"), dir + QStringLiteral("other-root.key"),
            QStringLiteral("-out"), otherRootCertificate() }
            + key,
        QStringList { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-subj"),
            QStringLiteral("/CN=localhost"), QStringLiteral("-CA"), rootCertificate(), QStringLiteral("-CAkey"),
            dir + QStringLiteral("root.key"), QStringLiteral("-addext"), names, QStringLiteral("-keyout"),
            data + QStringLiteral("/server.key"), QStringLiteral("-out"), data + QStringLiteral("/server.crt") }
            + key,
    };
    for (const QStringList& arguments : steps) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), arguments);
        if (!p.waitForStarted())
            return QStringLiteral("needs openssl to make the server's certificate");
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return QStringLiteral("openssl: ") + QString::fromLocal8Bit(p.readAll());
    }
    const passwd* account = getpwnam("postgres");
    for (const char* file : { "/server.key", "/server.crt" }) {
        const QByteArray path = QFile::encodeName(data + QLatin1String(file));
        if (chown(path.constData(), account->pw_uid, account->pw_gid) != 0 || chmod(path.constData(), 0600) != 0)
            return QStringLiteral("cannot give the server's certificate to postgres");
    }
    return {};
#endif
}

PostgresServer::~PostgresServer()
{
    if (m_running && !m_ownCluster)
        psql(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database), QStringLiteral("postgres"),
            nullptr);
    if (m_ownCluster)
        runAsPostgres(QStringLiteral("pg_ctl"),
            { QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                QStringLiteral("immediate"), QStringLiteral("stop") });
}

QString PostgresServer::runAsPostgres(const QString& program, const QStringList& arguments) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("runuser"),
        QStringList { QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), m_bin + program }
            + arguments);
    if (!p.waitForStarted() || !p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
    return {};
}

QString PostgresServer::psql(const QString& sql, const QString& database, QString* output) const
{
    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), m_password);
    p.setProcessEnvironment(environment);
    const QString program = m_bin.isEmpty() ? QStringLiteral("psql") : m_bin + QStringLiteral("psql");
    p.start(program,
        { QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-U"), m_user,
            QStringLiteral("-d"), database, QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
            QStringLiteral("-qAt"), QStringLiteral("-c"), sql });
    if (!p.waitForStarted() || !p.waitForFinished() || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("psql: ") + QString::fromLocal8Bit(p.readAllStandardError());
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return {};
}

QString PostgresServer::run(const QString& sql) const
{
    return psql(sql, m_database, nullptr);
}

QString PostgresServer::runInMaintenance(const QString& sql) const
{
    return psql(sql, QStringLiteral("postgres"), nullptr);
}

QString PostgresServer::value(const QString& sql) const
{
    return valueIn(m_database, sql);
}

QString PostgresServer::runIn(const QString& database, const QString& sql) const
{
    return psql(sql, database, nullptr);
}

QString PostgresServer::valueIn(const QString& database, const QString& sql) const
{
    QString output;
    const QString error = psql(sql, database, &output);
    return error.isEmpty() ? output : error;
}

void PostgresServer::writeAlias(
    const QString& alias, const QString& user, const QString& password, bool withPassword) const
{
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.remove(alias);
    ini.beginGroup(alias);
    ini.setValue(QStringLiteral("driver"), QStringLiteral("QPSQL"));
    ini.setValue(QStringLiteral("host"), host());
    ini.setValue(QStringLiteral("port"), m_port);
    ini.setValue(QStringLiteral("database"), m_database);
    ini.setValue(QStringLiteral("user"), user.isEmpty() ? m_user : user);
    if (withPassword)
        ini.setValue(QStringLiteral("password"), user.isEmpty() ? m_password : password);
    ini.endGroup();
    ini.sync();
    keepAliasesPrivate();
    Databases::closeAll();
}

QString PostgresServer::odbcMissing()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        return QStringLiteral("needs Qt's ODBC driver (QODBC)");
    QSettings drivers(QStringLiteral("/etc/odbcinst.ini"), QSettings::IniFormat);
    if (!drivers.childGroups().contains(QStringLiteral("PostgreSQL Unicode")))
        return QStringLiteral("needs the PostgreSQL ODBC driver (odbc-postgresql)");
    return {};
}

void PostgresServer::writeOdbcAlias(const QString& alias) const
{
    writeAlias(alias);
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.beginGroup(alias);
    // psqlODBC gives booleans as text unless told otherwise.
    const QString connection
        = QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=%1;PORT=%2;DATABASE=%3;BoolsAsChar=0")
              .arg(ini.value(QStringLiteral("host")).toString(), ini.value(QStringLiteral("port")).toString(),
                  ini.value(QStringLiteral("database")).toString());
    ini.setValue(QStringLiteral("driver"), QStringLiteral("QODBC"));
    ini.setValue(QStringLiteral("database"), connection);
    ini.remove(QStringLiteral("host"));
    ini.remove(QStringLiteral("port"));
    ini.endGroup();
    ini.sync();
    Databases::closeAll();
}
