#include "core/HXOwnerCall.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "core/HXOwner.h"

namespace hx
{

namespace
{

// Travels with the call through the owner's queue (copies of the queued function
// share it); when the queue lets go of it without having run the call, the call is
// abandoned.
struct TTicket
{
    explicit TTicket(std::shared_ptr<THXOwnerCall> c)
        : call(std::move(c))
    {
    }
    ~TTicket() { call->Abandon(); }
    TTicket(const TTicket&) = delete;
    TTicket& operator=(const TTicket&) = delete;

    std::shared_ptr<THXOwnerCall> call;
};

} // namespace

THXOwnerCall::THXOwnerCall(const std::function<void()>& fn, const TWanted* wanted)
    : m_fn(fn)
    , m_wanted(wanted)
{
}

std::function<void()> THXOwnerCall::Runner(std::shared_ptr<THXOwnerCall> call)
{
    return [ticket = std::make_shared<TTicket>(std::move(call))] { ticket->call->Run(); };
}

bool THXOwnerCall::Run()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state != TState::Pending)
            return false;
        if (Unwanted())
        {
            m_state = TState::Unwanted;
            m_ended.notify_all();
            return false;
        }
        m_state = TState::Running;
    }
    // Not under the lock: the function may end the caller's run itself (and so ask
    // the caller's test, or wake it).
    std::exception_ptr error;
    try
    {
        m_fn();
    }
    catch (...)
    {
        error = std::current_exception();
    }
    std::lock_guard lock(m_mutex);
    m_error = std::move(error);
    m_state = TState::Ran;
    m_ended.notify_all();
    return true;
}

void THXOwnerCall::Abandon()
{
    std::lock_guard lock(m_mutex);
    if (m_state != TState::Pending)
        return;
    m_state = TState::Abandoned;
    m_error = std::make_exception_ptr(std::runtime_error(std::string(kOwnerClosingText)));
    m_ended.notify_all();
}

bool THXOwnerCall::Wait()
{
    std::unique_lock lock(m_mutex);
    m_ended.wait(lock,
                 [this]
                 {
                     if (m_state == TState::Pending && Unwanted())
                         m_state = TState::Unwanted;
                     return m_state != TState::Pending && m_state != TState::Running;
                 });
    // The caller takes the error: the call may end on the owner thread (its queued
    // runner let go there), which then never frees the caller's exception.
    if (std::exception_ptr error = std::exchange(m_error, nullptr))
        std::rethrow_exception(error);
    return m_state == TState::Ran;
}

void THXOwnerCall::Wake()
{
    std::lock_guard lock(m_mutex);
    m_ended.notify_all();
}

bool THXOwnerCall::Hand(THXOwnerThread& owner, const std::shared_ptr<THXOwnerCall>& call)
{
    if (owner.IsOwnerThread())
        owner.Invoke([&call] { call->Run(); });
    else
        owner.Post(Runner(call));
    return call->Wait();
}

} // namespace hx
