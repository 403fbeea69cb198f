// Runs the real query and export components headless on a SQLite file and prints
// how long each phase took and the peak resident memory of the process.
//
//   export_bench open|text|html DATABASE [OUTPUT] [SQL]
//
// open: runs the query only; text: then exports it with TKDatasetToText (";" as the
// delimiter) to OUTPUT; html: then with TKDataSetToHTML to OUTPUT. The regional
// settings are French, as the program's users' are. The database is reached through
// an alias in a throw-away configuration folder, read-only.

#include "Databases.h"
#include "Exceptions.h"
#include "Query.h"
#include "kdb2text.h"
#include "kds2html.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace
{

const QString kAlias = QStringLiteral("Bench");

void pointAliasAt(const QString& database)
{
    const QString ini = Databases::aliasesFile();
    QDir().mkpath(QFileInfo(ini).absolutePath());
    QSettings settings(ini, QSettings::IniFormat);
    settings.beginGroup(kAlias);
    settings.setValue(QStringLiteral("driver"), QStringLiteral("SQLITE"));
    settings.setValue(QStringLiteral("database"), QFileInfo(database).absoluteFilePath());
    settings.setValue(QStringLiteral("readonly"), QStringLiteral("true"));
    settings.endGroup();
    settings.sync();
}

long peakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int usage()
{
    std::fprintf(stderr, "usage: export_bench open|text|html DATABASE [OUTPUT] [SQL]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Never the user's own aliases: a configuration folder of this run only.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VeloSQL"));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));

    const QStringList args = app.arguments();
    if (args.size() < 3)
        return usage();
    const QString mode = args[1];
    if (mode != QLatin1String("open") && args.size() < 4)
        return usage();
    const QString output = args.value(3);
    const QString sql = args.value(4, QStringLiteral("SELECT * FROM Patients"));

    try {
        pointAliasAt(args[2]);
        QElapsedTimer clock;
        clock.start();
        TQuery query(nullptr, QStringLiteral("QuerySQL"));
        query.setDatabaseName(kAlias);
        query.setSQL(sql);
        query.open();
        const qint64 openMs = clock.restart();
        if (mode == QLatin1String("text")) {
            TKDatasetToText text;
            text.setDataset(&query);
            text.setDelimiter(';');
            text.ExportToFile(output);
        } else if (mode == QLatin1String("html")) {
            TKDataSetToHTML html;
            html.setDataSet(&query);
            html.ExportToFile(output);
        } else if (mode != QLatin1String("open")) {
            return usage();
        }
        const qint64 exportMs = clock.elapsed();
        std::printf("mode=%s rows=%lld store_mb=%.1f open_s=%.3f export_s=%.3f peak_rss_mb=%.1f\n", qPrintable(mode),
            static_cast<long long>(query.recordCount()),
            double(query.store() ? query.store()->bytesUsed() : 0) / 1048576.0, double(openMs) / 1000.0,
            double(exportMs) / 1000.0, double(peakKiB()) / 1024.0);
    } catch (const Exception& e) {
        std::fprintf(stderr, "export_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
