// Opens a query on a SQLite file into the grid of the query window and tells how
// long the grid takes to show it, to scroll to its end and back, and to follow a
// walk over every record, each time painting what is visible.
//
//   grid_bench DATABASE [SQL]

#include "BenchSupport.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "ui/widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <functional>

namespace
{
double timed(const std::function<void()>& step)
{
    QElapsedTimer clock;
    clock.start();
    step();
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
        std::fprintf(stderr, "usage: grid_bench DATABASE [SQL]\n");
        return 2;
    }
    return bench::reportingFailures("grid_bench", [&] {
        TQuery query(nullptr, QStringLiteral("QuerySQL"));
        bench::prepareQuery(query, args[1], args.value(2, QStringLiteral("SELECT * FROM Patients")));
        TDataSource source(nullptr, QStringLiteral("DataSourceQuerySQL"));
        source.setDataSet(&query);
        TDBGrid grid(nullptr, QStringLiteral("DBGridSQL"));
        grid.resize(791, 350);
        grid.setDataSource(&source);
        grid.show();
        // Paints the rows on screen, as the window system asks once events run.
        const auto paint = [&] {
            QCoreApplication::processEvents();
            grid.grab();
        };

        const double open = timed([&] { query.open(); });
        const double show = timed(paint);
        const double bottom = timed([&] {
            grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
            paint();
        });
        const double middle = timed([&] {
            grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum() / 2);
            paint();
        });
        const double walk = timed([&] {
            for (query.first(); !query.eof(); query.next()) { }
            paint();
        });
        std::printf("rows %lld\nopen %.0f ms\nfirst paint %.1f ms\nscroll to end %.1f ms\n"
                    "scroll to middle %.1f ms\nwalk every record, grid following %.0f ms\npeak %.0f MiB\n",
            static_cast<long long>(query.recordCount()), open, show, bottom, middle, walk, bench::peakRssMiB());
        return 0;
    });
}
