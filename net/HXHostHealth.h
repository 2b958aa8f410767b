#pragma once

// THXHostHealth: which servers of a run cannot be reached. A server (host and port,
// or the proxy) that fails kFailuresToDown times in a row with no success between,
// each time in a way that says the server is not there (its name not found, the
// connection refused, the connection not made in time, the secure handshake
// failed), is down for the rest of the run: the dispatcher ends its items at once,
// as errors, without asking. A success clears the count. A server known to answer
// (its last attempt succeeded) is trusted; the others may hold only a few slots
// while they connect.
//
// Threads: any thread; the transfers record, the dispatcher asks.

#include <climits>
#include <map>
#include <mutex>
#include <string>

namespace hx
{

// Failures in a row that make a server down.
inline constexpr int kFailuresToDown = 3;
// Slots that may wait on the connection to a server not known to answer.
inline constexpr int kMaxSlotsPerUntrustedServer = 4;

// Whether a failure with this socket code says the server is not there.
bool IsUnreachableFailure(int code);

// The key of a server: its host in lower case, a colon and the port ("github.com:443").
std::string ServerKey(const std::string& host, int port);

class THXHostHealth
{
public:
    // Forgets every server (a new run).
    void Reset();
    // A connection to the server was made (the secure handshake included).
    void Succeeded(const std::string& server);
    // A connection failed; `text` says how. Failures that do not say the server is
    // missing (see IsUnreachableFailure) are left out by the caller.
    void Failed(const std::string& server, const std::string& text);
    // Whether the server is down; `text` gets the failure that made it so.
    bool Down(const std::string& server, std::string* text = nullptr) const;
    // Whether the server's last attempt succeeded.
    bool Trusted(const std::string& server) const;
    // Failures since the server's last success.
    int FailuresInRow(const std::string& server) const;
    // Failures reported for the server in the run, those after it went down included.
    int Failures(const std::string& server) const;
    // Slots that may be making their connection to the server at once: any number
    // for a trusted server; else kMaxSlotsPerUntrustedServer, and never more than the
    // failures it still has before it is down, so a server that refuses every
    // connection is asked exactly kFailuresToDown times.
    int ConnectingAllowed(const std::string& server) const;

private:
    struct TServer
    {
        int FailuresInRow = 0;
        int Failures = 0;
        bool Trusted = false;
        bool Down = false;
        std::string Text;
    };

    mutable std::mutex m_mutex;
    std::map<std::string, TServer> m_servers;
};

} // namespace hx
