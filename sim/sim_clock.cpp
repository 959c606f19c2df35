#include "sim/sim_clock.h"

#include <thread>

namespace kv {

SimClock::SimClock(int64_t startMicroseconds, int64_t stepMicroseconds)
    : now_(startMicroseconds), step_(stepMicroseconds < 0 ? 0 : stepMicroseconds) {}

int64_t SimClock::nowMicroseconds() {
    const int64_t t = now_.fetch_add(step_) + step_;
    if (step_ > 0) moved();
    return t;
}

void SimClock::sleepMilliseconds(int32_t milliseconds) {
    if (milliseconds > 0) slept_.fetch_add(milliseconds);
    sleepMicroseconds(int64_t{milliseconds} * 1000);
}

void SimClock::sleepMicroseconds(int64_t microseconds) {
    // Only sleepMilliseconds counts into sleptMilliseconds, which sums the program's
    // millisecond sleeps; the bus's finer echo waits are not among them.
    if (microseconds > 0) {
        now_.fetch_add(microseconds);
        moved();
    }
    const int64_t pause = realPause_.load();
    if (pause > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
    else
        std::this_thread::yield();
}

void SimClock::advanceMicroseconds(int64_t microseconds) {
    if (microseconds <= 0) return;
    now_.fetch_add(microseconds);
    moved();
}

void SimClock::moved() {
    // Taking the lock orders this notification after a waiter's check of the time.
    { std::lock_guard<std::mutex> lock(mutex_); }
    changed_.notify_all();
}

bool SimClock::waitUntilMicroseconds(int64_t microseconds, std::chrono::milliseconds realTimeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, realTimeout, [&] { return now_.load() >= microseconds; });
}

}  // namespace kv
