#pragma once

// Timing a step of the program and a program run beside it, in wall and CPU time.

#include "platform/Exceptions.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <ctime>
#include <functional>
#include <sys/resource.h>

namespace bench
{

// Wall and CPU time of a step, in ms: the machine is shared, so the CPU time (of the
// process, or of the programs it ran) tells more than the wall clock.
struct Times {
    double wall = 0;
    double cpu = 0;
};

inline double processCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

inline double childrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

inline Times timed(const std::function<void()>& step, double (*cpuMs)() = processCpuMs)
{
    QElapsedTimer clock;
    const double cpu = cpuMs();
    clock.start();
    step();
    return { double(clock.nsecsElapsed()) / 1e6, cpuMs() - cpu };
}

// Runs a program with the environment's locale set to C.UTF-8; output: its standard
// output, trimmed.
inline Times runProgram(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    const Times times = timed(
        [&] {
            process.start(program, arguments);
            process.waitForFinished(-1);
        },
        childrenCpuMs);
    if (output)
        *output = process.readAllStandardOutput().trimmed();
    return times;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw Exception(QStringLiteral("Ne peut écrire %1").arg(path));
}

} // namespace bench
