#pragma once

// THXRateLimit: the bandwidth cap of a task ("Limit Rate"), shared by every
// connection slot of the run. A token bucket: each receive of body bytes draws
// from it, and a slot that overdraws waits until the bucket has filled again, so
// all slots together receive no more than the rate over any stretch of time longer
// than the burst. The owner thread sets the rate when a run starts; transfer
// threads draw from any thread. A wait ends early when the transfer is asked to stop.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

namespace hx
{

class THXRateLimit
{
public:
    using TClock = std::chrono::steady_clock;

    // Bytes per second; 0 (or less) lifts the cap. Any thread.
    void SetRate(std::int64_t bytesPerSecond);
    std::int64_t Rate() const;

    // Takes `bytes` just received and waits while the bucket is overdrawn. Returns
    // false when `stopped` turned true during the wait. Any thread.
    bool Take(std::int64_t bytes, const std::function<bool()>& stopped);
    // The most bytes one receive should ask for while a cap is set: small pieces
    // keep the slots' turns fair and the measured rate smooth.
    std::size_t ReceiveBlock(std::size_t wanted) const;

private:
    // How long the bucket's content lasts: the burst a slot may take at once.
    static constexpr std::chrono::milliseconds kBurst{100};

    // The wait the bucket asks of a receive that leaves it at `level` bytes (negative: overdrawn).
    std::chrono::nanoseconds WaitFor(double level) const;
    void Refill(TClock::time_point now);

    mutable std::mutex m_mutex;
    std::int64_t m_rate = 0;
    double m_level = 0;
    TClock::time_point m_filled{};
};

} // namespace hx
