#include "engine/qtsql/QtSqlFailures.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>

namespace
{

bool saysAny(const QSqlError& e, std::initializer_list<const char*> signs)
{
    const QString text = e.databaseText() + QLatin1Char('\n') + e.driverText();
    for (const char* sign : signs)
        if (text.contains(QLatin1String(sign), Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

namespace QtSqlFailures
{

// The server's message, one line per error of its chain. Drivers add lines of their own
// that say nothing more ("QODBC: Unable to connect", "Error while executing the query"),
// and PostgreSQL's ODBC driver ends the server's message with ";", after its DETAIL or
// HINT line when it has one.
QString errorText(const QSqlError& e)
{
    static const QRegularExpression severity(QStringLiteral("^(ERROR|FATAL|PANIC|WARNING):"));
    QStringList lines;
    bool serverMessage = false;
    for (QString line : e.databaseText().split(QLatin1Char('\n'))) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        serverMessage = severity.match(line).hasMatch() || (serverMessage && !line.isEmpty());
        if (serverMessage && line.endsWith(QLatin1Char(';')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line == QLatin1String("Error while executing the query"))
            continue;
        lines << line;
    }
    if (lines.isEmpty() && !e.driverText().trimmed().isEmpty())
        lines << e.driverText().trimmed();
    if (lines.isEmpty())
        lines << QStringLiteral("Le pilote de base de données n'a donné aucun message d'erreur");
    return lines.join(QLatin1Char('\n'));
}

// Throws the failure of a statement on driver: LostSession when the session is gone,
// DriverFailure otherwise.
[[noreturn]] void fail(const QSqlError& e, const QSqlDriver* driver)
{
    const bool neverRan = saysAny(e, { "unable due to the connection lost", "database not open" });
    if (neverRan || !driver || !driver->isOpen()
        || saysAny(e,
            { "terminating connection", "connection has been lost", "server closed the connection",
                "no connection to the server", "could not receive data from server", "could not send data to server" }))
        throw LostSession(errorText(e), neverRan);
    throw DriverFailure(errorText(e));
}

// Prepares sql on db, binds values in order and runs it; throws as fail() does.
QSqlQuery runBound(QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        fail(q.lastError(), db.driver());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q.lastError(), db.driver());
    return q;
}

} // namespace QtSqlFailures
