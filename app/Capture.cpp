#include "app/Capture.h"

#include "data/Field.h"

namespace Capture
{

QString cellText(const TField* field)
{
    return field ? field->asString() : QString();
}

QString addCell(const QString& memo, const QString& separator, const QString& cell)
{
    return memo.isEmpty() ? cell : memo + separator + cell;
}

QString addRow(const QString& memo, const QString& separator, const QStringList& cells)
{
    QString text = memo;
    for (qsizetype i = 0; i < cells.size(); ++i)
        text = (i == 0 && text.isEmpty()) ? cells[i] : text + separator + cells[i];
    return text;
}

} // namespace Capture
