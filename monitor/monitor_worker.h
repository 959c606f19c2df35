// The body of the program's only worker thread: it opens the chosen port on request, finds
// the devices, measures them at the set interval and reports to the window and the log.
#pragma once
#include <cstdint>

#include "onewire/thermometer_family.h"

namespace kv {

inline constexpr int32_t LoopSleepMs = 100;  // every wait is cut into sleeps of this length
inline constexpr int32_t ConversionSleeps = FullConversionWaitMs / LoopSleepMs;
inline constexpr int32_t SleepsPerSecond = 10;
inline constexpr int32_t ReSearchAfterIdle = 10;  // idle iterations before a new bus attempt
// A search nobody asked for that is reckoned to hold the readings back for longer than this
// many intervals is shown in the status line.
inline constexpr int32_t HeldIntervals = 2;
// A port change seen while a long run of readings goes on waits at most this long.
inline constexpr int32_t RequestGraceMs = 500;

// The parameter is not used; returns 0 once StopRequested is seen at the end of an iteration.
int MonitorWorker(intptr_t parameter);

}  // namespace kv
