#include "core/HXHandOver.h"

#include <condition_variable>
#include <exception>

#include "core/HXOwner.h"

namespace hx
{

// The posted call keeps only this shared state. The worker may cancel the call only
// while it is pending. The call's lock is not held while the handed-over code runs:
// that code may end the run itself.
struct THXHandOver::TCall
{
    enum class TState
    {
        Pending,
        Running,
        Finished,
        Cancelled
    };
    std::mutex mutex;
    std::condition_variable done;
    TState state = TState::Pending;
    bool ran = false;
    std::exception_ptr error;
};

bool THXHandOver::Run(THXOwnerThread& owner, const TCurrent& current, const std::function<void()>& fn)
{
    if (owner.IsOwnerThread())
    {
        if (!current())
            return false;
        owner.Invoke(fn);
        return true;
    }
    auto call = std::make_shared<TCall>();
    {
        std::lock_guard lock(m_mutex);
        if (!current())
            return false;
        m_pending = call;
    }
    struct TForget
    {
        THXHandOver& handOver;
        ~TForget()
        {
            std::lock_guard lock(handOver.m_mutex);
            handOver.m_pending.reset();
        }
    } forget{*this};

    using TState = TCall::TState;
    owner.Post(
        [call, current, &fn]
        {
            {
                std::lock_guard callLock(call->mutex);
                if (call->state != TState::Pending)
                    return;
                if (!current())
                {
                    call->state = TState::Finished;
                    call->done.notify_all();
                    return;
                }
                call->state = TState::Running;
            }
            try
            {
                fn();
                call->ran = true;
            }
            catch (...)
            {
                call->error = std::current_exception();
            }
            std::lock_guard callLock(call->mutex);
            call->state = TState::Finished;
            call->done.notify_all();
        });
    std::unique_lock callLock(call->mutex);
    call->done.wait(callLock,
                    [&] { return call->state == TState::Finished || (call->state == TState::Pending && !current()); });
    if (call->state != TState::Finished)
    {
        call->state = TState::Cancelled;
        return false;
    }
    if (call->error)
        std::rethrow_exception(call->error);
    return call->ran;
}

void THXHandOver::Wake()
{
    std::shared_ptr<TCall> call;
    {
        std::lock_guard lock(m_mutex);
        call = m_pending;
    }
    if (call)
    {
        std::lock_guard callLock(call->mutex);
        call->done.notify_all();
    }
}

} // namespace hx
