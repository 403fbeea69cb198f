#include "engine/KeyValueList.h"

namespace
{

// The value without the braces or double quotes around it.
QString unquoted(const QString& value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('{')) && value.endsWith(QLatin1Char('}')))
        return value.mid(1, value.size() - 2).replace(QStringLiteral("}}"), QStringLiteral("}"));
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

bool among(const QString& key, const QStringList& keys)
{
    return keys.contains(key, Qt::CaseInsensitive);
}

} // namespace

namespace KeyValueList
{

QList<Entry> entries(const QString& list)
{
    QList<Entry> found;
    qsizetype start = 0;
    const auto add = [&](qsizetype end) {
        const QString pair = list.mid(start, end - start);
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (!pair.trimmed().isEmpty())
            found.append(Entry { pair.left(equals < 0 ? pair.size() : equals).trimmed(),
                equals < 0 ? QString() : unquoted(pair.mid(equals + 1).trimmed()), start, end - start });
        start = end + 1;
    };
    QChar closing; // of the quote the scan is in, null outside one
    bool inValue = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QChar c = list.at(i);
        if (!closing.isNull()) {
            if (c == closing) {
                // "}}" inside braces is a brace of the value.
                if (closing == QLatin1Char('}') && i + 1 < list.size() && list.at(i + 1) == QLatin1Char('}'))
                    ++i;
                else
                    closing = QChar();
            }
        } else if (c == QLatin1Char(';')) {
            add(i);
            inValue = false;
        } else if (c == QLatin1Char('=') && !inValue) {
            inValue = true;
            // A quote opens only at the start of a value.
            qsizetype next = i + 1;
            while (next < list.size() && list.at(next).isSpace())
                ++next;
            if (next < list.size() && (list.at(next) == QLatin1Char('{') || list.at(next) == QLatin1Char('"'))) {
                closing = list.at(next) == QLatin1Char('{') ? QLatin1Char('}') : QLatin1Char('"');
                i = next;
            }
        }
    }
    add(list.size());
    return found;
}

std::optional<QString> value(const QString& list, const QStringList& keys)
{
    for (const Entry& e : entries(list))
        if (among(e.key, keys))
            return e.value;
    return std::nullopt;
}

QString without(const QString& list, const QStringList& keys, QStringList* removed)
{
    QStringList kept;
    for (const Entry& e : entries(list)) {
        if (!among(e.key, keys))
            kept << list.mid(e.start, e.length).trimmed();
        else if (removed)
            *removed << e.key;
    }
    return kept.join(QLatin1Char(';'));
}

bool namesPostgresDriver(const QString& connection)
{
    return value(connection, { QStringLiteral("DRIVER") })
        .value_or(QString())
        .contains(QLatin1String("postgres"), Qt::CaseInsensitive);
}

QString with(const QString& list, const QString& key, const QString& value)
{
    QString result = list.trimmed();
    if (!result.isEmpty() && !result.endsWith(QLatin1Char(';')))
        result += QLatin1Char(';');
    return result + key + QLatin1Char('=') + value;
}

} // namespace KeyValueList
