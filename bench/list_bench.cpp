// Opens the query window on a settings table that remembers N statements and tells
// how long the window takes to be created and to fill its drop-down list, then how
// long one more statement takes to join the list.
//
//   list_bench [N]     (20000 by default)

#include "BenchSupport.h"
#include "app/SQL.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <sqlite3.h>

namespace
{

// A settings table whose remembered list holds count distinct statements in no order.
bool makeDatabase(const QString& path, int count)
{
    QString list;
    QRandomGenerator random(7);
    for (int i = 0; i < count; ++i)
        list += QStringLiteral("SELECT * FROM PaBase WHERE NUMERO = %1 AND NOM <> 'x%2'\r\n")
                    .arg(random.bounded(1000000))
                    .arg(i);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    bool ok = sqlite3_exec(db, "CREATE TABLE ListBase (TTTYPES TEXT, POLICE5 VARCHAR(20))", nullptr, nullptr, nullptr)
        == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO ListBase VALUES (?, ';')", -1, &insert, nullptr) == SQLITE_OK;
    const QByteArray text = list.toUtf8();
    ok = ok && sqlite3_bind_text(insert, 1, text.constData(), int(text.size()), SQLITE_STATIC) == SQLITE_OK
        && sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const bench::ThrowawayConfig config;
    QApplication app(argc, argv);
    bench::setUpApplication();
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.sqlite"));
    if (!makeDatabase(path, count)) {
        std::fprintf(stderr, "list_bench: cannot build %s\n", qPrintable(path));
        return 1;
    }
    bench::pointAliasAt(QStringLiteral("Velorin"), path);
    return bench::reportingFailures("list_bench", [&] {
        QElapsedTimer clock;
        clock.start();
        TFicheSQL window;
        const double created = double(clock.nsecsElapsed()) / 1e6;
        window.show();
        window.activateWindow();
        window.FormActivate(&window);
        QCoreApplication::processEvents();
        const double filled = double(clock.nsecsElapsed()) / 1e6;
        const int items = window.ComboBoxSQL->count();
        clock.restart();
        window.ComboBoxSQL->setEditText(QStringLiteral("SELECT 1"));
        window.ToolButtonResultClick(&window);
        const double oneMore = double(clock.nsecsElapsed()) / 1e6;
        std::printf("statements %d\nitems listed %d\nwindow created %.0f ms\nlist filled %.0f ms\n"
                    "run and list one statement %.1f ms\npeak %.0f MiB\n",
            count, items, created, filled, oneMore, bench::peakRssMiB());
        return 0;
    });
}
