#include "data/SqlParameters.h"

namespace
{
bool endsName(QChar c)
{
    switch (c.unicode()) {
    case u' ':
    case u'\t':
    case u',':
    case u';':
    case u')':
    case u'\r':
    case u'\n':
        return true;
    default:
        return false;
    }
}
} // namespace

ParsedStatement scanParameters(const QString& sql)
{
    ParsedStatement result;
    result.text.reserve(sql.size());
    bool quoted = false;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            quoted = !quoted;
            result.text.append(c);
            continue;
        }
        if (quoted || c != u':') {
            result.text.append(c);
            continue;
        }
        if (i + 1 < n && sql[i + 1] == u':') {
            result.text.append(c);
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < n && !endsName(sql[end]))
            ++end;
        result.params.append(sql.mid(i + 1, end - i - 1));
        result.places.append(result.text.size());
        result.text.append(sql.mid(i, end - i));
        i = end - 1;
    }
    return result;
}

qsizetype sourcePosition(const QString& sql, qsizetype position)
{
    if (position < 0)
        return -1;
    // The same walk as scanParameters, counting the characters it writes.
    bool quoted = false;
    qsizetype written = 0;
    qsizetype i = 0;
    for (const qsizetype n = sql.size(); i < n && written < position; ++i, ++written) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u':' && i + 1 < n && sql[i + 1] == u':')
            ++i;
    }
    return i;
}
