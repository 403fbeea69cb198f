#pragma once

#include "data/DataSet.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QTableView>
#include <functional>
class TDataSource;
class TField;

// The rows of a data set as a table model: one column per visible field, headed by
// the field's name. Cells are read straight from the data set's store, so only the
// rows on screen are ever converted to text.
class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DataSetModel(QObject* parent = nullptr);

    void setDataSet(TDataSet* dataSet);
    TDataSet* dataSet() const { return m_dataSet; }
    TField* fieldOfColumn(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void rebuild();
    // Other rows shown: those held are taken away, and those shown now put in.
    void replaceRows();

    QPointer<TDataSet> m_dataSet;
    QList<int> m_fieldIndexes;
    int m_rows = 0; // the rows the views were told of
};

// A read-only grid bound to a data set: movable and resizable columns, one cell
// selected at a time, no indicator column. The right button leaves the current cell
// where it is, for the grid's context menu. It shows the data set's current record
// and follows it; a walk over many records repaints once, when the walk is over.
// A click on a column's header sorts the rows by it (ascending, descending, then the
// query's own order), with the header's arrow; the current cell stays where it is.
// The header of a filtered column shows a funnel, and its tooltip the condition and
// how many records are shown of how many; the column widens to keep its name whole.
class TDBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr, const QString& name = {});

    void setDataSource(TDataSource* source);
    TDataSet* dataSet() const { return m_model->dataSet(); }

    // The field of the current column; nullptr without one.
    TField* selectedField() const;
    // Number of columns, and the field of a column counted in display order.
    int columnCountShown() const;
    TField* fieldAtDisplayColumn(int visualIndex) const;

    // How a sort that may take long runs: the window gives the grid its long-work
    // dialog, which runs work with a callback that answers false once "Annuler" was
    // pressed. Without one, the grid sorts under the wait cursor alone.
    using LongWork = std::function<void(const std::function<void(const ParallelParts::Progress&)>& work)>;
    void setLongWork(LongWork run) { m_longWork = std::move(run); }

signals:
    // The left button was released over the data cell that it was pressed on, after
    // the cell became current.
    void cellClick(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void scheduleSync();
    void syncToDataSet();
    void sizeColumns();
    void sortByColumn(int column);
    void showSortIndicator();
    void fitFilteredColumns();

    DataSetModel* m_model;
    bool m_syncPending = false;
    bool m_syncing = false;
    QPersistentModelIndex m_pressed;
    LongWork m_longWork;
    // The current column, kept while other rows are put in place of those shown.
    int m_column = -1;
};
