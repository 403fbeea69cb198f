#include "app/RememberedList.h"

namespace RememberedList
{

bool sortsBefore(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.compare(b, Qt::CaseSensitive) < 0;
}

QStringList memoLines(const QString& text)
{
    // A final line break ends the last line: the empty text after it is no line.
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString withLine(const QString& text, const QString& line)
{
    const QString lineEnd = QStringLiteral("\r\n");
    return (memoLines(text) << line).join(lineEnd) + lineEnd;
}

QStringList linesToAdd(const QStringList& lines, const QSet<QString>& listed)
{
    QStringList added;
    QSet<QString> seen;
    for (const QString& line : lines) {
        if (listed.contains(line) || seen.contains(line))
            continue;
        seen.insert(line);
        added << line;
    }
    return added;
}

} // namespace RememberedList
