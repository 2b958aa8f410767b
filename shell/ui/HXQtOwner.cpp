#include "shell/ui/HXQtOwner.h"

#include <QMetaObject>
#include <QtGlobal>

#include <condition_variable>
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

// Shared with every queued call, so a call the loop reaches late sees the halt.
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
    for (const auto& call : m_state->waiting)
        if (call->phase == TState::TCall::TPhase::Pending)
        {
            call->phase = TState::TCall::TPhase::Finished;
            call->error = std::make_exception_ptr(std::runtime_error(kClosingText));
        }
    m_state->done.notify_all();
}

void THXQtOwner::Post(std::function<void()> fn)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->halted)
            return;
    }
    // Queued events of a receiver that is destroyed are dropped by Qt; the state
    // check covers a halt between now and the loop reaching the call.
    QMetaObject::invokeMethod(
        this,
        [state = m_state, fn = std::move(fn)]
        {
            {
                std::lock_guard lock(state->mutex);
                if (state->halted)
                    return;
            }
            RunGuarded(fn);
        },
        Qt::QueuedConnection);
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
    std::unique_lock lock(m_state->mutex);
    if (m_state->halted)
        throw std::runtime_error(kClosingText);
    m_state->waiting.insert(call);
    QMetaObject::invokeMethod(
        this,
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
        },
        Qt::QueuedConnection);
    m_state->done.wait(lock, [&] { return call->phase == TPhase::Finished; });
    m_state->waiting.erase(call);
    if (call->error)
        std::rethrow_exception(call->error);
}

} // namespace hx
