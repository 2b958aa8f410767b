#include "core/HXOwner.h"

#include <memory>

#include "core/HXOwnerCall.h"

namespace hx
{

void THXInlineOwner::Invoke(const std::function<void()>& fn)
{
    std::lock_guard lock(m_mutex);
    fn();
}

void THXInlineOwner::Post(std::function<void()> fn)
{
    std::lock_guard lock(m_mutex);
    fn();
}

THXEventLoopOwner::THXEventLoopOwner()
    : m_owner(std::this_thread::get_id())
{
}

THXEventLoopOwner::~THXEventLoopOwner()
{
    Quit();
}

bool THXEventLoopOwner::IsOwnerThread() const
{
    return m_owner.load() == std::this_thread::get_id();
}

void THXEventLoopOwner::Invoke(const std::function<void()>& fn)
{
    if (IsOwnerThread())
    {
        fn();
        return;
    }
    // After Quit, Post drops the call and the wait ends with the closing error.
    auto call = std::make_shared<THXOwnerCall>(fn);
    Post(THXOwnerCall::Runner(call));
    call->Wait();
}

void THXEventLoopOwner::Post(std::function<void()> fn)
{
    std::lock_guard lock(m_mutex);
    // After Quit the call is dropped (after the lock is let go: what it holds may
    // hand over again).
    if (m_quit)
        return;
    m_calls.push_back(std::move(fn));
    m_wake.notify_all();
}

int THXEventLoopOwner::ProcessPending(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    m_owner = std::this_thread::get_id();
    if (m_calls.empty() && wait.count() > 0)
        m_wake.wait_for(lock, wait, [this] { return !m_calls.empty() || m_quit; });
    std::deque<std::function<void()>> calls;
    calls.swap(m_calls);
    lock.unlock();
    int ran = 0;
    for (const auto& call : calls)
    {
        // A posted call's failure has no one to reach (a waited call's reaches its
        // caller through THXOwnerCall).
        try
        {
            call();
        }
        catch (...)
        {
        }
        ++ran;
    }
    return ran;
}

void THXEventLoopOwner::Run()
{
    {
        std::lock_guard lock(m_mutex);
        m_owner = std::this_thread::get_id();
    }
    for (;;)
    {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_calls.empty() || m_quit; });
            if (m_quit)
                return;
        }
        ProcessPending();
    }
}

void THXEventLoopOwner::Quit()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        dropped.swap(m_calls);
        m_wake.notify_all();
    }
    // Dropping the calls releases the workers waiting for them.
    dropped.clear();
}

} // namespace hx
