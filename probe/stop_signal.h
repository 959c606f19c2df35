// Ctrl-C and SIGTERM end a repeating run cleanly: the pass under way finishes, the outputs
// are closed, the broker is told the probe is offline.
#pragma once
#include <cstdint>

namespace kv::probe {

void CatchStopSignals();
bool StopRequested();
// What a stop signal does, for a run inside a test; false takes a stop back.
void SetStopRequested(bool stop);
// Sleeps until the deadline of the monotonic millisecond clock, or less when a stop signal
// comes; true when it slept the whole time.
bool SleepUntil(int64_t deadlineMs);
// Sleeps the given milliseconds; false when a stop signal ended the wait early.
bool WaitUnlessStopped(int32_t milliseconds);

}  // namespace kv::probe
