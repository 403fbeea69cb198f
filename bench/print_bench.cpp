// Prints the rows of a SQLite file to a PDF file with the real listing component and
// the QPainter printer, and tells how long it took and how much memory it held.
//
//   print_bench DATABASE OUTPUT.pdf [ROWS] [SQL]
//
// ROWS limits the statement (SELECT * FROM Patients by default) to its first rows.
// Resident memory is sampled at every page break: once the rows are held, it should
// stay flat however many pages follow.

#include "BenchSupport.h"
#include "data/Query.h"
#include "export/kds2prn.h"
#include "output/printing/QtPrinter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPrinter>

int main(int argc, char** argv)
{
    const bench::ThrowawayConfig config;
    QGuiApplication app(argc, argv);
    bench::setUpApplication();

    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: print_bench DATABASE OUTPUT.pdf [ROWS] [SQL]\n");
        return 2;
    }
    QString sql = args.value(4, QStringLiteral("SELECT * FROM Patients"));
    if (args.size() > 3)
        sql += QStringLiteral(" LIMIT %1").arg(args[3].toLongLong());

    return bench::reportingFailures("print_bench", [&] {
        TQuery query(nullptr, QStringLiteral("QuerySQL"));
        bench::prepareQuery(query, args[1], sql);
        QElapsedTimer clock;
        clock.start();
        query.open();
        const qint64 openMs = clock.restart();
        const double heldMiB = bench::currentRssMiB();

        QPrinter device(QPrinter::HighResolution);
        device.setOutputFormat(QPrinter::PdfFormat);
        device.setOutputFileName(args[2]);
        QtPrinter printer(device);
        TKDatasetToPrinter listing;
        listing.setDataSet(&query);
        listing.setPrinter(&printer);
        listing.setFooter({ QStringLiteral("VeloSQL") });
        double firstPageMiB = 0;
        double highestMiB = 0;
        listing.setOnProgress([&](qsizetype done, qsizetype) {
            const double now = bench::currentRssMiB();
            if (done > 0 && firstPageMiB == 0)
                firstPageMiB = now;
            highestMiB = std::max(highestMiB, now);
            return true;
        });
        listing.Print();
        const qint64 printMs = clock.elapsed();

        std::printf("rows=%lld pages=%d open_s=%.3f print_s=%.3f us_per_row=%.1f pdf_mb=%.1f "
                    "rss_held_mb=%.1f rss_first_page_mb=%.1f rss_highest_mb=%.1f peak_rss_mb=%.1f\n",
            static_cast<long long>(query.recordCount()), printer.pageNumber(), double(openMs) / 1000.0,
            double(printMs) / 1000.0, 1000.0 * double(printMs) / double(std::max<qsizetype>(1, query.recordCount())),
            double(QFileInfo(args[2]).size()) / 1e6, heldMiB, firstPageMiB, highestMiB, bench::peakRssMiB());
        return 0;
    });
}
