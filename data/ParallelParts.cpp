#include "data/ParallelParts.h"

#include "platform/SideWork.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <vector>

namespace ParallelParts
{

// How often the waiting thread calls progress.
constexpr std::chrono::milliseconds kTick(20);

int partsFor(qsizetype items, qsizetype least)
{
    const auto cores = qsizetype(SideWork::cores());
    return int(std::clamp<qsizetype>(items / std::max<qsizetype>(least, 1), 1, cores));
}

bool run(int parts, const Part& part, const Progress& progress)
{
    // Asked once before the parts start, however soon they end.
    if (progress && !progress())
        return false;
    SideWork work(parts);
    std::vector<std::future<void>> ends;
    ends.reserve(size_t(parts));
    for (int p = 0; p < parts; ++p) {
        ends.push_back(work.start([&work, &part, p] {
            try {
                part(p, work.stopping());
            } catch (...) {
                // The other parts' work is lost anyway.
                work.stop();
                throw;
            }
        }));
    }
    const bool finished = work.wait(kTick, progress);
    for (auto& end : ends)
        end.get();
    return finished;
}

} // namespace ParallelParts
