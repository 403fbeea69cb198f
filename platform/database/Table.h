#pragma once

#include "DataSet.h"

#include <QByteArray>
#include <vector>

// A table of the alias's database, opened on its first record. It can be edited
// record by record: edit (or insert on an empty table), post, cancel.
class TTable : public TDataSet
{
    Q_OBJECT
public:
    explicit TTable(QObject* owner = nullptr, const QString& name = {});

    // A name like a file's ("ListBase.DB") names the table without its extension.
    const QString& tableName() const { return m_tableName; }
    void setTableName(const QString& name) { m_tableName = name; }
    QString sqlTableName() const;

    void open() override;
    // False when the database cannot be written.
    bool canModify() const { return active() && !m_readOnly; }

    void edit();
    void post();
    void cancel();

    CellRef currentCell(int column) const override;

signals:
    // Emitted at the start of post, so that bound controls store their text.
    void aboutToPost();

protected:
    void setFieldValue(int column, const CellRef& value) override;

private:
    struct EditValue {
        CellClass cls = CellClass::Null;
        QByteArray bytes;
        qint64 integer = 0;
        double real = 0;
    };
    void reload();

    QString m_tableName;
    bool m_readOnly = false;
    std::vector<QVariantList> m_keys;
    std::vector<EditValue> m_buffer;
};
