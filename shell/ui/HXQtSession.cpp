#include "shell/ui/HXQtSession.h"

#include <utility>

namespace hx
{

namespace
{

// The windows' session: Qt's owner halted at the end, and settings another program
// changes picked up at each tick.
TSessionSetup HaltingAtEnd(TSessionSetup setup, THXQtOwner& owner)
{
    setup.EndHandOvers = [&owner] { owner.Halt(); };
    setup.ReloadSettingsOnTick = true;
    return setup;
}

} // namespace

THXQtSession::THXQtSession(THXApp& app, TSessionSetup setup)
    : m_session(app, m_owner, HaltingAtEnd(std::move(setup), m_owner))
{
}

} // namespace hx
