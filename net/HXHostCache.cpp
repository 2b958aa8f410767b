#include "net/HXHostCache.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace hx
{

namespace
{

using TClock = std::chrono::steady_clock;

// Longest host name worth asking about (the limit of a DNS name).
constexpr std::size_t kMaxHostNameBytes = 253;
// How often a socket waiting for a lookup that has not started yet looks again.
constexpr auto kQueuedLookupStep = std::chrono::milliseconds(100);

bool IsNumericAddress(const std::string& host)
{
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

THostAnswer Failed(int code)
{
    THostAnswer answer;
    answer.State = THostAnswer::TState::Failed;
    answer.Lookup.ErrorCode = code;
    answer.Text = SocketErrorText(code);
    return answer;
}

} // namespace

struct THXHostCache::TShared : std::enable_shared_from_this<THXHostCache::TShared>
{
    struct TEntry
    {
        THostAnswer Answer;
        // The lookup running for the host (0: none yet, or given up).
        std::uint64_t Ticket = 0;
        TClock::time_point Deadline{};
    };

    std::mutex Mutex;
    std::condition_variable Settled;
    THostResolver Resolver = ResolveHostName;
    std::chrono::milliseconds TimeOut{std::chrono::seconds(30)};
    // Held while the settled handler runs, so replacing it waits for a call in progress.
    std::mutex HandlerMutex;
    std::function<void()> OnSettled; // guarded by HandlerMutex
    std::unordered_map<std::string, TEntry> Hosts;
    // Hosts whose lookup waits for a free lookup thread, in the order asked.
    std::deque<std::string> Waiting;
    int Running = 0;
    std::uint64_t NextTicket = 1;
    std::int64_t Lookups = 0;
    bool Ending = false;

    // The host's entry, its lookup started or queued when it is new.
    TEntry& EntryLocked(const std::string& key)
    {
        auto [found, added] = Hosts.try_emplace(key);
        if (!added)
            return found->second;
        if (key.size() > kMaxHostNameBytes)
            found->second.Answer = Failed(kSockHostNotFound);
        else
        {
            Waiting.push_back(key);
            StartWaitingLocked();
        }
        return found->second;
    }

    void StartWaitingLocked()
    {
        while (Running < kMaxLookupThreads && !Waiting.empty() && !Ending)
        {
            const std::string key = std::move(Waiting.front());
            Waiting.pop_front();
            const auto found = Hosts.find(key);
            if (found == Hosts.end() || found->second.Answer.State != THostAnswer::TState::Pending)
                continue;
            TEntry& entry = found->second;
            entry.Ticket = NextTicket++;
            entry.Deadline = TClock::now() + TimeOut;
            ++Running;
            ++Lookups;
            StartLookupLocked(key, entry.Ticket);
        }
    }

    void StartLookupLocked(const std::string& key, std::uint64_t ticket);
    // Waits for the host's answer (Resolve of the cache).
    THostLookup Resolve(const std::string& key);
    // The lookup with the ticket ended with the result; false when it had been
    // given up (or the cache forgotten) and nobody waits for it.
    bool Finish(const std::string& key, std::uint64_t ticket, THostLookup result);
    // A lookup past its deadline fails with the time-out's text.
    void ExpireLocked(TEntry& entry)
    {
        if (entry.Answer.State != THostAnswer::TState::Pending || entry.Ticket == 0 || TClock::now() < entry.Deadline)
            return;
        entry.Answer = Failed(kErrTimedOut);
        entry.Ticket = 0;
        --Running;
        StartWaitingLocked();
        Settled.notify_all();
    }
};

void THXHostCache::TShared::StartLookupLocked(const std::string& key, std::uint64_t ticket)
{
    try
    {
        // The thread holds the shared state, never the cache: it may outlive both
        // the cache and the run that asked.
        std::thread(
            [shared = shared_from_this(), resolver = Resolver, key, ticket]
            {
                THostLookup result;
                try
                {
                    result = resolver(key);
                }
                catch (...)
                {
                    result.ErrorCode = 11003;
                }
                if (result.ErrorCode == 0 && result.Addresses.empty())
                    result.ErrorCode = 11004;
                if (!shared->Finish(key, ticket, std::move(result)))
                    return;
                const std::lock_guard lock(shared->HandlerMutex);
                if (shared->OnSettled)
                    shared->OnSettled();
            })
            .detach();
    }
    catch (const std::system_error&)
    {
        // No thread to be had: the host fails now rather than never.
        const auto found = Hosts.find(key);
        if (found != Hosts.end())
        {
            found->second.Answer = Failed(11003);
            found->second.Ticket = 0;
        }
        --Running;
    }
}

bool THXHostCache::TShared::Finish(const std::string& key, std::uint64_t ticket, THostLookup result)
{
    const std::lock_guard lock(Mutex);
    const auto found = Hosts.find(key);
    if (found == Hosts.end() || found->second.Ticket != ticket)
        return false;
    TEntry& entry = found->second;
    entry.Ticket = 0;
    --Running;
    if (result.ErrorCode != 0)
        entry.Answer = Failed(result.ErrorCode);
    else
    {
        entry.Answer.State = THostAnswer::TState::Resolved;
        entry.Answer.Lookup = std::move(result);
    }
    StartWaitingLocked();
    Settled.notify_all();
    return !Ending;
}

THostLookup THXHostCache::TShared::Resolve(const std::string& key)
{
    if (IsNumericAddress(key))
        return THostLookup{0, {key}};
    std::unique_lock lock(Mutex);
    for (;;)
    {
        if (Ending)
            return THostLookup{kErrCanceled, {}};
        TEntry& entry = EntryLocked(key);
        ExpireLocked(entry);
        if (entry.Answer.State != THostAnswer::TState::Pending)
            return entry.Answer.Lookup;
        // A running lookup is waited for up to its deadline; a queued one until it
        // starts (or the entry is forgotten by a Reset).
        const TClock::time_point until = entry.Ticket != 0 ? entry.Deadline : TClock::now() + kQueuedLookupStep;
        Settled.wait_until(lock, until);
    }
}

THXHostCache::THXHostCache(THostResolver resolver)
    : m_shared(std::make_shared<TShared>())
{
    SetResolver(std::move(resolver));
}

THXHostCache::~THXHostCache()
{
    SetOnSettled({});
    const std::lock_guard lock(m_shared->Mutex);
    m_shared->Ending = true;
    m_shared->Hosts.clear();
    m_shared->Waiting.clear();
    m_shared->Settled.notify_all();
}

void THXHostCache::SetResolver(THostResolver resolver)
{
    const std::lock_guard lock(m_shared->Mutex);
    m_shared->Resolver = resolver ? std::move(resolver) : THostResolver(ResolveHostName);
}

void THXHostCache::SetTimeOut(std::chrono::milliseconds timeOut)
{
    const std::lock_guard lock(m_shared->Mutex);
    m_shared->TimeOut = std::max(timeOut, std::chrono::milliseconds(1));
}

void THXHostCache::SetOnSettled(std::function<void()> handler)
{
    const std::lock_guard lock(m_shared->HandlerMutex);
    m_shared->OnSettled = std::move(handler);
}

void THXHostCache::Reset()
{
    const std::lock_guard lock(m_shared->Mutex);
    m_shared->Hosts.clear();
    m_shared->Waiting.clear();
    // Lookups in flight find their hosts gone and end without a word.
    m_shared->Running = 0;
    m_shared->Lookups = 0;
    m_shared->Settled.notify_all();
}

std::string THXHostCache::Key(const std::string& host)
{
    std::string key = host;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return key;
}

THostAnswer THXHostCache::Check(const std::string& host)
{
    const std::string key = Key(host);
    if (IsNumericAddress(key))
    {
        THostAnswer answer;
        answer.State = THostAnswer::TState::Resolved;
        answer.Lookup.Addresses.push_back(key);
        return answer;
    }
    const std::lock_guard lock(m_shared->Mutex);
    if (m_shared->Ending)
        return Failed(kErrCanceled);
    TShared::TEntry& entry = m_shared->EntryLocked(key);
    m_shared->ExpireLocked(entry);
    return entry.Answer;
}

bool THXHostCache::LookupFailed(const std::string& host) const
{
    const std::lock_guard lock(m_shared->Mutex);
    const auto found = m_shared->Hosts.find(Key(host));
    return found != m_shared->Hosts.end() && found->second.Answer.State == THostAnswer::TState::Failed;
}

THostLookup THXHostCache::Resolve(const std::string& host)
{
    return m_shared->Resolve(Key(host));
}

THostResolver THXHostCache::SocketResolver() const
{
    // The same waits as Resolve, on the shared state alone.
    return [weak = std::weak_ptr<TShared>(m_shared)](const std::string& host) -> THostLookup
    {
        const std::shared_ptr<TShared> shared = weak.lock();
        if (!shared)
            return THostLookup{kErrCanceled, {}};
        return shared->Resolve(Key(host));
    };
}

std::int64_t THXHostCache::Lookups() const
{
    const std::lock_guard lock(m_shared->Mutex);
    return m_shared->Lookups;
}

} // namespace hx
