#pragma once

#include "engine/Connection.h"

#include <QString>
#include <sqlite3.h>

// What the connection's statement half and its table half share: a prepared
// statement that finalizes itself, names and values as SQLite takes them, and the
// undoing of a failed write.
namespace SqliteStatement
{

inline QString quoteIdentifier(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

inline void bindValue(sqlite3_stmt* stmt, int index, const FieldValue& v)
{
    switch (v.cls) {
    case CellClass::Null:
        sqlite3_bind_null(stmt, index);
        break;
    case CellClass::Integer:
        sqlite3_bind_int64(stmt, index, v.integer);
        break;
    case CellClass::Float:
        sqlite3_bind_double(stmt, index, v.real);
        break;
    case CellClass::Text:
        // The bytes as they are: an ill-formed sequence goes back unchanged.
        sqlite3_bind_text64(
            stmt, index, v.bytes.constData(), sqlite3_uint64(v.bytes.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    case CellClass::Blob:
        sqlite3_bind_blob64(stmt, index, v.bytes.constData(), sqlite3_uint64(v.bytes.size()), SQLITE_TRANSIENT);
        break;
    }
}

// Undoes what was written since the savepoint `name` was set, or the whole
// transaction when it is the outermost one, unless the engine already rolled it back
// (as it does after a full disk, for one). Errors here would hide the first one.
inline void rollBack(sqlite3* db, bool outermost, const char* name)
{
    if (sqlite3_get_autocommit(db))
        return;
    const QByteArray sql = outermost ? QByteArray("ROLLBACK") : QByteArray("ROLLBACK TO ") + name + "; RELEASE " + name;
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
}

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

} // namespace SqliteStatement
