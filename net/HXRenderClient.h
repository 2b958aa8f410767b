#pragma once

// TRenderClient: one harbex-render process, the offscreen browser that renders pages
// built by scripts, and the pipe to it. THXRenderPool: the renderers of one run, up
// to a number at once, each rendering one page at a time.
//
// A renderer is started when a page first needs one and ended with the run (the
// pool's Stop, or its destructor). A renderer that crashes, or does not answer
// within the page's time out and a grace period, is ended; the page is then not
// rendered (the caller keeps its fetched text) and the renderer is started again
// for the next page, once: a renderer that fails again stays ended for the run.
//
// Threads: Render may be called on several threads at once (each call takes an idle
// renderer, or waits for one); Stop on any thread ends the renderers and makes the
// calls under way return at once.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

#include "net/HXRenderProtocol.h"

namespace hx
{

// How one render ended.
enum class TRenderOutcome
{
    Rendered,    // the renderer answered (the reply may still say the page failed to load)
    Crashed,     // the renderer ended or broke the protocol while rendering
    Hung,        // no answer within the time out and grace period: ended
    Unavailable, // the renderer cannot be started (missing program, no Qt WebEngine)
    GivenUp,     // every renderer of the run has failed twice: none is started again
    Stopped,     // the run ended meanwhile
};

// Time a renderer gets beyond a page's time out (start-up of the browser included).
inline constexpr int kRenderGraceMs = 15000;

class TRenderClient
{
public:
    explicit TRenderClient(std::string program);
    ~TRenderClient();
    TRenderClient(const TRenderClient&) = delete;
    TRenderClient& operator=(const TRenderClient&) = delete;

    // Renders one page; starts the process first when it is not running. cancelFd is
    // read-watched while waiting: once readable, the wait ends with Stopped.
    // graceMs: the time beyond the page's time out (and for the start) before the
    // renderer counts as hung.
    TRenderOutcome Render(const TRenderRequest& request, TRenderReply& reply, int cancelFd, int graceMs);
    bool Running() const { return m_pid > 0; }
    // Ends the process: the pipe is closed (a renderer leaves when it reads the end),
    // then it is killed if it has not left after a short wait.
    void End();

private:
    bool Start();
    bool WriteAll(const std::string& bytes, int cancelFd, int timeOutMs);
    // Reads exactly size bytes; the outcome when it could not.
    TRenderOutcome ReadExactly(char* out, std::size_t size, int cancelFd, int timeOutMs);
    void Kill();

    std::string m_program;
    pid_t m_pid = -1;
    int m_toRenderer = -1;
    int m_fromRenderer = -1;
};

class THXRenderPool
{
public:
    THXRenderPool(std::string program, int renderers, int graceMs = kRenderGraceMs);
    ~THXRenderPool();
    THXRenderPool(const THXRenderPool&) = delete;
    THXRenderPool& operator=(const THXRenderPool&) = delete;

    // Renders one page on an idle renderer (waiting for one while all are busy).
    TRenderOutcome Render(const TRenderRequest& request, TRenderReply& reply);
    // Ends every renderer; calls under way return Stopped, later calls too.
    void Stop();
    // Renderers started so far (restarts included).
    int Starts() const;
    // The program could not be started: every later call returns Unavailable.
    bool Unavailable() const;

private:
    struct TSlot
    {
        std::unique_ptr<TRenderClient> Client;
        bool Busy = false;
        int Failures = 0; // crashes and hangs so far
    };
    // The slot a call may use (-1: none now); under m_lock.
    int FreeSlot() const;

    std::string m_program;
    int m_graceMs;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<TSlot> m_slots;
    bool m_stopped = false;
    bool m_unavailable = false;
    int m_starts = 0;
    int m_cancel[2] = {-1, -1}; // a pipe: written once by Stop
};

// The harbex-render program beside the running program, or HARBEX_RENDER when set.
std::string RenderProgramPath();
// Whether that program exists and may be run.
bool RenderProgramPresent(const std::string& program);

} // namespace hx
