#include "data/RowsSnapshot.h"

#include "data/DataSet.h"

RowsSnapshot::RowsSnapshot(const TDataSet& data)
    : m_store(data.sharedStore())
    , m_forms(data.textForms())
    , m_rowCount(data.recordCount())
{
    if (!data.showsStoreOrder()) {
        m_order.reserve(size_t(m_rowCount));
        for (qsizetype row = 0; row < m_rowCount; ++row)
            m_order.push_back(data.storeRow(row));
    }
    for (int i = 0; i < data.fieldCount(); ++i)
        m_types.push_back(data.field(i)->dataType());
    if (data.editing()) {
        m_editedRow = data.recNo();
        m_editedBytes.reserve(size_t(data.fieldCount())); // the cells point into these
        for (int i = 0; i < data.fieldCount(); ++i) {
            CellRef cell = data.currentCell(i);
            m_editedBytes.emplace_back(cell.data, cell.size);
            cell.data = m_editedBytes.back().constData();
            m_edited.push_back(cell);
        }
    }
}

CellRef RowsSnapshot::cell(qsizetype row, int column, ResultStore::Place& place) const
{
    if (row == m_editedRow)
        return m_edited[size_t(column)];
    return m_store->cell(m_order.empty() ? row : m_order[size_t(row)], column, place);
}
