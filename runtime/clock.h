// Millisecond sleep and monotonic clock of the bus and the worker. Tests replace the
// time source with a simulated clock so that long waits cost no real time.
#pragma once
#include <cstdint>

namespace kv {

void DelayMs(int32_t milliseconds);
// A sleep finer than a millisecond, for waits that know when an echo is due.
void DelayMicroseconds(int64_t microseconds);
int64_t MillisecondClock();
// The same clock in microseconds: the bus measures its echo waits with it, so that a
// limit of n milliseconds is never cut short by the rounding of a millisecond reading.
int64_t MicrosecondClock();
// Milliseconds on a clock that also runs while the machine is suspended, which the clock
// above does not on Linux: for telling how old a measurement is. A test's time source
// stands for both.
int64_t MillisecondClockWithSuspend();

class TimeSource {
  public:
    virtual ~TimeSource() = default;
    // The bus polls its input queue without sleeping unless OptLowCpu is set, reading the
    // clock at every poll: a simulated clock must move a little forward on each reading,
    // or a wait for an echo that never comes would never reach its time limit.
    virtual int64_t nowMicroseconds() = 0;
    virtual void sleepMilliseconds(int32_t milliseconds) = 0;
    // Sources without a finer sleep round up to whole milliseconds.
    virtual void sleepMicroseconds(int64_t microseconds) {
        sleepMilliseconds(static_cast<int32_t>((microseconds + 999) / 1000));
    }
};

// nullptr restores the real clock. Not owned.
void SetTimeSource(TimeSource* source);
TimeSource* CurrentTimeSource();

namespace native {
// The platform's clock that counts suspended time (runtime/posix/, runtime/win32/).
int64_t SuspendCountingMilliseconds();
}  // namespace native

}  // namespace kv
