#include "shell/ui/HXQtOwner.h"

#include <QMetaObject>
#include <QtGlobal>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <stdexcept>

namespace hx
{

namespace
{

constexpr const char* kClosingText = "The program is closing";

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
    struct TCall
    {
        enum class TPhase
        {
            Pending,
            Running,
            Finished
        };
        const std::function<void()>* fn = nullptr;
        TPhase phase = TPhase::Pending;
        std::exception_ptr error;
    };

    std::mutex mutex;
    std::condition_variable done;
    bool halted = false;
    // Handed-over calls in order. One queued Qt event drains them, so a crawl's
    // thousands of hand-overs cost a few events, not one each.
    std::deque<std::function<void()>> queue;
    bool drainPosted = false;
    // Calls whose callers wait in Invoke.
    std::set<std::shared_ptr<TCall>> waiting;
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
    std::lock_guard lock(m_state->mutex);
    m_state->halted = true;
    m_state->queue.clear();
    for (const auto& call : m_state->waiting)
        if (call->phase == TState::TCall::TPhase::Pending)
        {
            call->phase = TState::TCall::TPhase::Finished;
            call->error = std::make_exception_ptr(std::runtime_error(kClosingText));
        }
    m_state->done.notify_all();
}

void THXQtOwner::Enqueue(std::function<void()> fn)
{
    {
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
    using TPhase = TState::TCall::TPhase;
    if (IsOwnerThread())
    {
        if (Halted())
            throw std::runtime_error(kClosingText);
        fn();
        return;
    }
    auto call = std::make_shared<TState::TCall>();
    call->fn = &fn;
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->halted)
            throw std::runtime_error(kClosingText);
        m_state->waiting.insert(call);
    }
    Enqueue(
        [state = m_state, call]
        {
            {
                std::lock_guard callLock(state->mutex);
                if (state->halted || call->phase != TPhase::Pending)
                    return;
                call->phase = TPhase::Running;
            }
            try
            {
                (*call->fn)();
            }
            catch (...)
            {
                call->error = std::current_exception();
            }
            std::lock_guard callLock(state->mutex);
            call->phase = TPhase::Finished;
            state->done.notify_all();
        });
    std::unique_lock lock(m_state->mutex);
    m_state->done.wait(lock, [&] { return call->phase == TPhase::Finished; });
    m_state->waiting.erase(call);
    if (call->error)
        std::rethrow_exception(call->error);
}

} // namespace hx
