#include "link/HiResTimer.h"

namespace kelvar {

cHiResTimer::cHiResTimer()
    : hasHiResCounter_(QElapsedTimer::clockType() != QElapsedTimer::SystemTime) {}

void cHiResTimer::StartTimer() {
    timer_.start();
    running_ = true;
}

void cHiResTimer::StopTimer() {
    elapsedNs_ = running_ ? timer_.nsecsElapsed() : 0;
    running_ = false;
}

double cHiResTimer::ElapsedTime() const {
    return static_cast<double>(elapsedNs_) / 1e9;
}

std::uint32_t TickCount() {
    static const QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<std::uint32_t>(origin.elapsed());
}

} // namespace kelvar
