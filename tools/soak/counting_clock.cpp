#include "tools/soak/counting_clock.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "monitor/monitor_worker.h"

namespace kv::soak {

CountingClock::CountingClock(bool simulated) {
    if (simulated) sim_ = std::make_unique<SimClock>(1'000'000, 5);
}

int64_t CountingClock::nowMicroseconds() {
    if (sim_) return sim_->nowMicroseconds();
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void CountingClock::sleepMilliseconds(int32_t milliseconds) {
    const bool loop = milliseconds == LoopSleepMs;
    const int64_t before = sim_ ? sim_->peekMicroseconds() : nowMicroseconds();
    if (loop && hook_) hook_(before, slept_);
    if (sim_) {
        sim_->sleepMilliseconds(milliseconds);
    } else if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    if (loop) slept_ += (sim_ ? sim_->peekMicroseconds() : nowMicroseconds()) - before;
}

// The bus's waits for an echo that is due: never one of the worker's 100 ms sleeps.
void CountingClock::sleepMicroseconds(int64_t microseconds) {
    if (sim_) {
        sim_->sleepMicroseconds(microseconds);
    } else if (microseconds > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    }
}

long ResidentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    if (!(statm >> pages >> resident)) return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace kv::soak
