#include "engine/postgres/PgMessages.h"

#include "platform/Utf8.h"

#include <QStringList>
#include <libpq-fe.h>

namespace PgMessages
{

QString oneLinePerError(const QByteArray& text)
{
    QStringList errors;
    for (const QByteArray& line : text.split('\n')) {
        const QString part = Utf8::decode(line).simplified();
        if (part.isEmpty())
            continue;
        if ((line.startsWith('\t') || line.startsWith(' ')) && !errors.isEmpty())
            errors.last() += QLatin1Char(' ') + part;
        else if (!errors.contains(part))
            errors << part;
    }
    return errors.join(QLatin1Char('\n'));
}

QString lost()
{
    return QStringLiteral("La connexion au serveur de base de données a été perdue");
}

QString errorOf(const PGresult* r)
{
    if (const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY))
        return Utf8::decode(primary).simplified();
    const QString text = oneLinePerError(PQresultErrorMessage(r));
    return text.isEmpty() ? lost() : text;
}

} // namespace PgMessages
