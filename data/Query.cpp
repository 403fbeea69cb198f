#include "data/Query.h"

#include "engine/ErrorPosition.h"
#include "platform/Exceptions.h"

TQuery::TQuery(QObject* owner, const QString& name)
    : TDataSet(owner, name)
{
}

void TQuery::setSQL(const QString& text)
{
    m_sql = text;
    m_parsed = scanParameters(text);
}

void TQuery::open()
{
    if (active())
        return;
    if (!m_parsed.params.isEmpty())
        throw EDatabaseError(QStringLiteral("Pas de valeur pour le paramètre '%1'").arg(m_parsed.params.first()));
    auto conn = connection();
    try {
        setResult(conn->execute(m_parsed.text, m_onProgress));
    } catch (const EDatabaseError& e) {
        // The place the engine points at, in the statement as the user wrote it; the
        // token quoted as near "…" when the engine tells no place.
        const qsizetype position = e.position() >= 0 ? sourcePosition(m_sql, e.position())
                                                     : ErrorPosition::nearToken(e.message(), m_sql);
        if (position == e.position())
            throw;
        throw EDatabaseError(e.message(), position);
    }
}
