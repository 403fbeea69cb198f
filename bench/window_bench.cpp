// Times a statement with a small result as the user sees it: typed into the real query
// window (offscreen), run by its button, the grid and the counter painted; beside the
// engine's own time for the same statement through SQLite's C API.
//
//   window_bench DATABASE [SQL] [RUNS]
//
// DATABASE is a SQLite file that holds the settings table ListBase, as a practice's
// database does (make_practice_db.py makes one); the alias Velorin is pointed at it,
// read-only. SQL defaults to 100 invoices found through an index; RUNS to 30. Prints
// the medians in milliseconds: the window's, the engine's and what the window adds.

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
#include <sqlite3.h>
#include <vector>

namespace
{

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The statement stepped through the C API, every value read; milliseconds.
double engineMs(sqlite3* db, const QByteArray& sql, qint64& rows)
{
    QElapsedTimer clock;
    clock.start();
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
    return double(clock.nsecsElapsed()) / 1e6;
}

// Types sql and clicks the run button; the window painted as the screen shows it.
// Milliseconds from the click to the end of the painting.
double windowMs(TFicheSQL& window, const QString& sql)
{
    window.ComboBoxSQL->setEditText(sql);
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    window.ToolButtonResult->click();
    // The window's repaint requests are events: they are painted here, once.
    QCoreApplication::processEvents();
    return double(clock.nsecsElapsed()) / 1e6;
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
        engineMs(db, sql.toUtf8(), rows);

        bench::pointAliasAt(QStringLiteral("Velorin"), args[1]);
        TFicheSQL window;
        window.show();
        QCoreApplication::processEvents();
        window.grab();
        windowMs(window, sql);

        std::vector<double> engine;
        std::vector<double> shown;
        for (int i = 0; i < runs; ++i) {
            shown.push_back(windowMs(window, sql));
            VectorState::clearUpper();
            qint64 engineRows = 0;
            engine.push_back(engineMs(db, sql.toUtf8(), engineRows));
        }
        const double ours = median(shown);
        const double theirs = median(engine);
        std::printf("rows %lld, counter \"%s\"; medians of %d runs\nwindow %.2f ms\nengine %.3f ms\n"
                    "window beyond the engine %.2f ms (goal < 5 ms)\n",
            static_cast<long long>(rows), qPrintable(window.LabelCompteurSQL->text()), runs, ours, theirs,
            ours - theirs);
        return 0;
    });
}
