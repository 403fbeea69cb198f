#include "data/ParallelParts.h"

#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace ParallelParts
{

// How often the waiting thread calls progress.
constexpr std::chrono::milliseconds kTick(20);

int partsFor(qsizetype items, qsizetype least)
{
    const auto cores = qsizetype(std::max(1, QThread::idealThreadCount()));
    return int(std::clamp<qsizetype>(items / std::max<qsizetype>(least, 1), 1, cores));
}

bool run(int parts, const Part& part, const Progress& progress)
{
    // Asked once before the parts start, however soon they end.
    if (progress && !progress())
        return false;
    std::atomic<bool> stop = false;
    std::mutex mutex;
    std::condition_variable done;
    int running = parts;
    std::exception_ptr error;
    std::vector<std::jthread> threads;
    threads.reserve(size_t(parts));
    for (int p = 0; p < parts; ++p) {
        threads.emplace_back([&, p] {
            std::exception_ptr thrown;
            try {
                part(p, stop);
            } catch (...) {
                thrown = std::current_exception();
                stop = true;
            }
            const std::lock_guard lock(mutex);
            if (thrown && !error)
                error = thrown;
            --running;
            done.notify_one();
        });
    }
    bool stopped = false;
    {
        std::unique_lock lock(mutex);
        while (!done.wait_for(lock, kTick, [&running] { return running == 0; })) {
            if (stopped || !progress)
                continue;
            lock.unlock();
            try {
                stopped = !progress();
            } catch (...) {
                const std::lock_guard relock(mutex);
                if (!error)
                    error = std::current_exception();
                stopped = true;
            }
            if (stopped)
                stop = true;
            lock.lock();
        }
    }
    threads.clear();
    if (error)
        std::rethrow_exception(error);
    return !stopped;
}

} // namespace ParallelParts
