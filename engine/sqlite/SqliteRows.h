#pragma once

#include "engine/Connection.h"

#include <utility>
#include <vector>

struct sqlite3_stmt;
struct sqlite3_value;

// Reading a statement's rows into a result: the fields its declared types give, then
// every row's values straight into the store.
namespace SqliteRows
{

// Types a column that declares none from the classes of its values.
ColumnInfo columnFromValues(const QString& name, const ResultStore& rows, int column);
// The value of a column of the current row, read as a result reads it.
CellRef cellOf(sqlite3_stmt* stmt, int column);
// The fields of a statement's columns, as their declared types give them; a column
// without one is ftUnknown until its values are read.
std::vector<ColumnInfo> declaredColumns(sqlite3_stmt* stmt);
// Copies every row that a statement gives into rows; the result code of the last step.
int copyRows(sqlite3_stmt* stmt, ResultStore& rows);

} // namespace SqliteRows
