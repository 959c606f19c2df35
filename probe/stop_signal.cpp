#include "probe/stop_signal.h"

#include <algorithm>
#include <csignal>

#include "runtime/clock.h"

namespace kv::probe {
namespace {

// A signal is noticed within this time while the probe waits between passes.
constexpr int32_t SleepSliceMs = 100;

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int) {
    stopSignal = 1;
}

}  // namespace

void CatchStopSignals() {
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() {
    return stopSignal != 0;
}

void SetStopRequested(bool stop) {
    stopSignal = stop ? 1 : 0;
}

bool SleepUntil(int64_t deadlineMs) {
    for (;;) {
        if (StopRequested()) return false;
        const int64_t left = deadlineMs - MillisecondClock();
        if (left <= 0) return true;
        DelayMs(static_cast<int32_t>(std::min<int64_t>(left, SleepSliceMs)));
    }
}

bool WaitUnlessStopped(int32_t milliseconds) {
    return SleepUntil(MillisecondClock() + milliseconds);
}

}  // namespace kv::probe
