// Times the header menu's filter over a whole result, each condition beside grep -c
// on the same column's text.
//
//   filter_bench DATABASE [RUNS] [SQL]
//
// The column's texts as the grid shows them are written to a file, one a line (line
// breaks of a memo made blanks), and grep counts the lines that the condition keeps:
// -F -i for "contient", -x -F for "est égal à", a regular expression on the digits
// for an interval. Each side runs RUNS times (5 by default), in turn; the table gives
// the medians of wall and CPU time, and the rows each side kept, which must agree.
// The last line adds a second filter to the first, on another column.

#include "BenchSupport.h"
#include "TimedSteps.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

using RowFilter::Condition;
using RowFilter::Test;

namespace
{

struct Case {
    const char* label;
    const char* field;
    Condition condition;
    QStringList grep; // options and pattern; empty: no anchor
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The texts of a column as the grid shows them, one a line.
QByteArray columnText(const TDataSet& data, const TField& field)
{
    QByteArray text;
    for (qsizetype row = 0; row < data.recordCount(); ++row) {
        QString shown = field.shownText(data.cellAt(row, field.index()));
        shown.replace(u'\n', u' ').replace(u'\r', u' ');
        text += shown.toUtf8() + '\n';
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const bench::ThrowawayConfig config;
    QCoreApplication app(argc, argv);
    bench::setUpApplication();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: filter_bench DATABASE [RUNS] [SQL]\n");
        return 2;
    }
    return bench::reportingFailures("filter_bench", [&] {
        const int runs = std::max(1, args.value(2, QStringLiteral("5")).toInt());
        TQuery query(nullptr, QStringLiteral("QuerySQL"));
        bench::prepareQuery(query, args[1], args.value(3, QStringLiteral("SELECT * FROM Patients")));
        query.open();
        std::printf("rows %lld, %d runs each, medians\n\n", static_cast<long long>(query.recordCount()), runs);
        QTemporaryDir dir;

        const Case cases[] = {
            { "nom contient dupont", "nom", { Test::Contains, QStringLiteral("dupont"), {} },
                { QStringLiteral("-F"), QStringLiteral("-i"), QStringLiteral("dupont") } },
            { "nom contient élodie", "nom", { Test::Contains, QStringLiteral("élodie"), {} },
                { QStringLiteral("-F"), QStringLiteral("-i"), QStringLiteral("élodie") } },
            { "ville égale Saint-Étienne", "ville", { Test::Equals, QStringLiteral("Saint-Étienne"), {} },
                { QStringLiteral("-x"), QStringLiteral("-F"), QStringLiteral("Saint-Étienne") } },
            { "observation vide", "observation", { Test::Empty, {}, {} },
                { QStringLiteral("-x"), QStringLiteral("") } },
            { "honoraires 100 à 199,99", "honoraires", { Test::Between, QStringLiteral("100"), QStringLiteral("199,99") },
                { QStringLiteral("-E"), QStringLiteral("^1[0-9][0-9](,|$)") } },
            { "poids 50 à 59,999", "poids", { Test::Between, QStringLiteral("50"), QStringLiteral("59,999") },
                { QStringLiteral("-E"), QStringLiteral("^5[0-9](,|$)") } },
            { "naissance 1980 à 1989", "naissance",
                { Test::Between, QStringLiteral("01/01/1980"), QStringLiteral("31/12/1989") },
                { QStringLiteral("-E"), QStringLiteral("/198[0-9]$") } },
        };
        std::printf("%-28s %22s %22s   %s\n", "filter", "VeloSQL wall (CPU)", "grep -c wall (CPU)",
            "rows kept (grep)");
        for (const Case& c : cases) {
            const TField* field = query.FieldByName(QString::fromUtf8(c.field));
            const QString file = dir.filePath(QStringLiteral("column.txt"));
            query.removeFilters();
            bench::writeFile(file, columnText(query, *field));
            std::vector<double> wall, cpu, grepWall, grepCpu;
            QByteArray count;
            for (int run = 0; run < runs; ++run) {
                query.removeFilters();
                const bench::Times ours = bench::timed([&] { (void)query.filterBy(field->index(), c.condition); });
                wall.push_back(ours.wall);
                cpu.push_back(ours.cpu);
                const bench::Times grep = bench::runProgram(
                    QStringLiteral("grep"), QStringList { QStringLiteral("-c") } + c.grep + QStringList { file }, &count);
                grepWall.push_back(grep.wall);
                grepCpu.push_back(grep.cpu);
            }
            std::printf("%-28s %11.0f (%5.0f) ms %11.0f (%5.0f) ms   %lld (%s)\n", c.label, median(wall), median(cpu),
                median(grepWall), median(grepCpu), static_cast<long long>(query.recordCount()), count.constData());
        }

        // A second filter on the rows of the first: both conditions hold.
        const TField* ville = query.FieldByName(QStringLiteral("ville"));
        const TField* naissance = query.FieldByName(QStringLiteral("naissance"));
        std::vector<double> wall, cpu;
        for (int run = 0; run < runs; ++run) {
            query.removeFilters();
            (void)query.filterBy(ville->index(), { Test::Equals, QStringLiteral("Paris"), {} });
            const bench::Times ours = bench::timed([&] {
                (void)query.filterBy(
                    naissance->index(), { Test::Between, QStringLiteral("01/01/1980"), QStringLiteral("31/12/1989") });
            });
            wall.push_back(ours.wall);
            cpu.push_back(ours.cpu);
        }
        std::printf("%-28s %11.0f (%5.0f) ms %22s   %lld\n", "+ naissance, ville = Paris", median(wall), median(cpu),
            "", static_cast<long long>(query.recordCount()));
        std::printf("\npeak %.0f MiB\n", bench::peakRssMiB());
        return 0;
    });
}
