#include "shell/ui/HXQtSession.h"

#include <utility>

namespace hx
{

namespace
{

TSessionSetup HaltingAtEnd(TSessionSetup setup, THXQtOwner& owner)
{
    setup.EndHandOvers = [&owner] { owner.Halt(); };
    return setup;
}

} // namespace

THXQtSession::THXQtSession(THXApp& app, TSessionSetup setup)
    : m_session(app, m_owner, HaltingAtEnd(std::move(setup), m_owner))
{
}

} // namespace hx
