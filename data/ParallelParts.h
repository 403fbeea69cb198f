#pragma once

#include <QtGlobal>
#include <atomic>
#include <functional>

// Work on a large result split in parts, one thread a part (platform/SideWork), while
// the calling thread (the window's) waits and calls progress every few tens of
// milliseconds, so that the long-work dialog shows and "Annuler" is heard. Each part
// reads only what does not change meanwhile and writes only its own share.
namespace ParallelParts
{

// Called while the parts run; false asks them to stop.
using Progress = std::function<bool()>;
// A part's work; it may look at stop between its steps and return early.
using Part = std::function<void(int part, const std::atomic<bool>& stop)>;

// How many parts items are worth splitting into: one a core, none under least items.
[[nodiscard]] int partsFor(qsizetype items, qsizetype least);

// Runs part(0) to part(parts - 1) together and returns once all have returned: true
// when none was asked to stop, false when progress asked it (progress is called once
// before the parts start, then while they run). What progress throws, or else what the
// lowest-numbered part that failed threw, is thrown here, after every part has returned; a part
// that throws asks the others to stop.
[[nodiscard]] bool run(int parts, const Part& part, const Progress& progress);

} // namespace ParallelParts
