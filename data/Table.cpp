#include "data/Table.h"

#include "platform/Exceptions.h"

#include <algorithm>

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
    // Taken before the rows are read: a change made while they are read shows at the next refresh.
    const ChangeMark mark = conn->changeMark();
    TableResult table = conn->openTable(sqlTableName());
    m_readOnly = conn->isReadOnly() || table.readOnly;
    m_keys = std::move(table.keys);
    m_buffer.clear();
    m_mark = mark;
    setResult(std::move(table.data));
}

void TTable::refresh()
{
    if (!active() || state() == dsInsert)
        return;
    auto conn = connection();
    const ChangeMark mark = conn->changeMark();
    if (!mark.changedSince(m_mark))
        return;
    if (state() == dsBrowse) {
        reload();
        return;
    }
    const TableResult stored = conn->openTable(sqlTableName());
    m_mark = mark;
    takeStoredValues(stored);
    emit recordChanged();
}

void TTable::takeStoredValues(const TableResult& stored)
{
    const auto found = std::find(stored.keys.begin(), stored.keys.end(), m_keys[size_t(storeRow(recNo()))]);
    if (found == stored.keys.end())
        return;
    const qsizetype row = found - stored.keys.begin();
    for (int i = 0; i < fieldCount(); ++i) {
        if (m_buffer[size_t(i)].changed)
            continue;
        for (size_t c = 0; c < stored.data.columns.size(); ++c)
            if (stored.data.columns[c].name.compare(field(i)->fieldName(), Qt::CaseInsensitive) == 0) {
                m_buffer[size_t(i)].value = FieldValue::of(stored.data.rows->cell(row, int(c)));
                break;
            }
    }
}

void TTable::edit()
{
    if (!active())
        throw EDatabaseError(QStringLiteral("Ne peut effectuer cette opération sur un ensemble de données fermé"));
    if (editing())
        return;
    if (m_readOnly)
        throw EDatabaseError(readOnlyMessage());
    m_buffer.assign(size_t(fieldCount()), EditValue {});
    if (recordCount() == 0) {
        setState(dsInsert);
    } else {
        for (int i = 0; i < fieldCount(); ++i)
            m_buffer[size_t(i)].value = FieldValue::of(TDataSet::currentCell(i));
        setState(dsEdit);
    }
}

void TTable::post()
{
    if (!editing())
        return;
    emit aboutToPost();
    // Only the fields that were set are written; the others keep what is stored,
    // whoever stored it.
    QStringList columns;
    std::vector<FieldValue> values;
    std::vector<FieldChange> changes;
    for (int i = 0; i < fieldCount(); ++i) {
        const EditValue& v = m_buffer[size_t(i)];
        if (!v.changed)
            continue;
        if (state() == dsInsert) {
            columns << field(i)->fieldName();
            values.push_back(v.value);
        } else {
            changes.push_back({ field(i)->fieldName(), FieldValue::of(TDataSet::currentCell(i)), v.value });
        }
    }
    auto conn = connection();
    if (state() == dsInsert)
        conn->insertRow(sqlTableName(), columns, values);
    else
        conn->updateRow(sqlTableName(), m_keys[size_t(storeRow(recNo()))], changes);
    // The stored row is read back (bound controls hear it as a new layout); the
    // table stands on its first record again. Written all the same if that fails.
    reloadEndingEdit();
}

void TTable::cancel()
{
    if (!editing())
        return;
    reloadEndingEdit();
}

void TTable::reloadEndingEdit()
{
    try {
        reload();
    } catch (...) {
        // The edit is over whether or not the stored rows could be read again.
        m_buffer.clear();
        setState(dsBrowse);
        emit recordChanged();
        throw;
    }
}

CellRef TTable::currentCell(int column) const
{
    if (editing() && size_t(column) < m_buffer.size())
        return m_buffer[size_t(column)].value.ref();
    return TDataSet::currentCell(column);
}

void TTable::setFieldValue(int column, const CellRef& value)
{
    if (!editing()) {
        if (m_readOnly || !active())
            throw EDatabaseError(readOnlyMessage());
        throw EDatabaseError(QStringLiteral("L'ensemble de données n'est pas en mode édition ou insertion"));
    }
    EditValue& v = m_buffer[size_t(column)];
    v.value = FieldValue::of(value);
    v.changed = true;
    emit recordChanged();
}
