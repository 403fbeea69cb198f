#include "data/Query.h"

#include "engine/ErrorPosition.h"
#include "platform/Exceptions.h"

#include <algorithm>

TQuery::TQuery(QObject* owner, const QString& name)
    : TDataSet(owner, name)
{
}

void TQuery::setSQL(const QString& text)
{
    m_sql = text;
    m_parsed = scanParameters(text);
    m_values.clear();
}

void TQuery::open()
{
    if (active())
        return;
    BoundParameters bound;
    for (qsizetype i = 0; i < m_parsed.params.size(); ++i) {
        const QString& name = m_parsed.params[i];
        const auto given = std::find_if(
            m_values.cbegin(), m_values.cend(), [&name](const NamedValue& v) { return v.name == name; });
        if (given == m_values.cend())
            throw EDatabaseError(QStringLiteral("Pas de valeur pour le paramètre '%1'").arg(name));
        bound.push_back(BoundParameter { m_parsed.places[i], name.size() + 1, given->value });
    }
    auto conn = connection();
    try {
        setResult(conn->execute(m_parsed.text, m_onProgress, bound));
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
