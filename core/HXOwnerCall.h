#pragma once

// THXOwnerCall: one function handed to the owner thread while its caller waits. Every
// hand-over that waits goes through it: the owner loops' Invoke (THXEventLoopOwner,
// the windows' THXQtOwner), a worker's run-bound hand-overs (THXHandOver) and a
// transfer's calls (TThreadHTTP).
//
// The call runs at most once, and ends in one of three ways the caller sees in Wait:
//  - it ran: Wait returns true, or rethrows the exception the function threw;
//  - the owner's queue let go of it without running it (the loop closed, a halt
//    cleared the queue): Wait throws std::runtime_error(kOwnerClosingText), so no
//    worker waits forever on a loop that has stopped;
//  - the caller stopped wanting it while it was still queued (its `wanted` test
//    turned false, e.g. its run ended): it never runs and Wait returns false.
// A call that has started always finishes with its caller still waiting. So the
// function and the test may live on the caller's stack: they are used only while
// the caller waits, never after Wait has returned.
//
// The owner's queue holds Runner(call): run by the owner thread, it runs the call;
// destroyed unrun, it abandons it. A stopping owner thread may also Run a call
// itself ahead of its loop.

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

namespace hx
{

class THXOwnerThread;

// The error a caller gets when the owner thread no longer runs its call.
inline constexpr std::string_view kOwnerClosingText = "The program is closing";

class THXOwnerCall
{
public:
    using TWanted = std::function<bool()>;

    // `wanted` (optional) is asked on both threads and must not block.
    explicit THXOwnerCall(const std::function<void()>& fn, const TWanted* wanted = nullptr);
    THXOwnerCall(const THXOwnerCall&) = delete;
    THXOwnerCall& operator=(const THXOwnerCall&) = delete;

    // What goes into the owner's queue for the call (see the header comment).
    static std::function<void()> Runner(std::shared_ptr<THXOwnerCall> call);
    // Runs the function if the call is still pending and wanted; true when it ran
    // (also when it threw). Owner thread.
    bool Run();
    // Gives a pending call up with the closing error; a call that has started or
    // ended is left as it is. Any thread.
    void Abandon();
    // Waits until the call has ended (see the header comment). The caller's thread.
    bool Wait();
    // Makes a waiting caller ask its `wanted` test again. Any thread.
    void Wake();

    // The whole hand-over of a worker: on the owner thread the call runs at once
    // through owner.Invoke (an inline owner serialises it); elsewhere it is posted.
    // Then it waits as Wait does.
    static bool Hand(THXOwnerThread& owner, const std::shared_ptr<THXOwnerCall>& call);

private:
    enum class TState
    {
        Pending,
        Running,
        Ran,
        Unwanted,
        Abandoned
    };

    bool Unwanted() const { return m_wanted != nullptr && *m_wanted && !(*m_wanted)(); }

    const std::function<void()>& m_fn;
    const TWanted* m_wanted;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    TState m_state = TState::Pending;
    std::exception_ptr m_error;
};

} // namespace hx
