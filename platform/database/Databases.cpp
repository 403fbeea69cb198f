#include "database/Databases.h"

#include "database/Credentials.h"
#include "database/DefaultDatabase.h"
#include "Exceptions.h"
#include "database/PgConnection.h"
#include "database/QtSqlConnection.h"
#include "database/SqliteConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
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

// PostgreSQL goes through its own client library; the other servers through Qt SQL.
bool isPostgres(const QString& driver)
{
    return driver.compare(QLatin1String("QPSQL"), Qt::CaseInsensitive) == 0;
}

std::shared_ptr<Connection> openServer(const AliasSettings& s)
{
    if (isPostgres(s.driver))
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

// The first line that is neither blank, a comment, a [section] nor a key=value pair
// (from 1); 0 when none is.
int firstMalformedLine(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    int number = 0;
    while (!f.atEnd()) {
        ++number;
        const QByteArray line = f.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[') ? !line.endsWith(']') : !line.contains('='))
            return number;
    }
    return 0;
}

// An aliases.ini that exists must be read whole: a file that cannot be read or
// understood would otherwise send every alias to the embedded default.
void checkReadable(const QSettings& ini, const QString& file)
{
    const QString path = QDir::toNativeSeparators(file);
    if (!QFileInfo::exists(file))
        throw EDatabaseError(
            QStringLiteral("Fichier des alias illisible : %1 (lien vers un fichier absent)").arg(path));
    if (ini.status() == QSettings::AccessError) {
        QString reason;
        if (QFileInfo(file).isDir()) {
            reason = QStringLiteral("c'est un dossier");
        } else {
            QFile f(file);
            reason = f.open(QIODevice::ReadOnly)             ? QStringLiteral("lecture impossible")
                : f.error() == QFileDevice::PermissionsError ? QStringLiteral("accès refusé")
                                                             : f.errorString();
        }
        throw EDatabaseError(QStringLiteral("Fichier des alias illisible : %1 (%2)").arg(path, reason));
    }
    if (ini.status() == QSettings::FormatError) {
        const int line = firstMalformedLine(file);
        throw EDatabaseError(line > 0
                ? QStringLiteral("Fichier des alias mal formé : %1 (ligne %2)").arg(path, QString::number(line))
                : QStringLiteral("Fichier des alias mal formé : %1").arg(path));
    }
}

// The section of an alias, letter case aside; an exact match comes first. Empty when
// there is none.
QString sectionOf(const QStringList& sections, const QString& alias, const QString& file)
{
    if (sections.contains(alias))
        return alias;
    QStringList matches;
    for (const QString& section : sections)
        if (section.compare(alias, Qt::CaseInsensitive) == 0)
            matches << section;
    if (matches.size() > 1)
        throw EDatabaseError(QStringLiteral("Le fichier des alias %1 a plusieurs sections pour l'alias %2 : [%3]")
                                 .arg(QDir::toNativeSeparators(file), alias, matches.join(QStringLiteral("], ["))));
    return matches.value(0);
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
    if (const QFileInfo info(file); info.exists() || info.isSymLink()) {
        QSettings ini(file, QSettings::IniFormat);
        // The file is read at the first question asked; its status is known after it.
        const QStringList sections = ini.childGroups();
        checkReadable(ini, file);
        const QString section = sectionOf(sections, alias, file);
        if (!section.isEmpty()) {
            ini.beginGroup(section);
            s.configured = true;
            s.driver = ini.value(QStringLiteral("driver")).toString().trimmed();
            if (s.driver.isEmpty())
                s.driver = QStringLiteral("SQLITE");
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
        if (!isPostgres(s.driver) && !QSqlDatabase::isDriverAvailable(s.driver))
            throw EDatabaseError(unknownDriverMessage(s.driver));
        // A server that wants a password not written in aliases.ini asks for it through
        // the program's credentials provider.
        Credentials::connectWithLogin(
            s, [&conn](const AliasSettings& settings) { conn = openServer(settings); });
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
