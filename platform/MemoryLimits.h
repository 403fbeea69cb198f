#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

// What bounds the memory this process may take: the machine's physical memory, the
// limits set on the process (address space, data segment) and the memory limit of its
// control group. A bound of 0 stands for none of that kind.
namespace MemoryLimits
{

// Reads a whole file; a null array when it cannot be read.
using FileReader = std::function<QByteArray(const QString& path)>;

// What the system tells about the process.
struct Facts {
    quint64 physical = 0;
    quint64 addressSpace = 0; // RLIMIT_AS
    quint64 dataSegment = 0; // RLIMIT_DATA
    // Reads /proc/self/cgroup and the control group files under /sys/fs/cgroup.
    FileReader readFile;
};

// The memory limit of the process's control group: the smallest memory.max (cgroup v2)
// or memory.limit_in_bytes (cgroup v1) of its group and of the groups above it, as
// /proc/self/cgroup places it; 0 when none is set or none can be read.
[[nodiscard]] quint64 controlGroupLimit(const FileReader& readFile);

// The smallest bound of all; 0 when nothing bounds the process.
[[nodiscard]] quint64 smallestLimit(const Facts& facts);

// The facts of this process, read now.
[[nodiscard]] Facts thisProcess();

} // namespace MemoryLimits
