#pragma once

// THXQtSession: the windowed program's engine session. Qt's window thread is its
// owner thread (THXQtOwner); the engine session runs on it. Made before the main
// window and handed to it, ended after it: the owner comes first and goes last,
// and the session halts it once the workers are gone, so queued hand-overs of a
// closing program are dropped rather than run.

#include "shell/HXSession.h"
#include "shell/ui/HXQtOwner.h"

namespace hx
{

class THXApp;

class THXQtSession
{
public:
    // The calling thread (the window thread) becomes the owner thread.
    explicit THXQtSession(THXApp& app, TSessionSetup setup = {});
    THXQtSession(const THXQtSession&) = delete;
    THXQtSession& operator=(const THXQtSession&) = delete;

    THXSession& Engine() { return m_session; }
    THXQtOwner& Owner() { return m_owner; }

private:
    THXQtOwner m_owner;
    THXSession m_session;
};

} // namespace hx
