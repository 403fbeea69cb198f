#include "data/Query.h"

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
    setResult(conn->execute(m_parsed.text, m_onProgress));
}
