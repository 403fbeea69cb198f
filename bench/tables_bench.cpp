// Times the list of tables (Ctrl+T) on a database of many tables, as the user sees it:
// the real query window (offscreen), the key pressed, the list painted.
//
//   tables_bench [TABLES] [RUNS]
//
// Makes a SQLite file of TABLES tables (5,000 by default) of 8 columns each, a key of
// one or two columns, and the settings table, in a temporary folder, and points the
// alias Velorin at it. Prints the medians of RUNS runs (10 by default), in milliseconds,
// wall and processor time of the window's thread:
//   sqlite      the floor: the same catalogue query through SQLite's C API alone, on a
//               connection opened beforehand (its schema read), every value stepped over;
//   catalogue   the engine's catalogue alone (every table, column, type and key);
//   first       Ctrl+T in a fresh window: the catalogue read, the list made and painted;
//   again       Ctrl+T once more after a statement that changed the schema (read again);
//   shown       the list made and painted from the catalogue already read;
//   filter      one character typed into the filter, the narrowed list painted.

#include "BenchSupport.h"
#include "app/SQL.h"
#include "engine/Connection.h"
#include "ui/sql/CatalogueModel.h"
#include "ui/sql/TablesWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <vector>

namespace
{

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Times {
    std::vector<double> wall;
    std::vector<double> cpu;
    template <typename Work> void time(Work&& work)
    {
        QElapsedTimer clock;
        const double cpu0 = threadCpuMs();
        clock.start();
        work();
        wall.push_back(double(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCpuMs() - cpu0);
    }
};

void exec(sqlite3* db, const QByteArray& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        throw EDatabaseError(text);
    }
}

// Tables of a practice's kind: a key, texts, numbers, amounts and dates.
void makeDatabase(const QString& file, int tables)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK)
        throw EDatabaseError(QStringLiteral("cannot create %1").arg(file));
    const auto close = qScopeGuard([db] { sqlite3_close(db); });
    exec(db, "BEGIN; CREATE TABLE ListBase (TTTYPES TEXT, POLICE5 VARCHAR(20)); INSERT INTO ListBase VALUES ('', ';')");
    for (int i = 0; i < tables; ++i) {
        const QByteArray key = i % 3 == 0 ? "PRIMARY KEY (id, ligne)" : "PRIMARY KEY (id)";
        exec(db,
            "CREATE TABLE table_" + QByteArray::number(i)
                + " (id INTEGER, ligne INTEGER, nom VARCHAR(40), prenom VARCHAR(40), montant MONEY, "
                  "le DATE, note TEXT, code DECIMAL(10,2), "
                + key + ")");
    }
    exec(db, "COMMIT");
}

// The floor: the catalogue's query stepped through SQLite's C API alone, every value read.
void stepCatalogue(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
            "SELECT m.name, m.type, p.name, p.type, p.pk FROM sqlite_schema AS m, pragma_table_xinfo(m.name) AS p "
            "WHERE m.type IN ('table', 'view') AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND p.hidden <> 1",
            -1, &stmt, nullptr)
        != SQLITE_OK)
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    qint64 sink = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        for (int i = 0; i < 5; ++i)
            sink += sqlite3_column_bytes(stmt, i);
    sqlite3_finalize(stmt);
    if (sink == 42)
        std::fputs("", stdout);
}

// Presses Ctrl+T in the statement box; the list painted before it returns.
TablesWindow* pressCtrlT(TFicheSQL& window)
{
    QTest::keyClick(window.ComboBoxSQL, Qt::Key_T, Qt::ControlModifier);
    auto* tables = window.findChild<TablesWindow*>();
    if (!tables)
        throw EDatabaseError(QStringLiteral("Ctrl+T showed no list"));
    tables->repaint();
    tables->list()->viewport()->repaint();
    return tables;
}

} // namespace

int main(int argc, char** argv)
{
    const bench::ThrowawayConfig config;
    QApplication app(argc, argv);
    bench::setUpApplication();
    const QStringList args = app.arguments();
    const int count = qMax(1, args.value(1, QStringLiteral("5000")).toInt());
    const int runs = qMax(1, args.value(2, QStringLiteral("10")).toInt());
    return bench::reportingFailures("tables_bench", [&] {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("tables.sqlite"));
        makeDatabase(file, count);
        bench::pointAliasAt(QStringLiteral("Velorin"), file, false);

        sqlite3* db = nullptr;
        sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        const auto closeDb = qScopeGuard([db] { sqlite3_close(db); });
        stepCatalogue(db);
        Times floor;
        Times catalogue;
        Times first;
        Times again;
        Times shown;
        Times filter;
        int read = 0;
        for (int i = 0; i < runs; ++i) {
            floor.time([&] { stepCatalogue(db); });
            catalogue.time([&] { read = int(Databases::connect(QStringLiteral("Velorin"))->catalogue().size()); });
            TFicheSQL window;
            window.show();
            QCoreApplication::processEvents();
            first.time([&] { pressCtrlT(window); });
            TablesWindow* tables = window.findChild<TablesWindow*>();
            tables->close();
            // A statement that may change the schema: the next Ctrl+T reads it again.
            window.ComboBoxSQL->setEditText(QStringLiteral("CREATE TABLE IF NOT EXISTS table_0 (x); SELECT 1"));
            window.ToolButtonResult->click();
            again.time([&] { pressCtrlT(window); });
            const SqlNames names = tables->model()->names();
            shown.time([&] {
                TablesWindow fresh(&window);
                fresh.setNames(names);
                fresh.show();
                fresh.repaint();
                fresh.list()->viewport()->repaint();
            });
            tables->filter()->clear();
            filter.time([&] {
                QTest::keyClick(tables->filter(), Qt::Key_7);
                tables->list()->viewport()->repaint();
            });
            tables->close();
        }
        std::printf("%d tables of 8 columns read, %d shown; medians of %d runs, milliseconds\n", read, count + 1, runs);
        std::printf("%-10s %8s %10s\n", "", "wall", "processor");
        for (const auto& [name, times] :
            { std::pair { "sqlite", &floor }, std::pair { "catalogue", &catalogue }, std::pair { "first", &first },
                std::pair { "again", &again }, std::pair { "shown", &shown }, std::pair { "filter", &filter } })
            std::printf("%-10s %8.1f %10.1f\n", name, median(times->wall), median(times->cpu));
        std::printf("goal: %d tables shown in under 200 ms (first)\n", count);
        return 0;
    });
}
