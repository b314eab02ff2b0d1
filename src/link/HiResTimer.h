#pragma once

#include <QElapsedTimer>
#include <cstdint>

namespace kelvar {

// A stopwatch over the monotonic high-resolution clock.
class cHiResTimer {
public:
    cHiResTimer();

    void StartTimer();
    // Replaces the start mark by the time elapsed since it.
    void StopTimer();
    // Seconds measured by the last StopTimer.
    double ElapsedTime() const;
    bool HasHiResCounter() const { return hasHiResCounter_; }

private:
    QElapsedTimer timer_;
    std::int64_t elapsedNs_ = 0;
    bool running_ = false;
    bool hasHiResCounter_;
};

// Milliseconds on a monotonic clock, cut to 32 bits: the value wraps, so
// compare ticks only with TickReached.
std::uint32_t TickCount();

// True when `now` has reached `deadline`, also across a wrap of the counter
// (valid while the two lie less than 2^31 ms apart).
constexpr bool TickReached(std::uint32_t now, std::uint32_t deadline) {
    return static_cast<std::int32_t>(now - deadline) >= 0;
}

} // namespace kelvar
