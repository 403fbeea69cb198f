// The chart of a million points: reduced to what each pixel column of the plot shows,
// drawn by Qt Charts and rendered into an offscreen image of the window's size.
//
//     chart_bench [DATABASE [SQL]]
//
// Without a database, a million points of a noisy sine; with one (a SQLite file, or a
// PostgreSQL URL, as export_bench takes), the result of SQL (by default the visits of
// bench/make_practice_db.py: their date and their fee), read as the chart window reads
// a result. Prints the time of each step and the points drawn; the goal is under a
// second for the reduction and the drawing together. --unreduced draws the same points
// without the reduction, for comparison (slow); --dark draws in the dark theme;
// --png FILE keeps the image.
#include "BenchSupport.h"
#include "export/ChartRows.h"
#include "ui/chart/ChartDrawing.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QRandomGenerator>
#include <cmath>

namespace
{

ChartData noisySine(qsizetype n)
{
    ChartData data;
    data.axis = ChartData::Axis::Number;
    data.xTitle = QStringLiteral("rang");
    data.series.push_back({ QStringLiteral("mesure"), {} });
    QRandomGenerator random(1);
    for (qsizetype i = 0; i < n; ++i) {
        data.x.push_back(double(i));
        data.series[0].y.push_back(std::sin(double(i) / 40000.0) * 100 + random.bounded(30.0));
    }
    return data;
}

double ms(QElapsedTimer& timer)
{
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    const bench::ThrowawayConfig config;
    QApplication app(argc, argv);
    bench::setUpApplication();
    QStringList args = app.arguments();
    const bool unreduced = args.removeAll(QStringLiteral("--unreduced")) > 0;
    const bool dark = args.removeAll(QStringLiteral("--dark")) > 0;
    QString png;
    if (const qsizetype at = args.indexOf(QStringLiteral("--png")); at > 0 && at + 1 < args.size()) {
        png = args[at + 1];
        args.remove(at, 2);
    }
    return bench::reportingFailures("chart_bench", [&] {
        QElapsedTimer timer;
        timer.start();
        ChartData data;
        TQuery query;
        if (args.size() > 1) {
            bench::prepareQuery(query, args[1],
                args.size() > 2 ? args[2] : QStringLiteral("SELECT date_visite, tarif FROM visites"));
            query.open();
            const double opened = ms(timer);
            ChartChoice choice;
            choice.kind = ChartChoice::Lines;
            choice.xColumn = 0;
            choice.valueColumns = { 1 };
            data = ChartRows::read(query, choice);
            std::printf("query opened in %.0f ms, %lld rows read for the chart in %.0f ms\n", opened,
                qlonglong(query.recordCount()), ms(timer));
        } else {
            data = noisySine(1000000);
            std::printf("%lld points made in %.0f ms\n", qlonglong(data.pointCount()), ms(timer));
        }

        QChartView view;
        view.resize(900, 600);
        view.setRenderHint(QPainter::Antialiasing);
        view.show();
        QApplication::processEvents();
        timer.restart();
        ChartDrawing::Summary summary;
        if (unreduced) {
            auto* line = new QLineSeries;
            QList<QPointF> points;
            for (size_t i = 0; i < data.x.size(); ++i)
                points.push_back(QPointF(data.x[i], data.series[0].y[i]));
            line->replace(points);
            view.chart()->addSeries(line);
            view.chart()->createDefaultAxes();
            summary.points = summary.drawn = data.pointCount();
        } else {
            summary = ChartDrawing::draw(*view.chart(), data, ChartChoice::Lines, QSize(760, 480), dark);
        }
        // The chart lays its axes out and draws its items on the next turn of events.
        QApplication::processEvents();
        const double drawn = ms(timer);
        QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            view.render(&painter);
        }
        const double rendered = ms(timer);
        std::printf("%lld points %s to %lld in %.0f ms, rendered into a %dx%d image in %.0f ms: %.0f ms in all\n",
            qlonglong(summary.points), unreduced ? "not reduced, drawn" : "reduced and drawn",
            qlonglong(summary.drawn), drawn, image.width(), image.height(), rendered, drawn + rendered);
        if (!png.isEmpty() && !image.save(png))
            std::fprintf(stderr, "chart_bench: %s not written\n", qPrintable(png));
        return 0;
    });
}
