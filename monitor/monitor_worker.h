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
// The bus is searched again after this much running, to find newcomers and drop the gone.
inline constexpr int64_t ReSearchPeriodMs = 60'000;
// A spoiled search is repeated at the next pass end, then after breaks that double from
// this up to ReSearchPeriodMs.
inline constexpr int64_t FirstSpoiledBreakMs = 2'000;
// A port change seen while a long run of readings goes on waits at most this long.
inline constexpr int32_t RequestGraceMs = 500;

// The parameter is not used; returns 0 once StopRequested is seen at the end of an iteration.
int MonitorWorker(intptr_t parameter);

}  // namespace kv
