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

// Milliseconds on a monotonic clock, cut to 32 bits as the tick counter of
// the link's state has always been; deadlines do not use it.
std::uint32_t TickCount();

} // namespace kelvar
