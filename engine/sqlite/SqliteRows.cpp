#include "engine/sqlite/SqliteRows.h"

#include "engine/sqlite/SqliteConnection.h"
#include "platform/Utf8.h"

#include <new>
#include <sqlite3.h>

namespace
{

// A text value's UTF-8 bytes, or a blob's bytes, and their size, read in that order
// as SQLite asks. A value that SQLite could not bring into memory fails the read
// rather than showing as empty.
std::pair<const char*, int> bytesOf(sqlite3_value* value, bool text)
{
    const void* data = text ? static_cast<const void*>(sqlite3_value_text(value)) : sqlite3_value_blob(value);
    const int size = sqlite3_value_bytes(value);
    if (!data && (text || size > 0))
        throw std::bad_alloc();
    return { static_cast<const char*>(data), size };
}

} // namespace

namespace SqliteRows
{

// Types a column that declares none from the classes of its values.
ColumnInfo columnFromValues(const QString& name, const ResultStore& rows, int column)
{
    ColumnInfo c;
    c.name = name;
    const unsigned seen = rows.classesSeen(column) & ~(1u << unsigned(CellClass::Null));
    const auto bit = [](CellClass cls) { return 1u << unsigned(cls); };
    if (seen == bit(CellClass::Integer)) {
        c.type = ftInteger;
    } else if (seen && !(seen & ~(bit(CellClass::Integer) | bit(CellClass::Float)))) {
        c.type = ftFloat;
    } else if (seen == bit(CellClass::Blob)) {
        c.type = ftBlob;
    } else {
        c.type = ftString;
        c.size = int(qMin<qsizetype>(rows.longestText(column), 8192));
    }
    return c;
}

// The value of a column of the current row, read as a result reads it.
CellRef cellOf(sqlite3_stmt* stmt, int column)
{
    CellRef c;
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        c.cls = CellClass::Integer;
        c.integer = sqlite3_column_int64(stmt, column);
        break;
    case SQLITE_FLOAT:
        c.cls = CellClass::Float;
        c.real = sqlite3_column_double(stmt, column);
        break;
    case SQLITE_TEXT:
        c.cls = CellClass::Text;
        c.data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        c.size = sqlite3_column_bytes(stmt, column);
        break;
    case SQLITE_BLOB:
        c.cls = CellClass::Blob;
        c.data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        c.size = sqlite3_column_bytes(stmt, column);
        break;
    default:
        break;
    }
    return c;
}

// The fields of a statement's columns, as their declared types give them; a column
// without one is ftUnknown until its values are read.
std::vector<ColumnInfo> declaredColumns(sqlite3_stmt* stmt)
{
    const int columns = sqlite3_column_count(stmt);
    std::vector<ColumnInfo> result;
    result.reserve(size_t(columns));
    for (int i = 0; i < columns; ++i) {
        const char* decl = sqlite3_column_decltype(stmt, i);
        result.push_back(SqliteConnection::columnFromDeclaredType(
            Utf8::decode(sqlite3_column_name(stmt, i)), decl ? Utf8::decode(decl) : QString()));
    }
    return result;
}

// Copies every row that a statement gives into rows; the result code of the last step.
int copyRows(sqlite3_stmt* stmt, ResultStore& rows)
{
    const int columns = rows.columnCount();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        rows.beginRow();
        // The hot loop of every query: each class straight into the store, without
        // building a CellRef first. The column's value is read through one call: the
        // value functions skip what each column call does again (the connection's
        // mutex, its out-of-memory check), which costs a fifth of a plain query's read.
        // The connection is this thread's alone, so its unprotected value is safe here.
        for (int i = 0; i < columns; ++i) {
            sqlite3_value* value = sqlite3_column_value(stmt, i);
            switch (sqlite3_value_type(value)) {
            case SQLITE_INTEGER:
                rows.appendInteger(sqlite3_value_int64(value));
                break;
            case SQLITE_FLOAT:
                rows.appendFloat(sqlite3_value_double(value));
                break;
            case SQLITE_TEXT: {
                const auto [text, size] = bytesOf(value, true);
                rows.appendText(text, size);
                break;
            }
            case SQLITE_BLOB: {
                const auto [bytes, size] = bytesOf(value, false);
                rows.appendBlob(bytes, size);
                break;
            }
            default:
                rows.appendNull();
                break;
            }
        }
        rows.endRow();
    }
    return rc;
}

} // namespace SqliteRows
