// Times a statement with a small result as the user sees it: typed into the real query
// window (offscreen), run by its button, the grid and the counter painted; beside the
// engine's own time for the same statement through SQLite's C API.
//
//   window_bench DATABASE [SQL] [RUNS]
//
// DATABASE is a SQLite file that holds the settings table ListBase, as a practice's
// database does (make_practice_db.py makes one); the alias Velorin is pointed at it,
// read-only. SQL defaults to 100 invoices found through an index; RUNS to 30. Prints
// the medians in milliseconds, wall and processor time of the window's thread: the
// window's, the engine's and what the window adds.

#include "BenchSupport.h"
#include "app/SQL.h"
#include "platform/VectorState.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <tuple>
#include <vector>

namespace
{

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Wall and processor time of the window's thread, in milliseconds: on a machine that
// others share, the processor time is the steadier.
class Span
{
public:
    Span()
        : m_cpu(threadCpuMs())
    {
        m_wall.start();
    }
    double wallMs() const { return double(m_wall.nsecsElapsed()) / 1e6; }
    double cpuMs() const { return threadCpuMs() - m_cpu; }

private:
    static double threadCpuMs()
    {
        timespec t {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    }

    QElapsedTimer m_wall;
    double m_cpu;
};

struct Times {
    std::vector<double> wall;
    std::vector<double> cpu;
    void add(const Span& span)
    {
        wall.push_back(span.wallMs());
        cpu.push_back(span.cpuMs());
    }
};

// The statement stepped through the C API, every value read.
Span engineRun(sqlite3* db, const QByteArray& sql, qint64& rows)
{
    const Span span;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    rows = 0;
    qint64 sink = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0, n = sqlite3_column_count(stmt); i < n; ++i)
            sink += sqlite3_column_bytes(stmt, i);
        ++rows;
    }
    sqlite3_finalize(stmt);
    if (sink == 42)
        std::fputs("", stdout);
    return span;
}

// Types sql and clicks the run button; the window painted as the screen shows it.
// The time from the click to the end of the painting.
Span windowRun(TFicheSQL& window, const QString& sql)
{
    window.ComboBoxSQL->setEditText(sql);
    QCoreApplication::processEvents();
    const Span span;
    window.ToolButtonResult->click();
    // The window's repaint requests are events: they are painted here, once.
    QCoreApplication::processEvents();
    return span;
}

} // namespace

int main(int argc, char** argv)
{
    const bench::ThrowawayConfig config;
    QApplication app(argc, argv);
    bench::setUpApplication();

    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: window_bench DATABASE [SQL] [RUNS]\n");
        return 2;
    }
    const QString sql = args.value(2, QStringLiteral("SELECT * FROM factures WHERE visite BETWEEN 500000 AND 500099"));
    const int runs = qMax(1, args.value(3, QStringLiteral("30")).toInt());
    return bench::reportingFailures("window_bench", [&] {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(args[1].toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK)
            throw EDatabaseError(QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory"));
        const auto closeDb = qScopeGuard([db] { sqlite3_close(db); });
        // The statement runs on the engine first: one the engine refuses would stop
        // the window on its error box.
        qint64 rows = 0;
        engineRun(db, sql.toUtf8(), rows);

        bench::pointAliasAt(QStringLiteral("Velorin"), args[1]);
        TFicheSQL window;
        window.show();
        QCoreApplication::processEvents();
        window.grab();
        windowRun(window, sql);

        Times engine;
        Times shown;
        for (int i = 0; i < runs; ++i) {
            shown.add(windowRun(window, sql));
            VectorState::clearUpper();
            qint64 engineRows = 0;
            engine.add(engineRun(db, sql.toUtf8(), engineRows));
        }
        std::printf("rows %lld, counter \"%s\"; medians of %d runs, milliseconds\n%-9s %8s %8s %10s\n",
            static_cast<long long>(rows), qPrintable(window.LabelCompteurSQL->text()), runs, "", "window", "engine",
            "beyond");
        for (const auto& [name, ours, theirs] :
            { std::tuple { "wall", &shown.wall, &engine.wall }, std::tuple { "processor", &shown.cpu, &engine.cpu } })
            std::printf(
                "%-9s %8.2f %8.3f %10.2f\n", name, median(*ours), median(*theirs), median(*ours) - median(*theirs));
        std::printf("goal: the window under 5 ms beyond the engine\n");
        return 0;
    });
}
