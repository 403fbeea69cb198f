#pragma once

#include "data/DataSet.h"

#include <vector>

// A table of the alias's database, opened on its first record. It can be edited
// record by record: edit (or insert on an empty table), post, cancel. A post writes
// only the fields that were set, and only if the stored record still holds what it
// held when it was read; otherwise it is refused and the edit goes on.
class TTable : public TDataSet
{
    Q_OBJECT
public:
    explicit TTable(QObject* owner = nullptr, const QString& name = {});

    // A name like a file's ("ListBase.DB") names the table without its extension.
    void setTableName(const QString& name) { m_tableName = name; }
    QString sqlTableName() const;

    void open() override;
    // False when the database cannot be written.
    bool canModify() const { return active() && !m_readOnly; }

    void edit();
    void post();
    // Drops the changes and reads the record again as it is stored now.
    void cancel();
    // Reads the table again when the database may have changed since it was read,
    // by another program or by a statement of this one. While a record is edited,
    // the fields that were set keep their new values and the others show the stored
    // ones; the record as read stays, for the post to check against.
    void refresh();

    CellRef currentCell(int column) const override;

signals:
    // Emitted at the start of post, so that bound controls store their text.
    void aboutToPost();

protected:
    void setFieldValue(int column, const CellRef& value) override;

private:
    struct EditValue {
        FieldValue value;
        bool changed = false; // set since the edit began
    };
    void reload();
    // reload(), leaving edit or insert state also when it fails.
    void reloadEndingEdit();
    void takeStoredValues(const TableResult& stored);

    QString m_tableName;
    bool m_readOnly = false;
    std::vector<QVariantList> m_keys;
    std::vector<EditValue> m_buffer;
    // The database's state when the rows were read.
    ChangeMark m_mark;
};
