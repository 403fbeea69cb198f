#pragma once

// What the benchmark programs share: an alias to the database under test, in a
// configuration folder of the run only, and the process's resident memory.

#include "Databases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <sys/resource.h>

namespace bench
{

// Points alias, read-only, at the SQLite file database. Call after the
// application's name is set and XDG_CONFIG_HOME names a throw-away folder.
inline void pointAliasAt(const QString& alias, const QString& database)
{
    const QString ini = Databases::aliasesFile();
    QDir().mkpath(QFileInfo(ini).absolutePath());
    QSettings settings(ini, QSettings::IniFormat);
    settings.beginGroup(alias);
    settings.setValue(QStringLiteral("driver"), QStringLiteral("SQLITE"));
    settings.setValue(QStringLiteral("database"), QFileInfo(database).absoluteFilePath());
    settings.setValue(QStringLiteral("readonly"), QStringLiteral("true"));
    settings.endGroup();
    settings.sync();
}

// The highest resident memory of the process so far, in MiB.
inline double peakRssMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// The resident memory now, in MiB (Linux).
inline double currentRssMiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(getpagesize()) / 1048576.0;
}

} // namespace bench
