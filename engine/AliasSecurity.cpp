#include "engine/AliasSecurity.h"

#include "engine/AliasSettings.h"
#include "engine/KeyValueList.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace
{

// Where a password hides in the options of a PostgreSQL alias and in an ODBC
// connection string.
const QStringList kOptionPasswords { QStringLiteral("password") };
const QStringList kOdbcPasswords { QStringLiteral("PWD"), QStringLiteral("Password") };
// psqlODBC's names for its server and its TLS mode ("CA" is its short form).
const QStringList kOdbcServer { QStringLiteral("Server"), QStringLiteral("Servername") };
const QStringList kOdbcSslMode { QStringLiteral("SSLmode"), QStringLiteral("CA") };

bool isLocalAddress(QString host)
{
    host = host.trimmed().toLower();
    if (host.isEmpty() || host.startsWith(QLatin1Char('/')) || host.startsWith(QLatin1Char('@')))
        return true;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host == QLatin1String("localhost") || host == QLatin1String("localhost."))
        return true;
    if (host.startsWith(QLatin1String("::ffff:")))
        host = host.mid(7);
    static const QRegularExpression v4(QStringLiteral("^127\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    if (const QRegularExpressionMatch m = v4.match(host); m.hasMatch())
        return m.captured(1).toInt() < 256 && m.captured(2).toInt() < 256 && m.captured(3).toInt() < 256;
    // ::1 in any of its spellings: zeros and colons, then the last group's 1.
    static const QRegularExpression v6(QStringLiteral("^[0:]*:0{0,3}1$"));
    return host.contains(QLatin1String("::")) ? v6.match(host).hasMatch()
                                              : host.count(QLatin1Char(':')) == 7 && v6.match(host).hasMatch();
}

// The path as a shell takes it: quoted when it holds anything but plain characters.
QString shellPath(const QString& file)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
    QString path = QDir::toNativeSeparators(file);
    if (!plain.match(path).hasMatch())
        path = QLatin1Char('\'') + path.replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
    return path;
}

QString exposedPasswordNotice(const QString& file, const QStringList& places)
{
    return QStringLiteral("Le mot de passe de %1 (%2) n'est pas utilisé : d'autres utilisateurs peuvent lire ce "
                          "fichier. Pour qu'il serve, rendez-le lisible par vous seul :\nchmod 600 %3")
        .arg(QDir::toNativeSeparators(file), places.join(QStringLiteral(", ")), shellPath(file));
}

// What to say when a server off this machine offers no TLS: what happened, the one line
// that accepts a link in clear (added to key, or as a new key line when key is empty),
// and what it costs.
QString noTlsRefusal(const AliasSettings& s, const QString& file, const QString& server, const QString& key,
    const QString& keyValue, const QString& sslMode)
{
    const QString disable = sslMode + QStringLiteral("=disable");
    const QString where = keyValue.isEmpty()
        ? QStringLiteral("ajoutez à la section [%1] de %2 la ligne :\n%3=%4").arg(s.alias, file, key, disable)
        : QStringLiteral("ajoutez à la fin de la ligne %3 de la section [%1] de %2 :\n;%4").arg(s.alias, file, key, disable);
    return QStringLiteral("Le serveur %1 n'offre pas de connexion chiffrée. VeloSQL ne s'y connecte pas : le mot "
                          "de passe et les données des patients traverseraient le réseau en clair.\n"
                          "Pour accepter malgré tout une connexion non chiffrée, %2\n"
                          "Risque : quiconque écoute le réseau entre ce poste et le serveur lira alors le mot de passe "
                          "et chaque donnée échangée.")
        .arg(server, where);
}

} // namespace

namespace AliasSecurity
{

bool isLocalHost(const QString& host)
{
    for (const QString& one : host.split(QLatin1Char(',')))
        if (!isLocalAddress(one))
            return false;
    return true;
}

bool othersMayRead(const QString& file)
{
#ifdef Q_OS_WIN
    Q_UNUSED(file);
    return false;
#else
    constexpr QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return (QFileInfo(file).permissions() & others) != 0;
#endif
}

void setAsideReadablePasswords(AliasSettings& s, const QString& file)
{
    if (!othersMayRead(file))
        return;
    // A password that others can read is no secret: the server's login is asked for
    // instead, as libpq does with a ~/.pgpass that others can read.
    QStringList places;
    if (s.hasPassword)
        places << QStringLiteral("clé « password »");
    s.hasPassword = false;
    s.password.clear();
    QStringList removed;
    if (KeyValueList::value(s.options, kOptionPasswords))
        s.options = KeyValueList::without(s.options, kOptionPasswords, &removed);
    for (const QString& key : std::as_const(removed))
        places << QStringLiteral("« %1= » dans la clé « options »").arg(key);
    removed.clear();
    if (s.isOdbc() && KeyValueList::value(s.database, kOdbcPasswords))
        s.database = KeyValueList::without(s.database, kOdbcPasswords, &removed);
    for (const QString& key : std::as_const(removed))
        places << QStringLiteral("« %1= » dans la clé « database »").arg(key);
    if (!places.isEmpty())
        s.passwordNotice = exposedPasswordNotice(file, places);
}

void encryptByDefault(AliasSettings& s, const QString& file)
{
    const QString shown = QDir::toNativeSeparators(file);
    if (s.isPostgres()) {
        // libpq's own variable is the user's word too.
        if (KeyValueList::value(s.options, { QStringLiteral("sslmode") }) || qEnvironmentVariableIsSet("PGSSLMODE"))
            return;
        const QString host = KeyValueList::value(s.options, { QStringLiteral("host") }).value_or(s.host);
        const QString address = KeyValueList::value(s.options, { QStringLiteral("hostaddr") }).value_or(QString());
        if (isLocalHost(host) && isLocalHost(address))
            return;
        const bool root = KeyValueList::value(s.options, { QStringLiteral("sslrootcert") }).has_value();
        s.noTlsRefusal = noTlsRefusal(s, shown, host, QStringLiteral("options"), s.options, QStringLiteral("sslmode"));
        s.options = KeyValueList::with(
            s.options, QStringLiteral("sslmode"), root ? QStringLiteral("verify-full") : QStringLiteral("require"));
    } else if (s.isOdbc()) {
        if (!KeyValueList::namesPostgresDriver(s.database))
            return;
        // libpq's options pass through psqlODBC's pqopt.
        const QString libpqOptions = KeyValueList::value(s.database, { QStringLiteral("pqopt") }).value_or(QString());
        if (KeyValueList::value(s.database, kOdbcSslMode) || libpqOptions.contains(QLatin1String("sslmode")))
            return;
        const QString server = KeyValueList::value(s.database, kOdbcServer).value_or(QString());
        if (isLocalHost(server))
            return;
        const bool root = libpqOptions.contains(QLatin1String("sslrootcert"));
        s.noTlsRefusal = noTlsRefusal(s, shown, server, QStringLiteral("database"), s.database, kOdbcSslMode.first());
        s.database = KeyValueList::with(
            s.database, kOdbcSslMode.first(), root ? QStringLiteral("verify-full") : QStringLiteral("require"));
    }
}

bool saysNoTls(const QString& message)
{
    return message.contains(QLatin1String("server does not support SSL"), Qt::CaseInsensitive);
}

} // namespace AliasSecurity
