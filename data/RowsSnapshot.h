#pragma once

#include "data/TextForms.h"
#include "engine/FieldType.h"
#include "engine/ResultStore.h"

#include <QByteArray>
#include <memory>
#include <vector>

class TDataSet;

// The rows of a data set as they stand when the snapshot is taken, to be read on other
// threads: the result's store (kept while the snapshot lives, whatever becomes of the
// data set meanwhile), the order the rows are shown in, the fields' types and the text
// forms, and the values of a record being changed. It reads nothing of the data set
// afterwards, so the data set may be sorted, closed or reopened while it is read.
class RowsSnapshot
{
public:
    explicit RowsSnapshot(const TDataSet& data);

    qsizetype rowCount() const { return m_rowCount; }
    TFieldType type(int column) const { return m_types[size_t(column)]; }
    const TextForms& forms() const { return m_forms; }
    // The cell of column in the row shown at row; each thread reads with a place of its own.
    CellRef cell(qsizetype row, int column, ResultStore::Place& place) const;

private:
    std::shared_ptr<const ResultStore> m_store;
    std::vector<qsizetype> m_order;
    std::vector<TFieldType> m_types;
    TextForms m_forms;
    qsizetype m_rowCount = 0;
    // The record being changed, with its values as they stand.
    qsizetype m_editedRow = -1;
    std::vector<QByteArray> m_editedBytes;
    std::vector<CellRef> m_edited;
};
