#pragma once

#include "engine/Connection.h"

class QSqlQuery;

// Reads every row of an executed query into a result, each value as the result holds
// it: column types from the driver's description (odbc: the driver's type numbers are
// ODBC SQL types), exact decimals as their text. progress, when set, is called before
// the first row and from time to time, and may stop the reading: that throws
// EDatabaseError(cancelledMessage()). A failure to fetch a row ends the reading; the
// caller finds it in the query's lastError(). A result that would hold more than ceiling
// bytes stops the reading (see ResultStore).
[[nodiscard]] QueryResult readQtSqlRows(
    QSqlQuery& q, bool odbc, const ProgressCallback& progress = {}, qsizetype ceiling = ResultStore::defaultCeiling());
