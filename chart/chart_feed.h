// Where the chart's readings come from: the sound readings of this run as the worker takes
// them, with the worker's word on sensors gone and back, and the event log, read in the
// background at start (its last day whole, the rest at a glance).
#pragma once
#include <cstdint>
#include <string_view>

#include "chart/reading_history.h"
#include "onewire/search.h"

namespace kv {

// The readings of this run and those read back from the log; lives as long as the program.
ReadingHistory& ChartHistory();

// Start-up state: no readings, the log not read yet (a reading of the log still running is
// stopped first), and the readings the worker hands to its sink (monitor/reading_sink.h)
// taken from now on.
void ChartFeedReset();

// A sound reading of this run, taken now. Any thread.
void ChartTakeReading(const RomCode& rom, float celsius);
// The worker found the sensor gone (false) or answering again (true). Any thread.
void ChartSensorAnswering(const RomCode& rom, bool answering);
// How far apart one sensor's readings are meant to be at the current settings.
int64_t ChartExpectedSpacingMs();

// Called, on the thread that added them (the worker's, the log reader's), after readings were
// added; nullptr for none. It must return at once: posting an event is what it is for.
void ChartSetNotify(void (*notify)());

// Reads the log at `path` in the background, once.
void ChartLoadStart(std::u16string_view path);
// Asks the background reading to stop and waits at most `limitMs` for it.
void ChartLoadStop(uint32_t limitMs);

struct ChartLoadState {
    bool finished = false;  // also when there was no log
    bool opened = false;
    int64_t records = 0;
    int64_t skipped = 0;
};
ChartLoadState ChartLoadProgress();

// Milliseconds since 1970-01-01 UTC.
int64_t ChartNowMs();

}  // namespace kv
