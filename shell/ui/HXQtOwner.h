#pragma once

// THXQtOwner: the owner thread of the windowed program is Qt's window thread.
// Post queues the call for the window thread's event loop; Invoke from another
// thread queues it the same way and blocks until it has run there (inline when
// called on the window thread). Calls run in the order they were handed over;
// one queued Qt event runs all the calls waiting when it arrives. Halt ends the
// hand-overs: calls still queued are dropped, workers waiting in Invoke are released
// with an error (THXOwnerCall), and later hand-overs are refused. So closing the
// program never waits on a worker that waits on the window thread.

#include <QObject>

#include <functional>
#include <memory>
#include <thread>

#include "core/HXOwner.h"

namespace hx
{

class THXQtOwner final : public QObject, public THXOwnerThread
{
    Q_OBJECT

public:
    // The calling thread (the thread of `parent`, if any) is the owner thread.
    explicit THXQtOwner(QObject* parent = nullptr);
    // Halts first.
    ~THXQtOwner() override;
    THXQtOwner(const THXQtOwner&) = delete;
    THXQtOwner& operator=(const THXQtOwner&) = delete;

    void Invoke(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    bool IsOwnerThread() const override;

    // From now on no hand-over runs. Any thread.
    void Halt();
    bool Halted() const;
    // Runs the calls handed over so far, in order (window thread; the runner's
    // "let pending messages run").
    void ProcessPending();

private:
    void Enqueue(std::function<void()> fn);
    void Drain();
    void RunQueued(std::size_t most);

    struct TState;
    std::shared_ptr<TState> m_state;
    std::thread::id m_ownerThread;
};

} // namespace hx
