#pragma once

#include "ui/sql/SqlCompleter.h"

#include <QAbstractItemModel>
#include <vector>

// The tables of the catalogue as the table list shows them: grouped by schema where the
// database has schemas (PostgreSQL), each table with its columns, their declared types
// and their place in the primary key. Schemas and tables are sorted by name, letter
// case aside; columns keep the table's order. A filter keeps the tables whose name, or
// one of whose columns' names, holds its text. Names show on one line, cut when huge.
class CatalogueModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum class Kind { None, Schema, Table, Column };
    enum Column { NameColumn, TypeColumn, KeyColumn, ColumnCount };

    explicit CatalogueModel(QObject* parent = nullptr);

    void setNames(SqlNames names);
    const SqlNames& names() const { return m_names; }
    // Narrows the list to what holds text, letter case aside; empty shows everything.
    void setFilter(const QString& text);
    const QString& filter() const { return m_filter; }

    // Schemas are the list's first level.
    bool grouped() const { return m_grouped; }
    // The tables shown, and all of them.
    int shownTables() const { return m_shown; }
    int allTables() const { return int(m_names.tables.size()); }

    Kind kind(const QModelIndex& index) const;
    // The table of a table's or a column's index; null for a schema.
    const CatalogueTable* table(const QModelIndex& index) const;
    // The name that index stands for as a statement writes it (quoted where the engine
    // would read it otherwise, its schema before it where the search path does not
    // reach it); empty for a schema, and for a name that holds a line break, which a
    // statement of one line cannot hold.
    QString written(const QModelIndex& index) const;
    // The first table shown.
    QModelIndex firstTable() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A name as the list shows it: on one line (a line break as "↵"), cut after
    // 200 characters.
    static QString shown(const QString& name);

private:
    struct Group {
        QString schema;
        std::vector<int> tables; // indexes into m_names.tables, in the order shown
    };
    void rebuild();
    bool matches(const CatalogueTable& table) const;
    int tableIndex(const QModelIndex& index) const;

    SqlNames m_names;
    QString m_filter;
    bool m_grouped = false;
    // The tables by schema, then name: what the filter walks.
    std::vector<int> m_sorted;
    // What is shown: one group without a schema when not grouped.
    std::vector<Group> m_groups;
    // Per table: its group and its row in it; -1 when not shown.
    std::vector<int> m_groupOf;
    std::vector<int> m_rowOf;
    int m_shown = 0;
};
