#include "platform/LineEnds.h"

namespace LineEnds
{

QString toLf(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QString toCrLf(QString text)
{
    return text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'))
        .replace(QChar::LineSeparator, QLatin1Char('\n'))
        .replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

} // namespace LineEnds
