#include "PostgresServer.h"

#include "database/Databases.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <pwd.h>
#include <unistd.h>

namespace
{
constexpr int kPort = 5432;
}

PostgresServer::PostgresServer()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        m_error = QStringLiteral("needs Qt's PostgreSQL driver (QPSQL)");
        return;
    }
    const QStringList versions
        = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const passwd* user = getpwnam("postgres");
    if (versions.isEmpty() || !user || geteuid() != 0) {
        m_error = QStringLiteral("needs root, the user postgres and the PostgreSQL server programs");
        return;
    }
    m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.last());
    if (chown(QFile::encodeName(m_dir.path()).constData(), user->pw_uid, user->pw_gid) != 0) {
        m_error = QStringLiteral("cannot give the folder to postgres");
        return;
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    m_error = runAsPostgres(QStringLiteral("initdb"),
        { QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-U"),
            QStringLiteral("postgres") });
    if (m_error.isEmpty())
        m_error = runAsPostgres(QStringLiteral("pg_ctl"),
            { QStringLiteral("-D"), data, QStringLiteral("-w"), QStringLiteral("-l"),
                m_dir.filePath(QStringLiteral("log")), QStringLiteral("-o"),
                QStringLiteral("-k %1 -p %2 -c listen_addresses=").arg(m_dir.path()).arg(kPort),
                QStringLiteral("start") });
    m_running = m_error.isEmpty();
}

PostgresServer::~PostgresServer()
{
    if (m_running)
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

QString PostgresServer::psql(const QString& sql, QString* output) const
{
    QProcess p;
    p.start(m_bin + QStringLiteral("psql"),
        { QStringLiteral("-h"), m_dir.path(), QStringLiteral("-p"), QString::number(kPort), QStringLiteral("-U"),
            QStringLiteral("postgres"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-qAt"),
            QStringLiteral("-c"), sql });
    if (!p.waitForStarted() || !p.waitForFinished() || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("psql: ") + QString::fromLocal8Bit(p.readAllStandardError());
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return {};
}

QString PostgresServer::run(const QString& sql) const
{
    return psql(sql, nullptr);
}

QString PostgresServer::value(const QString& sql) const
{
    QString output;
    const QString error = psql(sql, &output);
    return error.isEmpty() ? output : error;
}

void PostgresServer::writeAlias(const QString& alias) const
{
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.remove(alias);
    ini.beginGroup(alias);
    ini.setValue(QStringLiteral("driver"), QStringLiteral("QPSQL"));
    ini.setValue(QStringLiteral("host"), m_dir.path());
    ini.setValue(QStringLiteral("port"), kPort);
    ini.setValue(QStringLiteral("database"), QStringLiteral("postgres"));
    ini.setValue(QStringLiteral("user"), QStringLiteral("postgres"));
    ini.setValue(QStringLiteral("password"), QString());
    ini.endGroup();
    ini.sync();
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
