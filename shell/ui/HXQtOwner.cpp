#include "shell/ui/HXQtOwner.h"

#include <QMetaObject>
#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

#include "core/HXOwnerCall.h"

namespace hx
{

namespace
{

// A posted call must not let an exception into Qt's event loop.
void RunGuarded(const std::function<void()>& fn)
{
    try
    {
        fn();
    }
    catch (const std::exception& error)
    {
        qWarning("Harbex: a queued call failed: %s", error.what());
    }
    catch (...)
    {
        qWarning("Harbex: a queued call failed");
    }
}

} // namespace

// Shared with the queued drain events, so an event the loop reaches late sees the halt.
struct THXQtOwner::TState
{
    std::mutex mutex;
    bool halted = false;
    // Handed-over calls in order. One queued Qt event drains them, so a crawl's
    // thousands of hand-overs cost a few events, not one each. A waited call
    // (THXOwnerCall) that is dropped unrun releases its caller.
    std::deque<std::function<void()>> queue;
    bool drainPosted = false;
};

THXQtOwner::THXQtOwner(QObject* parent)
    : QObject(parent)
    , m_state(std::make_shared<TState>())
    , m_ownerThread(std::this_thread::get_id())
{
}

THXQtOwner::~THXQtOwner()
{
    Halt();
}

bool THXQtOwner::IsOwnerThread() const
{
    return std::this_thread::get_id() == m_ownerThread;
}

bool THXQtOwner::Halted() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->halted;
}

void THXQtOwner::Halt()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->halted = true;
        dropped.swap(m_state->queue);
    }
    // Dropping the calls releases the workers waiting for them.
    dropped.clear();
}

void THXQtOwner::Enqueue(std::function<void()> fn)
{
    {
        // After Halt the call is dropped (after the lock is let go).
        std::lock_guard lock(m_state->mutex);
        if (m_state->halted)
            return;
        m_state->queue.push_back(std::move(fn));
        if (m_state->drainPosted)
            return;
        m_state->drainPosted = true;
    }
    // Queued events of a receiver that is destroyed are dropped by Qt.
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
}

void THXQtOwner::Drain()
{
    // The calls waiting now run; calls handed over meanwhile get an event of their
    // own, so windows, input and timers are served between two batches.
    std::size_t batch = 0;
    {
        std::lock_guard lock(m_state->mutex);
        batch = m_state->queue.size();
    }
    RunQueued(batch);
    std::lock_guard lock(m_state->mutex);
    if (m_state->halted || m_state->queue.empty())
    {
        m_state->drainPosted = false;
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
}

void THXQtOwner::ProcessPending()
{
    RunQueued(SIZE_MAX);
}

void THXQtOwner::RunQueued(std::size_t most)
{
    // One at a time from the front: a call that lets pending work run (a nested
    // ProcessPending) keeps the order of the calls.
    for (std::size_t ran = 0; ran < most; ++ran)
    {
        std::function<void()> fn;
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->halted || m_state->queue.empty())
                return;
            fn = std::move(m_state->queue.front());
            m_state->queue.pop_front();
        }
        RunGuarded(fn);
    }
}

void THXQtOwner::Post(std::function<void()> fn)
{
    Enqueue(std::move(fn));
}

void THXQtOwner::Invoke(const std::function<void()>& fn)
{
    if (IsOwnerThread())
    {
        if (Halted())
            throw std::runtime_error(std::string(kOwnerClosingText));
        fn();
        return;
    }
    // After Halt, Enqueue drops the call and the wait ends with the closing error.
    auto call = std::make_shared<THXOwnerCall>(fn);
    Enqueue(THXOwnerCall::Runner(call));
    call->Wait();
}

} // namespace hx
