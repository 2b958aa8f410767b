#include "schedule/HXSchedulerThread.h"

#include <exception>

#include "core/HXOwner.h"

namespace hx
{

TThreadSchedule::TThreadSchedule(THXOwnerThread& owner, std::function<void()> tick, std::chrono::milliseconds period,
                                 std::function<void(const std::string& message)> onError)
    : m_owner(owner)
    , m_period(period)
    , m_state(std::make_shared<TState>())
{
    m_state->tick = std::move(tick);
    m_state->onError = std::move(onError);
    m_thread = std::thread([this] { Run(); });
}

TThreadSchedule::~TThreadSchedule()
{
    Terminate();
    if (m_thread.joinable())
        m_thread.join();
}

void TThreadSchedule::Terminate()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->terminated = true;
    }
    m_state->wake.notify_all();
}

void TThreadSchedule::Run()
{
    std::uint64_t posted = 0;
    for (;;)
    {
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->terminated)
                return;
        }
        const std::uint64_t number = ++posted;
        // The call holds the state, not this object: it may still be queued when the
        // object is gone, and then it only finds the terminated flag.
        m_owner.Post(
            [state = m_state, number]
            {
                {
                    std::lock_guard lock(state->mutex);
                    if (state->terminated)
                        return;
                }
                try
                {
                    state->tick();
                }
                catch (const std::exception& error)
                {
                    if (state->onError)
                        state->onError(error.what());
                }
                catch (...)
                {
                    if (state->onError)
                        state->onError("Unknown error");
                }
                {
                    std::lock_guard lock(state->mutex);
                    state->ticksDone = number;
                }
                state->wake.notify_all();
            });
        std::unique_lock lock(m_state->mutex);
        m_state->wake.wait(lock, [&] { return m_state->terminated || m_state->ticksDone >= number; });
        if (m_state->wake.wait_for(lock, m_period, [&] { return m_state->terminated; }))
            return;
    }
}

} // namespace hx
