#pragma once

// THXHandOver: a worker's hand-overs to the owner thread, each tied to the worker's
// current run (a THXOwnerCall whose caller wants it while the run is current). Run
// posts the code to the owner thread and waits until it has run.
// When the run ends while the call is still queued (a halt, a new task, shutdown),
// the worker stops waiting and the call, once the owner thread reaches it, does
// nothing; a call that has started always finishes with the worker still waiting.
// So once whoever ended the run has returned on the owner thread, the worker
// changes nothing more, and a worker never waits on an owner thread that is busy
// ending it (the owner may be joining the worker).
//
// The predicate tells whether the run is still current; it is read from both
// threads and must not block (an atomic run number). Whoever ends a run calls Wake
// afterwards so a waiting worker notices.

#include <functional>
#include <memory>
#include <mutex>

namespace hx
{

class THXOwnerCall;
class THXOwnerThread;

class THXHandOver
{
public:
    using TCurrent = std::function<bool()>;

    // Runs fn on the owner thread and waits for it. False when the run ended first
    // (fn then never runs). An exception thrown by fn reaches the caller, as does the
    // closing error when the owner's loop drops the call. Called on the owner thread,
    // fn runs at once when the run is current.
    bool Run(THXOwnerThread& owner, const TCurrent& current, const std::function<void()>& fn);
    // Makes a waiting worker look at its predicate again.
    void Wake();

private:
    std::mutex m_mutex;
    // The call the worker waits for, for Wake.
    std::shared_ptr<THXOwnerCall> m_pending;
};

} // namespace hx
