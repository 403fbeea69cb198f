#pragma once

#include "FieldType.h"
#include "ResultStore.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

// A column of a result as the engine describes it.
struct ColumnInfo {
    QString name;
    TFieldType type = ftUnknown;
    int size = 0; // declared size of a text column, scale of a decimal one
    int precision = 0; // precision of a decimal column
};

// What opening a statement yields: its columns and all of its rows.
struct QueryResult {
    std::vector<ColumnInfo> columns;
    std::unique_ptr<ResultStore> rows;
};

// The rows of a table with one key per row, which identifies the row when it is
// written back.
struct TableResult {
    QueryResult data;
    std::vector<QVariantList> keys;
};

// A connection to a database. The embedded SQLite file and the server databases
// reached through Qt SQL are its two implementations. Every failure throws
// EDatabaseError with the engine's own message.
class Connection
{
public:
    virtual ~Connection() = default;

    // Runs the statements of sql in order; the last one must yield a result set,
    // which is read whole. A statement without a result set is executed, then
    // "Erreur à la création du handle de curseur" is thrown. Several statements
    // apply all or none: when one fails, those before it are undone and the error
    // names the statement. A text that manages its own transactions runs as written.
    virtual QueryResult execute(const QString& sql) = 0;

    // True when the database cannot be written (a read-only file or alias).
    virtual bool isReadOnly() const = 0;

    virtual TableResult openTable(const QString& table) = 0;
    virtual void updateRow(
        const QString& table, const QVariantList& key, const QStringList& columns, const QVariantList& values)
        = 0;
    virtual void insertRow(const QString& table, const QStringList& columns, const QVariantList& values) = 0;
};

// The message of a statement that yields no result set.
inline QString noCursorMessage()
{
    return QStringLiteral("Erreur à la création du handle de curseur");
}
