#include "Table.h"

#include "Exceptions.h"

namespace
{
QString readOnlyMessage()
{
    return QStringLiteral("Ne peut modifier un ensemble de données en lecture seule");
}
} // namespace

TTable::TTable(QObject* owner, const QString& name)
    : TDataSet(owner, name)
{
}

QString TTable::sqlTableName() const
{
    const qsizetype dot = m_tableName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? m_tableName.left(dot) : m_tableName;
}

void TTable::open()
{
    if (active())
        return;
    reload();
}

void TTable::reload()
{
    auto conn = connection();
    TableResult table = conn->openTable(sqlTableName());
    m_readOnly = conn->isReadOnly();
    m_keys = std::move(table.keys);
    m_buffer.clear();
    setResult(std::move(table.data));
}

void TTable::edit()
{
    if (!active())
        throw EDatabaseError(QStringLiteral("Ne peut effectuer cette opération sur un ensemble de données fermé"));
    if (state() == dsEdit || state() == dsInsert)
        return;
    if (m_readOnly)
        throw EDatabaseError(readOnlyMessage());
    m_buffer.assign(size_t(fieldCount()), EditValue {});
    if (recordCount() == 0) {
        setState(dsInsert);
    } else {
        for (int i = 0; i < fieldCount(); ++i) {
            const CellRef c = TDataSet::currentCell(i);
            EditValue& v = m_buffer[size_t(i)];
            v.cls = c.cls;
            v.integer = c.integer;
            v.real = c.real;
            if (c.data)
                v.bytes = QByteArray(c.data, c.size);
        }
        setState(dsEdit);
    }
}

void TTable::post()
{
    if (state() != dsEdit && state() != dsInsert)
        return;
    emit aboutToPost();
    QStringList columns;
    QVariantList values;
    for (int i = 0; i < fieldCount(); ++i) {
        const EditValue& v = m_buffer[size_t(i)];
        columns << field(i)->fieldName();
        switch (v.cls) {
        case CellClass::Null:
            values << QVariant();
            break;
        case CellClass::Integer:
            values << QVariant(v.integer);
            break;
        case CellClass::Float:
            values << QVariant(v.real);
            break;
        case CellClass::Text:
            values << QVariant(QString::fromUtf8(v.bytes));
            break;
        case CellClass::Blob:
            values << QVariant(v.bytes);
            break;
        }
    }
    auto conn = connection();
    if (state() == dsInsert)
        conn->insertRow(sqlTableName(), columns, values);
    else
        conn->updateRow(sqlTableName(), m_keys[size_t(recNo())], columns, values);
    // The stored row is read back (bound controls hear it as a new layout); the
    // table stands on its first record again.
    reload();
}

void TTable::cancel()
{
    if (state() != dsEdit && state() != dsInsert)
        return;
    m_buffer.clear();
    setState(dsBrowse);
    emit recordChanged();
}

CellRef TTable::currentCell(int column) const
{
    if ((state() == dsEdit || state() == dsInsert) && size_t(column) < m_buffer.size()) {
        const EditValue& v = m_buffer[size_t(column)];
        CellRef c;
        c.cls = v.cls;
        c.integer = v.integer;
        c.real = v.real;
        c.data = v.bytes.constData();
        c.size = v.bytes.size();
        return c;
    }
    return TDataSet::currentCell(column);
}

void TTable::setFieldValue(int column, const CellRef& value)
{
    if (state() != dsEdit && state() != dsInsert) {
        if (m_readOnly || !active())
            throw EDatabaseError(readOnlyMessage());
        throw EDatabaseError(QStringLiteral("L'ensemble de données n'est pas en mode édition ou insertion"));
    }
    EditValue& v = m_buffer[size_t(column)];
    v.cls = value.cls;
    v.integer = value.integer;
    v.real = value.real;
    v.bytes = value.data ? QByteArray(value.data, value.size) : QByteArray();
    emit recordChanged();
}
