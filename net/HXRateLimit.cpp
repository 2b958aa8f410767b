#include "net/HXRateLimit.h"

#include <algorithm>
#include <thread>

#include "core/HXPacing.h"

namespace hx
{

void THXRateLimit::SetRate(std::int64_t bytesPerSecond)
{
    const std::lock_guard lock(m_mutex);
    m_rate = std::max<std::int64_t>(0, bytesPerSecond);
    // A new cap starts with an empty bucket: nothing was saved up for it.
    m_level = 0;
    m_filled = TClock::now();
}

std::int64_t THXRateLimit::Rate() const
{
    const std::lock_guard lock(m_mutex);
    return m_rate;
}

void THXRateLimit::Refill(TClock::time_point now)
{
    const double seconds = std::chrono::duration<double>(now - m_filled).count();
    m_filled = now;
    const double burst = static_cast<double>(m_rate) * std::chrono::duration<double>(kBurst).count();
    m_level = std::min(burst, m_level + seconds * static_cast<double>(m_rate));
}

std::chrono::nanoseconds THXRateLimit::WaitFor(double level) const
{
    if (level >= 0 || m_rate <= 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(-level / static_cast<double>(m_rate)));
}

bool THXRateLimit::Take(std::int64_t bytes, const std::function<bool()>& stopped)
{
    TClock::time_point until;
    {
        const std::lock_guard lock(m_mutex);
        if (m_rate <= 0 || bytes <= 0)
            return true;
        const TClock::time_point now = TClock::now();
        Refill(now);
        // The bytes are already here: the bucket goes into debt, and the slot waits
        // the debt off before it receives again. Slots that draw meanwhile add to the
        // debt and wait behind it, so the sum stays at the rate.
        m_level -= static_cast<double>(bytes);
        until = now + WaitFor(m_level);
    }
    for (auto now = TClock::now(); now < until; now = TClock::now())
    {
        if (stopped && stopped())
            return false;
        std::this_thread::sleep_for(std::min<TClock::duration>(pacing::kTransferServiceStep, until - now));
    }
    return !(stopped && stopped());
}

std::size_t THXRateLimit::ReceiveBlock(std::size_t wanted) const
{
    const std::lock_guard lock(m_mutex);
    if (m_rate <= 0)
        return wanted;
    // About a twentieth of a second's worth, at least 1 KB.
    const auto piece = static_cast<std::size_t>(std::max<std::int64_t>(1024, m_rate / 20));
    return std::min(wanted, piece);
}

} // namespace hx
