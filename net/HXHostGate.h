#pragma once

// THXHostGate: the host delay of the transfers. Every request (HEAD or GET, a
// redirect's included) of every slot to one host passes the gate, which lets it
// start no sooner than the delay after the last request to that host. Any thread;
// a wait ends early when the transfer is asked to stop.

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "core/HXPacing.h"

namespace hx
{

class THXHostGate
{
public:
    void SetDelay(std::chrono::milliseconds delay)
    {
        std::lock_guard lock(m_mutex);
        m_delay = delay;
    }

    // Books the request's start for the host and waits for it; false when `stopped`
    // turned true first.
    bool Pass(const std::string& host, const std::function<bool()>& stopped)
    {
        using TClock = std::chrono::steady_clock;
        TClock::time_point start;
        {
            std::lock_guard lock(m_mutex);
            if (m_delay <= std::chrono::milliseconds(0))
                return true;
            auto& next = m_next[host];
            start = std::max(TClock::now(), next);
            next = start + m_delay;
        }
        for (auto now = TClock::now(); now < start; now = TClock::now())
        {
            if (stopped())
                return false;
            std::this_thread::sleep_for(std::min<TClock::duration>(pacing::kTransferServiceStep, start - now));
        }
        return !stopped();
    }

private:
    std::mutex m_mutex;
    std::chrono::milliseconds m_delay{0};
    std::map<std::string, std::chrono::steady_clock::time_point> m_next;
};

} // namespace hx
