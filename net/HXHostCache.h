#pragma once

// THXHostCache: the host names of one run, each looked up once. The dispatcher asks
// (Check) before it hands an item to a slot: the first question starts the lookup
// on a lookup thread of the cache's own and the item waits, without a slot, while
// items of other hosts go on. Every later question about the host, from the
// dispatcher or from a slot's socket (Resolve), shares that lookup and then its
// answer. Answers and failures are kept until Reset (the next run), so a host that
// does not resolve costs one lookup, not one per item.
//
// Lookups are the system's (getaddrinfo, through the resolver seam), at most
// kMaxLookupThreads at a time, each bounded by the time-out: a lookup that takes
// longer fails with the time-out's text, and its thread finishes on its own, its
// answer dropped.
//
// Threads: every operation may be called from any thread. The settled handler runs
// on a lookup thread, or on the thread that finds a lookup overdue.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/agsocket.h"

namespace hx
{

// Lookups that may run at once; more wait for one of them to end. A resolver that
// drops the queries for names it cannot answer makes each such lookup last its whole
// time-out, so the hosts of a page wait in as many rounds as they outnumber the
// lookups: enough for the foreign hosts of a typical site to go in one round, while
// each lookup is only a sleeping thread.
inline constexpr int kMaxLookupThreads = 32;

// What the cache knows of a host now.
struct THostAnswer
{
    enum class TState
    {
        Pending,
        Resolved,
        Failed
    };
    TState State = TState::Pending;
    // Resolved: ErrorCode 0 and the addresses; Failed: the socket code.
    THostLookup Lookup;
    // Failed: the code's message ("[11001] Host not found", "Operation timed out").
    std::string Text;
};

class THXHostCache
{
public:
    explicit THXHostCache(THostResolver resolver = ResolveHostName);
    // Lookups still running finish on their own; their answers are dropped, and a
    // socket still waiting on one gets a cancel's failure.
    ~THXHostCache();
    THXHostCache(const THXHostCache&) = delete;
    THXHostCache& operator=(const THXHostCache&) = delete;

    // The resolver of the lookups started from now on (empty: the system's).
    void SetResolver(THostResolver resolver);
    // How long one lookup may take (the "Connect Time Out").
    void SetTimeOut(std::chrono::milliseconds timeOut);
    // Called whenever a host's lookup has settled (the dispatcher wakes up). Once it
    // has returned, the previous handler is no longer called.
    void SetOnSettled(std::function<void()> handler);
    // Forgets every host (a new run). Lookups in flight finish unheard.
    void Reset();

    // The answer known now, without waiting; starts the host's lookup when there
    // has been none. A numeric address is resolved at once, without a lookup.
    THostAnswer Check(const std::string& host);
    // Whether the host's lookup has failed in this run (kept until Reset); starts no
    // lookup.
    bool LookupFailed(const std::string& host) const;
    // Waits for the host's answer, starting or sharing its lookup.
    THostLookup Resolve(const std::string& host);
    // A resolver for the sockets of the slots: Resolve of this cache. It holds the
    // cache's state, not the cache, so a socket's lookup thread may outlive it.
    THostResolver SocketResolver() const;
    // Lookups started since the last Reset.
    std::int64_t Lookups() const;

    // The form a host name is kept under: lower case.
    static std::string Key(const std::string& host);

private:
    struct TShared;
    std::shared_ptr<TShared> m_shared;
};

} // namespace hx
