// Times the search of a text over every cell of a result and the sort of the result
// by each of its columns, beside grep and sort on the same cells' text.
//
//   find_sort_bench DATABASE [TEXT] [SQL]
//
// The search looks for TEXT (default "introuvable", which no cell holds, so that every
// cell is read) from the first cell, case ignored and then respected; grep -c -F (with
// -i for the first) reads the cells' texts written to a file, one row a line, cells
// separated by tabs. Each sort (ascending, in the user's collation, here French) is
// beside sort(1) on the column's texts, one a line, in the C.UTF-8 locale (byte
// order: the only one installed here).

#include "BenchSupport.h"
#include "TimedSteps.h"
#include "data/CellSearch.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

using bench::Times;
using bench::timed;
using bench::writeFile;

namespace
{

double timedMs(const std::function<void()>& step)
{
    return timed(step).wall;
}

Times run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    return bench::runProgram(program, arguments, output);
}

} // namespace

int main(int argc, char** argv)
{
    const bench::ThrowawayConfig config;
    QCoreApplication app(argc, argv);
    bench::setUpApplication();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: find_sort_bench DATABASE [TEXT] [SQL]\n");
        return 2;
    }
    return bench::reportingFailures("find_sort_bench", [&] {
        const QString needle = args.value(2, QStringLiteral("introuvable"));
        TQuery query(nullptr, QStringLiteral("QuerySQL"));
        bench::prepareQuery(query, args[1], args.value(3, QStringLiteral("SELECT * FROM Patients")));
        const double openMs = timedMs([&] { query.open(); });
        std::printf("rows %lld, opened in %.0f ms\n\n", static_cast<long long>(query.recordCount()), openMs);
        QTemporaryDir dir;
        QList<int> fields;
        for (int i = 0; i < query.fieldCount(); ++i)
            fields << i;

        // The cells' texts as the grid shows them, one row a line.
        QByteArray cells;
        for (qsizetype row = 0; row < query.recordCount(); ++row) {
            for (int i = 0; i < query.fieldCount(); ++i) {
                if (i > 0)
                    cells += '\t';
                QString text = query.field(i)->shownText(query.cellAt(row, i));
                text.replace(u'\n', u' ').replace(u'\r', u' ');
                cells += text.toUtf8();
            }
            cells += '\n';
        }
        const QString cellsFile = dir.filePath(QStringLiteral("cells.txt"));
        writeFile(cellsFile, cells);
        cells.clear();

        std::printf("find \"%s\" in every cell   VeloSQL wall (CPU)   grep -c -F wall (CPU)   found (grep: lines)\n",
            qPrintable(needle));
        for (const bool caseSensitive : { false, true }) {
            const CellSearch search(needle, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
            std::optional<CellSearch::Place> found;
            const Times ours = timed([&] { found = search.find(query, fields, {}, false); });
            QByteArray count;
            QStringList grepArgs { QStringLiteral("-c"), QStringLiteral("-F") };
            if (!caseSensitive)
                grepArgs << QStringLiteral("-i");
            const Times grep = run(QStringLiteral("grep"), grepArgs << needle << cellsFile, &count);
            std::printf("  %-26s %7.0f (%5.0f) ms  %7.0f (%5.0f) ms   %s (%s)\n",
                caseSensitive ? "case respected" : "case ignored", ours.wall, ours.cpu, grep.wall, grep.cpu,
                found ? qPrintable(QStringLiteral("row %1 column %2").arg(found->row).arg(found->column)) : "none",
                count.constData());
        }

        std::printf("\nsort by a column             VeloSQL wall (CPU)   sort wall (CPU)\n");
        for (int i = 0; i < query.fieldCount(); ++i) {
            const TField* f = query.field(i);
            query.sortBy(-1);
            QByteArray column;
            for (qsizetype row = 0; row < query.recordCount(); ++row) {
                QString text = f->shownText(query.cellAt(row, i));
                text.replace(u'\n', u' ').replace(u'\r', u' ');
                column += text.toUtf8() + '\n';
            }
            const QString columnFile = dir.filePath(QStringLiteral("column.txt"));
            writeFile(columnFile, column);
            const Times ours = timed([&] { query.sortBy(i, Qt::AscendingOrder); });
            const Times sort
                = run(QStringLiteral("sort"), { QStringLiteral("-o"), QStringLiteral("/dev/null"), columnFile });
            std::printf("  %-26s %7.0f (%5.0f) ms  %7.0f (%5.0f) ms\n", qPrintable(f->fieldName()), ours.wall, ours.cpu,
                sort.wall, sort.cpu);
        }
        std::printf("\npeak %.0f MiB\n", bench::peakRssMiB());
        return 0;
    });
}
