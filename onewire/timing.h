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
};

// nullptr restores the real clock. Not owned.
void SetTimeSource(TimeSource* source);
TimeSource* CurrentTimeSource();

}  // namespace kv
