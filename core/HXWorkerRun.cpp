#include "core/HXWorkerRun.h"

namespace hx
{

void THXWorkerRun::EndRunLocked()
{
    ++m_run;
    m_wake.notify_all();
}

void THXWorkerRun::EndRun()
{
    {
        std::lock_guard lock(m_mutex);
        EndRunLocked();
    }
    m_handOver.Wake();
}

bool THXWorkerRun::Halt()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_halted)
            return false;
        m_halted = true;
        EndRunLocked();
    }
    m_handOver.Wake();
    return true;
}

bool THXWorkerRun::Resume()
{
    std::lock_guard lock(m_mutex);
    if (!m_halted)
        return false;
    m_halted = false;
    m_wake.notify_all();
    return true;
}

void THXWorkerRun::End()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
        EndRunLocked();
    }
    m_handOver.Wake();
}

bool THXWorkerRun::Halted() const
{
    std::lock_guard lock(m_mutex);
    return m_halted;
}

bool THXWorkerRun::Paused() const
{
    std::lock_guard lock(m_mutex);
    return m_paused;
}

void THXWorkerRun::Wake()
{
    std::lock_guard lock(m_mutex);
    m_wakePending = true;
    m_wake.notify_all();
}

std::optional<std::uint64_t> THXWorkerRun::Begin()
{
    std::unique_lock lock(m_mutex);
    if (m_halted && !m_ending)
    {
        m_paused = true;
        m_wake.wait(lock, [this] { return m_ending || !m_halted; });
        m_paused = false;
    }
    if (m_ending)
        return std::nullopt;
    return m_run.load();
}

bool THXWorkerRun::Sleep(std::uint64_t run, std::chrono::milliseconds step, int steps)
{
    std::unique_lock lock(m_mutex);
    for (int done = 0; done < steps && Current(run); ++done)
        m_wake.wait_for(lock, step, [&] { return !Current(run); });
    return Current(run);
}

void THXWorkerRun::AwaitWake(std::uint64_t run, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, limit, [&] { return !Current(run) || m_wakePending; });
    m_wakePending = false;
}

void THXWorkerRun::ClearWake()
{
    std::lock_guard lock(m_mutex);
    m_wakePending = false;
}

bool THXWorkerRun::OnOwner(THXOwnerThread& owner, std::uint64_t run, const std::function<void()>& fn)
{
    return m_handOver.Run(
        owner, [this, run] { return Current(run); }, fn);
}

} // namespace hx
