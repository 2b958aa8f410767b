#pragma once

// TJobThread: one thread that runs the jobs posted to it, one after another, in
// the order they came. A connection slot keeps one for its transfers, so a
// transfer does not pay for creating and tearing down a thread (and the owner
// thread, which starts transfers, does not either).
//
// The thread starts with the first job. RAII: destruction lets the jobs already
// posted run, then joins the thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace hx
{

class TJobThread
{
public:
    TJobThread() = default;
    ~TJobThread();
    TJobThread(const TJobThread&) = delete;
    TJobThread& operator=(const TJobThread&) = delete;

    // Queues the job; it runs on the thread after those queued before it. A job's
    // exception ends the program (std::terminate), as on a thread of its own. Any
    // thread but the job thread itself may wait on what a job does.
    void Post(std::function<void()> job);

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    bool m_ending = false;
    std::thread m_thread;
};

} // namespace hx
