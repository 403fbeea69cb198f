#include "data/Field.h"

#include "data/DataSet.h"
#include "platform/Exceptions.h"
#include <algorithm>
#include <limits>

TField::TField(TDataSet* dataSet, int index, const ColumnInfo& column)
    : m_dataSet(dataSet)
    , m_forms(&dataSet->textForms())
    , m_index(index)
    , m_name(column.name)
    , m_type(column.type)
    , m_size(column.size)
    , m_precision(column.precision)
{
}

int TField::displayWidth() const
{
    if (m_displayWidth >= 1)
        return m_displayWidth;
    switch (m_type) {
    case ftString:
        return std::max(m_size, 0);
    case ftBoolean:
        return 4;
    case ftBCD:
        if (m_precision <= 0)
            return 10;
        return m_precision < std::numeric_limits<int>::max() ? m_precision + 1 : m_precision;
    default:
        return 10;
    }
}

CellRef TField::cell() const
{
    return m_dataSet->currentCell(m_index);
}

CellRef TField::cellAt(qsizetype row) const
{
    return m_dataSet->cellAt(row, m_index);
}

QString TField::asString() const
{
    return textOf(cell());
}

QString TField::textStart(const CellRef& c, qsizetype units) const
{
    return m_forms->textStart(c, m_type, units);
}

qint64 TField::asCurrency() const
{
    return m_forms->amountOf(cell(), m_type);
}

QByteArray TField::blobContents() const
{
    QByteArray out;
    appendBlobContents(out);
    return out;
}

void TField::appendBlobContents(QByteArray& out) const
{
    m_forms->appendContents(out, cell(), m_type);
}

void TField::setAsString(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    CellRef c;
    c.cls = CellClass::Text;
    c.data = utf8.constData();
    c.size = utf8.size();
    m_dataSet->setFieldValue(m_index, c);
}
