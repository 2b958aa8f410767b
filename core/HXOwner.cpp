#include "core/HXOwner.h"

#include <memory>
#include <stdexcept>

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
    auto call = std::make_shared<TCall>();
    call->fn = fn;
    call->waited = true;
    std::unique_lock lock(m_mutex);
    if (m_quit)
        throw std::runtime_error("The program is closing");
    m_calls.push_back(call);
    m_wake.notify_all();
    m_done.wait(lock, [&] { return call->done; });
    if (call->error)
        std::rethrow_exception(call->error);
}

void THXEventLoopOwner::Post(std::function<void()> fn)
{
    auto call = std::make_shared<TCall>();
    call->fn = std::move(fn);
    std::lock_guard lock(m_mutex);
    if (m_quit)
        return;
    m_calls.push_back(std::move(call));
    m_wake.notify_all();
}

int THXEventLoopOwner::ProcessPending(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    m_owner = std::this_thread::get_id();
    if (m_calls.empty() && wait.count() > 0)
        m_wake.wait_for(lock, wait, [this] { return !m_calls.empty() || m_quit; });
    std::deque<std::shared_ptr<TCall>> calls;
    calls.swap(m_calls);
    lock.unlock();
    int ran = 0;
    for (const auto& call : calls)
    {
        try
        {
            call->fn();
        }
        catch (...)
        {
            call->error = std::current_exception();
        }
        ++ran;
        std::lock_guard doneLock(m_mutex);
        call->done = true;
        m_done.notify_all();
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
    std::lock_guard lock(m_mutex);
    m_quit = true;
    for (const auto& call : m_calls)
    {
        call->error = std::make_exception_ptr(std::runtime_error("The program is closing"));
        call->done = true;
    }
    m_calls.clear();
    m_wake.notify_all();
    m_done.notify_all();
}

} // namespace hx
