#include "engine/ErrorPosition.h"

#include <QRegularExpression>

namespace ErrorPosition
{

qsizetype fromUtf8Offset(QByteArrayView utf8, qsizetype byteOffset)
{
    if (byteOffset < 0)
        return -1;
    byteOffset = qMin(byteOffset, utf8.size());
    // A continuation byte belongs to the character that starts before it.
    while (byteOffset > 0 && byteOffset < utf8.size() && (uchar(utf8[byteOffset]) & 0xC0) == 0x80)
        --byteOffset;
    return QString::fromUtf8(utf8.first(byteOffset)).size();
}

qsizetype afterCharacters(const QString& text, qsizetype from, qsizetype characters)
{
    qsizetype i = qBound(qsizetype(0), from, text.size());
    for (; characters > 0 && i < text.size(); --characters)
        i += (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
    return i;
}

qsizetype nearToken(const QString& message, const QString& sql)
{
    // The token runs to the last quote before ": " or the end of the message: it may
    // hold quotes of its own ("near ""Nom"": syntax error").
    static const QRegularExpression near(QStringLiteral("near \"(.+)\"(?=:\\s|\\s*$)"));
    const QRegularExpressionMatch m = near.match(message);
    if (!m.hasMatch())
        return -1;
    return sql.indexOf(m.captured(1));
}

} // namespace ErrorPosition
