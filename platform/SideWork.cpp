#include "platform/SideWork.h"

#include <QThread>
#include <algorithm>
#include <exception>

SideWork::SideWork(int threads)
{
    m_pool.setMaxThreadCount(threads > 0 ? threads : cores());
}

SideWork::~SideWork()
{
    stop();
    m_pool.waitForDone();
}

int SideWork::cores()
{
    return std::max(1, QThread::idealThreadCount());
}

void SideWork::begun()
{
    const std::lock_guard lock(m_mutex);
    ++m_running;
}

void SideWork::ended()
{
    const std::lock_guard lock(m_mutex);
    --m_running;
    m_changed.notify_all();
}

bool SideWork::report()
{
    std::unique_lock lock(m_mutex);
    if (m_stop)
        return false;
    m_asking = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_asking; });
    return !m_stop;
}

bool SideWork::wait(std::chrono::milliseconds tick, const std::function<bool()>& progress,
    const std::function<void()>& whileStopping)
{
    std::exception_ptr raised;
    bool stopped = false;
    for (;;) {
        bool asked = false;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, tick, [this] { return m_running == 0 || m_asking; });
            if (m_running == 0)
                break;
            asked = m_asking;
        }
        if (progress && !stopped) {
            try {
                stopped = !progress();
            } catch (...) {
                raised = std::current_exception();
                stopped = true;
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            if (stopped)
                m_stop = true;
            m_asking = false;
            m_changed.notify_all();
        }
        // A report answered ends the job's step by itself; a job at work outside the
        // flag's reach is told again at each turn until it ends.
        if (stopped && !asked && whileStopping)
            whileStopping();
    }
    if (raised)
        std::rethrow_exception(raised);
    return !stopped;
}
