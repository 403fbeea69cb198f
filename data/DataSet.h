#pragma once

#include "data/Field.h"
#include "data/ParallelParts.h"
#include "data/RowFilter.h"
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

    // Filtering: the rows shown are those whose values pass the condition of every
    // filtered field (RowFilter), in the order of the sort, and every walk, export,
    // copy and capture sees those alone. filterBy() gives field a condition in place of
    // the one it had, on every core; the current record stays current when it passes,
    // else the first row shown becomes current. Throws while a record is being changed,
    // and for a condition that cannot filter the field (RowFilter::problem). When
    // progress asks to stop, nothing changes and the answer is false.
    bool filterBy(int field, const RowFilter::Condition& condition, const ParallelParts::Progress& progress = {});
    // Every row shown again, in the order of the sort.
    void removeFilters();
    bool filtered() const { return !m_filters.empty(); }
    // The condition of a field; nullptr when the field is not filtered.
    const RowFilter::Condition* filterOf(int field) const;
    // Rows of the result, shown or not.
    qsizetype allRecordCount() const;

    // While it lives, the data set shows all of its rows, in the order of its sort, as
    // though it were not filtered (to write all of them); then the filter's rows come
    // back, with the current record if it passes, else the first one.
    class AllRows
    {
    public:
        explicit AllRows(TDataSet& dataSet);
        ~AllRows();
        AllRows(const AllRows&) = delete;
        AllRows& operator=(const AllRows&) = delete;

    private:
        QPointer<TDataSet> m_dataSet;
    };

    // The row of the store shown at row.
    qsizetype storeRow(qsizetype row) const { return m_view ? (*m_view)[size_t(row)] : row; }
    // Whether every row of the store is shown in its own order.
    bool showsStoreOrder() const { return m_view == nullptr; }
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
    // Other rows are shown (a filter given or removed): the rows, their count and the
    // current record may all have changed.
    void rowsChanged();

protected:
    void setResult(QueryResult result);
    void setState(State state);
    std::shared_ptr<Connection> connection() const;
    virtual void setFieldValue(int column, const CellRef& value);

private:
    struct FieldFilter {
        int field;
        RowFilter::Condition condition;
        std::vector<quint8> passes; // one a row of the store
    };
    void dropOrder();
    // Shows the rows that pass every filter (all of them when showAll), in the order
    // of the sort; the current record stays if it is shown, else the first one.
    void showRows(bool showAll = false);
    friend class TField;
    QString m_databaseName;
    State m_state = dsInactive;
    QueryResult m_result;
    std::vector<std::unique_ptr<TField>> m_fields;
    qsizetype m_row = -1;
    bool m_eof = true;
    TextForms m_forms;
    std::vector<qsizetype> m_order; // the sort's order of the store's rows; empty: its own
    std::vector<FieldFilter> m_filters;
    std::vector<qsizetype> m_shown; // the rows that pass, in the sort's order
    const std::vector<qsizetype>* m_view = nullptr; // m_order, m_shown, or none: the store's order
    bool m_showAll = false; // filtered, but every row shown (AllRows)
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
