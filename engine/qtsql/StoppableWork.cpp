#include "engine/qtsql/StoppableWork.h"

#include "platform/Exceptions.h"
#include "platform/SideWork.h"

#include <QLibrary>
#include <QSqlQuery>
#include <QSqlResult>
#include <atomic>
#include <chrono>

namespace
{

// How often the progress callback hears from a statement that runs.
constexpr std::chrono::milliseconds kReport(50);

#ifdef Q_OS_WIN
using CancelFunction = short(__stdcall*)(void*);
#else
using CancelFunction = short (*)(void*);
#endif

// ODBC's SQLCancel, from the driver manager that Qt's ODBC driver has loaded already.
CancelFunction sqlCancel()
{
#ifdef Q_OS_WIN
    static const auto cancel
        = reinterpret_cast<CancelFunction>(QLibrary::resolve(QStringLiteral("odbc32"), "SQLCancel"));
#else
    static const auto cancel
        = reinterpret_cast<CancelFunction>(QLibrary::resolve(QStringLiteral("odbc"), 2, "SQLCancel"));
#endif
    return cancel;
}

// The ODBC statement handle of q, null until the driver has allocated it.
void* statementHandle(const QSqlQuery& q)
{
    const QVariant handle = q.result() ? q.result()->handle() : QVariant();
    return handle.metaType() == QMetaType::fromType<void*>() ? handle.value<void*>() : nullptr;
}

} // namespace

void runStoppable(
    QSqlQuery& q, const std::function<void(const ProgressCallback&)>& work, const ProgressCallback& progress)
{
    SideWork side(1);
    std::atomic<qint64> rows = 0;
    // The work's own reports wait for the callback's answer, given on this side.
    auto ended = side.start([&] {
        work([&](qint64 read) {
            rows = read;
            return side.report();
        });
    });
    // The driver at work on the server is told to stop at each turn until the work
    // ends: a driver ignores the request between the statements of a text, and before it
    // has allocated the statement's handle.
    const auto cancel = [&q] {
        void* statement = statementHandle(q);
        if (statement && sqlCancel())
            sqlCancel()(statement);
    };
    if (!side.wait(kReport, [&] { return !progress || progress(rows); }, cancel))
        throw EDatabaseError(cancelledMessage());
    ended.get();
}
