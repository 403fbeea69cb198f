#include "platform/MemoryLimits.h"

#include <QFile>
#include <QList>
#include <algorithm>
#include <initializer_list>
#include <limits>

#ifdef Q_OS_WIN
#ifndef NOMINMAX // Qt may have defined it
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace MemoryLimits
{
namespace
{

// The smaller of two bounds, 0 standing for none.
quint64 tighter(quint64 a, quint64 b)
{
    if (a == 0)
        return b;
    if (b == 0)
        return a;
    return std::min(a, b);
}

// A limit file's value: a number of bytes; "max" (cgroup v2), text that is no number
// or a file that cannot be read give 0. cgroup v1 writes a huge number for no limit,
// which the machine's memory then bounds.
quint64 limitIn(const QByteArray& text)
{
    bool ok = false;
    const quint64 value = text.trimmed().toULongLong(&ok);
    return ok ? value : 0;
}

// The smallest limit in file of the group at path and of every group above it: a
// group may not take more than its parents allow.
quint64 limitAlong(const FileReader& readFile, const QString& root, QString path, const QString& file)
{
    // A path seen from another cgroup namespace may climb above the root: the root
    // alone is read then.
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QLatin1String("/..")))
        path = QStringLiteral("/");
    quint64 limit = 0;
    for (;;) {
        const QString dir = path == QLatin1String("/") ? root : root + path;
        limit = tighter(limit, limitIn(readFile(dir + QLatin1Char('/') + file)));
        if (path == QLatin1String("/"))
            return limit;
        path.truncate(std::max<qsizetype>(path.lastIndexOf(QLatin1Char('/')), 1));
    }
}

#ifndef Q_OS_WIN
QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Files of /proc and /sys report no size: read to the end.
    return file.readAll();
}

quint64 resourceLimit(int resource)
{
    rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return quint64(limit.rlim_cur);
}
#endif

} // namespace

quint64 controlGroupLimit(const FileReader& readFile)
{
    // Lines "hierarchy:controllers:path": "0::path" for the unified (v2) hierarchy,
    // a list naming "memory" for the v1 memory controller.
    quint64 limit = 0;
    const QList<QByteArray> lines = readFile(QStringLiteral("/proc/self/cgroup")).split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype first = line.indexOf(':');
        const qsizetype second = first < 0 ? -1 : line.indexOf(':', first + 1);
        if (second < 0)
            continue;
        const QByteArray hierarchy = line.left(first);
        const QList<QByteArray> controllers = line.mid(first + 1, second - first - 1).split(',');
        const QString path = QString::fromUtf8(line.mid(second + 1));
        if (hierarchy == "0" && controllers == QList<QByteArray> { QByteArray() })
            limit = tighter(
                limit, limitAlong(readFile, QStringLiteral("/sys/fs/cgroup"), path, QStringLiteral("memory.max")));
        else if (controllers.contains("memory"))
            limit = tighter(limit,
                limitAlong(
                    readFile, QStringLiteral("/sys/fs/cgroup/memory"), path, QStringLiteral("memory.limit_in_bytes")));
    }
    return limit;
}

quint64 smallestLimit(const Facts& facts)
{
    quint64 limit = 0;
    for (const quint64 bound : { facts.physical, facts.addressSpace, facts.dataSegment })
        limit = tighter(limit, bound);
    if (facts.readFile)
        limit = tighter(limit, controlGroupLimit(facts.readFile));
    return limit;
}

Facts thisProcess()
{
    Facts facts;
#ifdef Q_OS_WIN
    MEMORYSTATUSEX status {};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) {
        facts.physical = status.ullTotalPhys;
        // What a 32-bit process may address at most.
        facts.addressSpace = status.ullTotalVirtual;
    }
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0 && quint64(pages) <= std::numeric_limits<quint64>::max() / quint64(pageSize))
        facts.physical = quint64(pages) * quint64(pageSize);
    facts.addressSpace = resourceLimit(RLIMIT_AS);
    facts.dataSegment = resourceLimit(RLIMIT_DATA);
    facts.readFile = readWholeFile;
#endif
    return facts;
}

} // namespace MemoryLimits
