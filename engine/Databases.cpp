#include "engine/Databases.h"

#include "engine/AliasFile.h"
#include "engine/AliasSecurity.h"
#include "engine/Credentials.h"
#include "engine/postgres/PgConnection.h"
#include "engine/qtsql/QtSqlConnection.h"
#include "engine/sqlite/DefaultDatabase.h"
#include "engine/sqlite/SqliteConnection.h"
#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QStandardPaths>

namespace
{
QHash<QString, std::shared_ptr<Connection>>& openConnections()
{
    static QHash<QString, std::shared_ptr<Connection>> connections;
    return connections;
}

// SQLite files go through SQLite's own interface, whichever of its names the alias gives.
bool isSqlite(const QString& driver)
{
    return driver.compare(QLatin1String("SQLITE"), Qt::CaseInsensitive) == 0
        || driver.compare(QLatin1String("QSQLITE"), Qt::CaseInsensitive) == 0;
}

std::shared_ptr<Connection> openServer(const AliasSettings& s)
{
    // PostgreSQL goes through its own client library; the other servers through Qt SQL.
    if (s.isPostgres())
        return std::make_shared<PgConnection>(s);
    return std::make_shared<QtSqlConnection>(s);
}

QString unknownDriverMessage(const QString& driver)
{
    QStringList available { QStringLiteral("SQLITE"), QStringLiteral("QSQLITE") };
    QStringList others = QSqlDatabase::drivers();
    others.sort();
    for (const QString& d : others)
        if (!available.contains(d))
            available << d;
    return QStringLiteral("Pilote de base de données introuvable : %1 (pilotes disponibles : %2)")
        .arg(driver, available.join(QStringLiteral(", ")));
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
    // An aliases.ini that exists must be read whole: a file that cannot be read or
    // understood would otherwise send every alias to the embedded default.
    if (const QFileInfo info(file); info.exists() || info.isSymLink()) {
        if (const auto keys = AliasFile::read(file).section(alias)) {
            s.configured = true;
            s.driver = keys->value(QStringLiteral("driver"));
            if (s.driver.isEmpty())
                s.driver = QStringLiteral("SQLITE");
            s.database = keys->value(QStringLiteral("database"));
            s.host = keys->value(QStringLiteral("host"));
            s.port = keys->contains(QStringLiteral("port")) ? keys->value(QStringLiteral("port")).toInt() : -1;
            s.user = keys->value(QStringLiteral("user"));
            s.hasPassword = keys->contains(QStringLiteral("password"));
            s.password = keys->value(QStringLiteral("password"));
            s.options = keys->value(QStringLiteral("options"));
            AliasSecurity::setAsideReadablePasswords(s, file);
            AliasSecurity::encryptByDefault(s, file);
            s.encoding = keys->value(QStringLiteral("encoding"));
            const QString ro = keys->value(QStringLiteral("readonly")).toLower();
            s.readOnly = ro == QLatin1String("true") || ro == QLatin1String("1") || ro == QLatin1String("yes");
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
    if (auto it = connections.find(alias); it != connections.end()) {
        if (!it.value()->fileReplaced())
            return it.value();
        // Reading on would show a file that is gone, and writing is refused. The next
        // use opens whatever file the alias names by then.
        const QString file = it.value()->databaseFiles().value(0);
        connections.erase(it);
        throw EDatabaseError(
            QStringLiteral("Le fichier de la base de données a été supprimé ou remplacé depuis son ouverture : %1")
                .arg(QDir::toNativeSeparators(file)));
    }

    AliasSettings s = resolve(alias);
    std::shared_ptr<Connection> conn;
    if (isSqlite(s.driver)) {
        if (s.database.isEmpty())
            throw EDatabaseError(QStringLiteral("L'alias '%1' ne nomme aucune base de données").arg(alias));
        // Only the embedded default is ever created; a file that an alias names must exist.
        if (!s.configured && !QFileInfo::exists(s.database))
            DefaultDatabase::create(s.database);
        conn = std::make_shared<SqliteConnection>(s.database, s.readOnly);
    } else {
        if (!s.isPostgres() && !QSqlDatabase::isDriverAvailable(s.driver))
            throw EDatabaseError(unknownDriverMessage(s.driver));
        // A server that wants a password not written in aliases.ini asks for it through
        // the program's credentials provider.
        Credentials::connectWithLogin(s, [&conn](const AliasSettings& settings) { conn = openServer(settings); });
    }
    connections.insert(alias, conn);
    // From the first open database on, no file the program writes may be one of theirs.
    AtomicFile::protectFiles(&openFiles);
    return conn;
}

std::shared_ptr<Connection> opened(const QString& alias)
{
    return openConnections().value(alias);
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
