#pragma once

#include <QThreadPool>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <type_traits>

// Work beside the window's thread: the one way the program runs work on the cores.
//
// The window's thread starts the jobs and stays in charge: it alone touches windows,
// data sets, the grid and the long-work dialog (app/WorkProgress.h), and it alone calls
// the operation's progress callback, so that "Annuler" is heard there as for any other
// work. A job reads only what does not change while it runs (a RowsSnapshot, a
// connection that nothing else uses meanwhile) and writes only its own share.
//
// - Results come back through futures, in the order the caller keeps them, with what a
//   job threw: the caller chooses which failure it reports.
// - A stop (asked by progress, by a job or by the end of the work) is a flag that jobs
//   look at between their steps; a job already at work finishes its step.
// - No job outlives the work: the destructor asks the stop and waits for every job
//   started, whatever ended the work (a return, an exception).
class SideWork
{
public:
    // threads: how many jobs run at once; one a core when 0.
    explicit SideWork(int threads = 0);
    ~SideWork();
    SideWork(const SideWork&) = delete;
    SideWork& operator=(const SideWork&) = delete;

    // The processor's cores, at least one.
    [[nodiscard]] static int cores();
    [[nodiscard]] int threads() const { return m_pool.maxThreadCount(); }

    // Starts job on one of the work's threads (queued while all are busy).
    template <class Job>
    [[nodiscard]] auto start(Job job) -> std::future<std::invoke_result_t<Job&>>
    {
        using Result = std::invoke_result_t<Job&>;
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
        auto result = task->get_future();
        begun();
        m_pool.start([this, task] {
            (*task)();
            ended();
        });
        return result;
    }

    // The stop asked, for jobs to look at between their steps.
    [[nodiscard]] const std::atomic<bool>& stopping() const { return m_stop; }
    void stop() { m_stop = true; }

    // From a job, when wait() runs: has the waiting thread take a turn (call progress)
    // now, and returns once it has, false when a stop is asked (then at once).
    bool report();

    // On the starting thread: returns once every job started has ended, calling progress
    // every tick and at each report(). When progress answers false or throws, the stop is
    // asked; progress is not called again, but whileStopping is at each tick until the
    // jobs end (for what must be told to stop outside the flag: a driver at work).
    // Returns false after a stop that progress asked; rethrows what progress threw.
    bool wait(std::chrono::milliseconds tick, const std::function<bool()>& progress,
        const std::function<void()>& whileStopping = {});

private:
    void begun();
    void ended();

    QThreadPool m_pool;
    std::atomic<bool> m_stop = false;
    // Guarded by m_mutex: the jobs started and not ended, a report waiting for its turn.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_running = 0;
    bool m_asking = false;
};
