#include "engine/StatementParameters.h"

ParameterPlaces::ParameterPlaces(const QString& text, const BoundParameters& parameters)
{
    m_places.reserve(parameters.size());
    qsizetype at = 0; // in the text
    qsizetype byteAt = 0; // the same place in its UTF-8 form
    for (const BoundParameter& p : parameters) {
        byteAt += QStringView(text).sliced(at, p.start - at).toUtf8().size();
        const qsizetype bytes = QStringView(text).sliced(p.start, p.length).toUtf8().size();
        m_places.push_back(Place { byteAt, bytes, p.length, p.value });
        at = p.start + p.length;
        byteAt += bytes;
    }
}

BoundStatement ParameterPlaces::bind(QByteArrayView utf8, QByteArrayView part, Placeholder placeholder) const
{
    const qsizetype partStart = part.data() - utf8.data();
    const qsizetype partEnd = partStart + part.size();
    BoundStatement bound;
    bound.sql.reserve(part.size());
    qsizetype copied = partStart;
    for (const Place& p : m_places) {
        if (p.byteStart < partStart || p.byteStart + p.byteLength > partEnd)
            continue;
        bound.sql.append(utf8.sliced(copied, p.byteStart - copied));
        const QByteArray mark = placeholder(int(bound.values.size()) + 1);
        bound.sql.append(mark);
        if (mark.size() < p.length)
            bound.sql.append(QByteArray(p.length - mark.size(), ' '));
        bound.values.push_back(p.value);
        copied = p.byteStart + p.byteLength;
    }
    bound.sql.append(utf8.sliced(copied, partEnd - copied));
    return bound;
}
