#include "Databases.h"

#include "DefaultDatabase.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "QtSqlConnection.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>

namespace
{
QHash<QString, std::shared_ptr<Connection>>& openConnections()
{
    static QHash<QString, std::shared_ptr<Connection>> connections;
    return connections;
}
} // namespace

namespace Databases
{

QString aliasesFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QStringLiteral("aliases.ini"));
}

QString defaultDatabaseFile(const QString& alias)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(alias + QStringLiteral(".sqlite"));
}

AliasSettings resolve(const QString& alias)
{
    AliasSettings s;
    s.alias = alias;
    const QString file = aliasesFile();
    if (QFileInfo::exists(file)) {
        QSettings ini(file, QSettings::IniFormat);
        if (ini.childGroups().contains(alias)) {
            ini.beginGroup(alias);
            s.configured = true;
            s.driver = ini.value(QStringLiteral("driver"), QStringLiteral("SQLITE")).toString().trimmed();
            s.database = ini.value(QStringLiteral("database")).toString();
            s.host = ini.value(QStringLiteral("host")).toString();
            s.port = ini.value(QStringLiteral("port"), -1).toInt();
            s.user = ini.value(QStringLiteral("user")).toString();
            s.hasPassword = ini.contains(QStringLiteral("password"));
            s.password = ini.value(QStringLiteral("password")).toString();
            s.options = ini.value(QStringLiteral("options")).toString();
            const QString ro = ini.value(QStringLiteral("readonly")).toString().trimmed().toLower();
            s.readOnly = ro == QLatin1String("true") || ro == QLatin1String("1") || ro == QLatin1String("yes");
            ini.endGroup();
            return s;
        }
    }
    s.driver = QStringLiteral("SQLITE");
    s.database = defaultDatabaseFile(alias);
    return s;
}

std::shared_ptr<Connection> connect(const QString& alias)
{
    auto& connections = openConnections();
    if (auto it = connections.find(alias); it != connections.end())
        return it.value();

    AliasSettings s = resolve(alias);
    std::shared_ptr<Connection> conn;
    if (s.driver.compare(QLatin1String("SQLITE"), Qt::CaseInsensitive) == 0) {
        if (s.database.isEmpty())
            throw EDatabaseError(QStringLiteral("L'alias '%1' ne nomme aucune base de données").arg(alias));
        if (!s.configured && !QFileInfo::exists(s.database))
            DefaultDatabase::create(s.database);
        conn = std::make_shared<SqliteConnection>(s.database, s.readOnly);
    } else {
        try {
            conn = std::make_shared<QtSqlConnection>(s);
        } catch (const EDatabaseError&) {
            // A server that wants a password not written in aliases.ini asks for it.
            if (s.hasPassword)
                throw;
            auto login = Dialogs::instance().login(nullptr, QStringLiteral("Connexion base de données"), s.user);
            if (!login)
                throw;
            s.user = login->user;
            s.password = login->password;
            conn = std::make_shared<QtSqlConnection>(s);
        }
    }
    connections.insert(alias, conn);
    return conn;
}

QStringList openFiles()
{
    QStringList files;
    for (const auto& connection : std::as_const(openConnections()))
        files += connection->databaseFiles();
    return files;
}

void closeAll()
{
    openConnections().clear();
}

} // namespace Databases
