#include "runtime/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace kv {
namespace {

std::atomic<TimeSource*> timeSource{nullptr};

}  // namespace

void SetTimeSource(TimeSource* source) {
    timeSource.store(source);
}

TimeSource* CurrentTimeSource() {
    return timeSource.load();
}

void DelayMs(int32_t milliseconds) {
    if (milliseconds < 0) milliseconds = 0;
    if (TimeSource* source = timeSource.load()) {
        source->sleepMilliseconds(milliseconds);
        return;
    }
    // Linux sleeps with high-resolution timers already; nothing to request first.
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void DelayMicroseconds(int64_t microseconds) {
    if (microseconds <= 0) return;
    if (TimeSource* source = timeSource.load()) {
        source->sleepMicroseconds(microseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

int64_t MicrosecondClock() {
    if (TimeSource* source = timeSource.load()) return source->nowMicroseconds();
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(since).count();
}

int64_t MillisecondClock() {
    return MicrosecondClock() / 1000;
}

int64_t MillisecondClockWithSuspend() {
    if (TimeSource* source = timeSource.load()) return source->nowMicroseconds() / 1000;
    return native::SuspendCountingMilliseconds();
}

}  // namespace kv
