#include "engine/qtsql/StoppableWork.h"

#include "platform/Exceptions.h"

#include <QLibrary>
#include <QSqlQuery>
#include <QSqlResult>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

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
    std::mutex mutex;
    std::condition_variable changed;
    // Guarded by mutex: the rows read so far, a question of the work waiting for its
    // answer, a stop asked, and the end of the work.
    qint64 rows = 0;
    bool asking = false;
    bool stop = false;
    bool done = false;
    std::exception_ptr workFailure;
    std::thread worker([&] {
        try {
            // The work's own reports wait for the callback's answer, given on this side.
            work([&](qint64 read) {
                std::unique_lock lock(mutex);
                rows = read;
                asking = true;
                changed.notify_all();
                changed.wait(lock, [&asking] { return !asking; });
                return !stop;
            });
        } catch (...) {
            workFailure = std::current_exception();
        }
        const std::lock_guard lock(mutex);
        done = true;
        changed.notify_all();
    });
    std::exception_ptr raised;
    bool stopped = false;
    for (;;) {
        qint64 seen = 0;
        bool asked = false;
        {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, kReport, [&] { return done || asking; });
            if (done)
                break;
            seen = rows;
            asked = asking;
        }
        bool goOn = true;
        if (progress && !stopped) {
            try {
                goOn = progress(seen);
            } catch (...) {
                raised = std::current_exception();
                goOn = false;
            }
        }
        {
            const std::lock_guard lock(mutex);
            stop = stop || !goOn;
            stopped = stop;
            asking = false;
            changed.notify_all();
        }
        // A question answered stops the work by itself; otherwise the driver is at work
        // on the server, and is told to stop at each turn until the work ends: a driver
        // ignores the request between the statements of a text, and before it has
        // allocated the statement's handle.
        if (stopped && !asked) {
            void* statement = statementHandle(q);
            if (statement && sqlCancel())
                sqlCancel()(statement);
        }
    }
    worker.join();
    if (raised)
        std::rethrow_exception(raised);
    if (stop)
        throw EDatabaseError(cancelledMessage());
    if (workFailure)
        std::rethrow_exception(workFailure);
}
