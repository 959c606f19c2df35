// The body of the program's only worker thread: a bus session (session/bus_session.h) on
// the chosen port, driven from the window's request flags, and drawn into the window: the
// table's cells and colours, the status line, and every sound reading handed to the log.
#pragma once
#include <atomic>
#include <cstdint>

#include "session/bus_session.h"
#include "session/session_statistics.h"

namespace kv {

inline constexpr int32_t SleepsPerSecond = 1000 / LoopSleepMs;
inline constexpr int32_t ReSearchAfterIdle = 10;  // idle iterations before a new bus attempt
// A search nobody asked for that is reckoned to hold the readings back for longer than this
// many intervals is shown in the status line.
inline constexpr int32_t HeldIntervals = 2;

// The parameter is not used; returns 0 once StopRequested is seen at the end of an iteration.
int MonitorWorker(intptr_t parameter);

// The totals of the worker's session, and the readings it handed to the event log. Written
// by the worker; any thread may read them (the soak tool, the tests, the chart).
struct WorkerStatistics : SessionStatistics {
    std::atomic<uint64_t> logRecords{0};
};
const WorkerStatistics& MonitorWorkerStatistics();
void MonitorWorkerStatisticsReset();

}  // namespace kv
