#include "core/HXJobThread.h"

#include <utility>

namespace hx
{

TJobThread::~TJobThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TJobThread::Post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
    }
    m_changed.notify_one();
}

void TJobThread::Run()
{
    for (;;)
    {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

} // namespace hx
