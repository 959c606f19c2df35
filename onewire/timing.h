// Millisecond sleep and monotonic clock of the bus and the worker. Tests replace the
// time source with a simulated clock so that long waits cost no real time.
#pragma once
#include <cstdint>

namespace kv {

void DelayMs(int32_t milliseconds);
int64_t MillisecondClock();

class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual int64_t nowMicroseconds() = 0;
    virtual void sleepMilliseconds(int32_t milliseconds) = 0;
    // Called by the bus's busy polls between two looks at the input queue (they do not
    // sleep unless OptLowCpu is set). A simulated clock must let a little time pass here
    // (the cost of one look, a few microseconds), or a wait for an echo that never comes
    // would never reach its time limit.
    virtual void pollPause() {}
};

// nullptr restores the real clock. Not owned.
void SetTimeSource(TimeSource* source);
TimeSource* CurrentTimeSource();

// One busy-poll step: nothing on the real clock, pollPause() on a simulated one.
void PollPause();

}  // namespace kv
