#pragma once

#include "data/Field.h"
#include "data/ParallelParts.h"
#include "data/TextForms.h"
#include "engine/Connection.h"
#include "platform/TComponent.h"

#include <QPointer>
#include <memory>
#include <vector>

// A set of rows walked with a cursor: the base of queries and tables. The rows
// are held in memory once open.
class TDataSet : public TComponent
{
    Q_OBJECT
public:
    enum State { dsInactive = 0, dsBrowse = 1, dsEdit = 2, dsInsert = 3 };

    explicit TDataSet(QObject* owner = nullptr, const QString& name = {});
    ~TDataSet() override;

    // The alias of the database.
    const QString& databaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& alias) { m_databaseName = alias; }

    bool active() const { return m_state != dsInactive; }
    State state() const { return m_state; }
    // In edit or insert state: the current record is being changed.
    bool editing() const { return m_state == dsEdit || m_state == dsInsert; }
    virtual void open() = 0;
    void close();

    int fieldCount() const { return int(m_fields.size()); }
    TField* field(int index) const { return m_fields[size_t(index)].get(); }
    // First field whose name matches, ignoring letter case; nullptr when none.
    TField* FindField(const QString& name) const;
    // As FindField; a missing field throws "<data set> : Champ '<name>' non trouvé".
    TField* FieldByName(const QString& name) const;

    qsizetype recordCount() const;
    // The current row, counted from 0; -1 when there is none.
    qsizetype recNo() const { return m_row; }
    bool eof() const { return m_eof; }
    void first();
    void next();
    void last();
    // Makes row the current record (the grid's click).
    void moveTo(qsizetype row);

    // The cell of a column in the current record; tables in edit state answer from
    // their edit buffer.
    virtual CellRef currentCell(int column) const;
    CellRef cellAt(qsizetype row, int column) const;

    // Sorting: the rows shown in the order of one field's values (see RowOrder), held
    // in memory, every walk, export and capture following it; field -1 gives the
    // query's own order back. The current record stays current, at its new place.
    // Throws while a record is being changed. A large result sorts on every core, the
    // calling thread calling progress meanwhile: when it asks to stop, nothing changes
    // and the answer is false.
    bool sortBy(int field, Qt::SortOrder order = Qt::AscendingOrder, const ParallelParts::Progress& progress = {});
    // The field the rows are sorted by (-1: none), and in which direction.
    int sortField() const { return m_sortField; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // The row of the store shown at row.
    qsizetype storeRow(qsizetype row) const { return m_order.empty() ? row : m_order[size_t(row)]; }
    const TextForms& textForms() const { return m_forms; }
    const ResultStore* store() const { return m_result.rows.get(); }
    std::shared_ptr<const ResultStore> sharedStore() const { return m_result.rows; }

signals:
    // Opened or closed: the fields and rows were replaced.
    void layoutChanged();
    // The cursor moved to another record.
    void currentChanged();
    // The values of the current record changed (editing, cancel).
    void recordChanged();
    void stateChanged();
    // The rows were sorted again: the same rows, at other places.
    void orderChanged();

protected:
    void setResult(QueryResult result);
    void setState(State state);
    std::shared_ptr<Connection> connection() const;
    virtual void setFieldValue(int column, const CellRef& value);

private:
    void dropOrder();
    friend class TField;
    QString m_databaseName;
    State m_state = dsInactive;
    QueryResult m_result;
    std::vector<std::unique_ptr<TField>> m_fields;
    qsizetype m_row = -1;
    bool m_eof = true;
    TextForms m_forms;
    std::vector<qsizetype> m_order;
    int m_sortField = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// Names the data set that a bound control shows.
class TDataSource : public TComponent
{
    Q_OBJECT
public:
    explicit TDataSource(QObject* owner = nullptr, const QString& name = {})
        : TComponent(owner, name)
    {
    }
    TDataSet* dataSet() const { return m_dataSet; }
    void setDataSet(TDataSet* dataSet) { m_dataSet = dataSet; }

private:
    QPointer<TDataSet> m_dataSet;
};
