#include "net/HXHostHealth.h"

#include <algorithm>

#include "net/HXHostCache.h"
#include "net/agsocketcodes.h"

namespace hx
{

bool IsUnreachableFailure(int code)
{
    switch (code)
    {
    case kSockHostNotFound:
    case 11002:
    case 11003:
    case 11004:
    case kSockConnectionRefused:
    case 10060:        // connection timed out (by the system)
    case kErrTimedOut: // counted only when the connection was being made
    case kErrSecureChannel:
        return true;
    default:
        return false;
    }
}

std::string ServerKey(const std::string& host, int port)
{
    return THXHostCache::Key(host) + ":" + std::to_string(port);
}

void THXHostHealth::Reset()
{
    const std::lock_guard lock(m_mutex);
    m_servers.clear();
}

void THXHostHealth::Succeeded(const std::string& server)
{
    const std::lock_guard lock(m_mutex);
    TServer& entry = m_servers[server];
    // A server found down stays down for the run: its items have ended already.
    if (entry.Down)
        return;
    entry.FailuresInRow = 0;
    entry.Trusted = true;
}

void THXHostHealth::Failed(const std::string& server, const std::string& text)
{
    const std::lock_guard lock(m_mutex);
    TServer& entry = m_servers[server];
    entry.Trusted = false;
    ++entry.Failures;
    if (entry.Down)
        return;
    entry.Text = text;
    if (++entry.FailuresInRow >= kFailuresToDown)
        entry.Down = true;
}

bool THXHostHealth::Down(const std::string& server, std::string* text) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_servers.find(server);
    if (found == m_servers.end() || !found->second.Down)
        return false;
    if (text != nullptr)
        *text = found->second.Text;
    return true;
}

bool THXHostHealth::Trusted(const std::string& server) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_servers.find(server);
    return found != m_servers.end() && found->second.Trusted;
}

int THXHostHealth::FailuresInRow(const std::string& server) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_servers.find(server);
    return found == m_servers.end() ? 0 : found->second.FailuresInRow;
}

int THXHostHealth::Failures(const std::string& server) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_servers.find(server);
    return found == m_servers.end() ? 0 : found->second.Failures;
}

int THXHostHealth::ConnectingAllowed(const std::string& server) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_servers.find(server);
    if (found == m_servers.end())
        return std::min(kMaxSlotsPerUntrustedServer, kFailuresToDown);
    if (found->second.Trusted)
        return INT_MAX;
    return std::max(0, std::min(kMaxSlotsPerUntrustedServer, kFailuresToDown - found->second.FailuresInRow));
}

} // namespace hx
