#pragma once

#include "engine/Connection.h"

#include <functional>

class QSqlQuery;

// A statement's work in an ODBC driver (running it, fetching its rows) done beside the
// window's thread (platform/SideWork), so that this thread stays free: it calls the
// statement's progress callback about every 50 ms, as the libpq path does, and the
// long-work dialog can show and be answered. When the callback answers false or
// throws, the statement is cancelled on the server with ODBC's SQLCancel on the
// query's statement handle (which the ODBC interface allows from another thread while
// the driver works), and the work is awaited to its end before anything is thrown.
//
// work runs on the other thread and must touch nothing but q and what it owns; it gets
// a callback to call with the rows read so far, which answers false once a stop was
// asked. Throws EDatabaseError(cancelledMessage()) after a stop, what the callback
// threw, or else what work threw.
void runStoppable(
    QSqlQuery& q, const std::function<void(const ProgressCallback&)>& work, const ProgressCallback& progress);
