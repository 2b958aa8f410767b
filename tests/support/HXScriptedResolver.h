#pragma once

// A resolver for tests: every host's answer is scripted (addresses or a failure, after
// a delay, or held until the test opens the gate), and every lookup is counted, so a
// test never depends on the machine's resolver. A host without a script is not found.
//
//     TScriptedResolver resolver;
//     resolver.Script("slow.example", THostScript::Failing(kSockHostNotFound, 5s));
//     cache.SetResolver(resolver.Resolver());
//     ...
//     EXPECT_EQ(resolver.Lookups("slow.example"), 1);

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/agsocket.h"

namespace hx::test
{

struct THostScript
{
    // How long the lookup takes (ended early when the gate opens, for a held host).
    std::chrono::milliseconds Delay{0};
    int ErrorCode = 0;
    std::vector<std::string> Addresses;
    // The lookup waits for OpenGate (or the delay, whichever comes first).
    bool Held = false;

    // Answered with the addresses after the delay (or the open gate, when held).
    static THostScript Found(std::vector<std::string> addresses, std::chrono::milliseconds delay = {},
                             bool held = false)
    {
        THostScript script;
        script.Addresses = std::move(addresses);
        script.Delay = delay;
        script.Held = held;
        return script;
    }
    // Fails with the socket code after the delay (or the open gate, when held).
    static THostScript Failing(int code, std::chrono::milliseconds delay = {}, bool held = false)
    {
        THostScript script;
        script.ErrorCode = code;
        script.Delay = delay;
        script.Held = held;
        return script;
    }
};

class TScriptedResolver
{
public:
    void Script(const std::string& host, THostScript script)
    {
        const std::lock_guard lock(m_state->Mutex);
        m_state->Scripts[host] = std::move(script);
    }
    // Lets held lookups answer.
    void OpenGate()
    {
        {
            const std::lock_guard lock(m_state->Mutex);
            m_state->GateOpen = true;
        }
        m_state->Changed.notify_all();
    }
    int Lookups(const std::string& host) const
    {
        const std::lock_guard lock(m_state->Mutex);
        const auto found = m_state->Counts.find(host);
        return found == m_state->Counts.end() ? 0 : found->second;
    }
    int Lookups() const
    {
        const std::lock_guard lock(m_state->Mutex);
        int total = 0;
        for (const auto& [host, count] : m_state->Counts)
            total += count;
        return total;
    }
    // Lookups that are running now.
    int Running() const
    {
        const std::lock_guard lock(m_state->Mutex);
        return m_state->Running;
    }

    // The resolver itself; it holds the script, not this object.
    THostResolver Resolver() const
    {
        return [state = m_state](const std::string& host)
        {
            std::unique_lock lock(state->Mutex);
            ++state->Counts[host];
            ++state->Running;
            const auto found = state->Scripts.find(host);
            THostScript script;
            if (found != state->Scripts.end())
                script = found->second;
            else
                script.ErrorCode = kSockHostNotFound;
            state->Changed.wait_for(lock, script.Delay, [&] { return script.Held && state->GateOpen; });
            --state->Running;
            return THostLookup{script.ErrorCode, script.Addresses};
        };
    }

private:
    struct TState
    {
        mutable std::mutex Mutex;
        std::condition_variable Changed;
        std::map<std::string, THostScript> Scripts;
        std::map<std::string, int> Counts;
        int Running = 0;
        bool GateOpen = false;
    };
    std::shared_ptr<TState> m_state = std::make_shared<TState>();
};

} // namespace hx::test
