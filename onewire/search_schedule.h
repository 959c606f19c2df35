// When to search a bus that nobody asked to be searched, and how much of its time that may
// take. A monitor reads its sensors pass after pass; between two passes it hands the bus to
// a search walk (onewire/search_walk.h) for a few steps when one is due:
// - periodically, to find sensors added since, at most once a walk period after the last
//   search ended;
// - after a search the line spoiled, after a break that doubles with every spoiled search
//   (the first comes at once), up to the walk period;
// - when the readings say the list may be wrong: a sensor that failed several passes in a
//   row, or a pass in which every reading failed. A lone failed reading asks for nothing.
// Whatever asks, these searches take at most a set share of the bus time over any window of
// a few minutes, so a large bus or a slow adapter only makes them come less often. A search
// the user asked for (at start, on a port change) is never held back and does not count.
// Time is the MicrosecondClock, so a simulated clock drives it in tests.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "onewire/search.h"
#include "onewire/search_walk.h"

namespace kv {

inline constexpr int64_t WalkPeriodMs = 60'000;
inline constexpr int64_t SpoiledWalkFirstBreakMs = 2'000;
inline constexpr int64_t SearchBudgetWindowMs = 180'000;
inline constexpr int64_t SearchBudgetPercent = 5;
inline constexpr int32_t FailedPassesBeforeSearch = 3;
// A failed pass of a walk is repeated this many times from where it started.
inline constexpr int32_t WalkPassRetries = 3;

struct SearchSchedule {
    // MicrosecondClock times and lengths.
    int64_t periodicAt = 0;  // from which a periodic walk is due
    int64_t breakUntil = 0;  // no walk starts before this (after a spoiled search)
    int64_t spoiledBreakUs = 0;
    bool asked = false;    // the readings asked for a walk
    bool walking = false;  // a walk is under way
    struct Step {
        int64_t start, end;
    };
    std::deque<Step> steps;     // the walks' steps that ended within the budget window
    int64_t largestStepUs = 0;  // what the next step is reckoned to cost
    std::map<RomCode, int32_t> failedPasses;  // per sensor, passes failed in a row
    int32_t passReadings = 0;
    int32_t passFailures = 0;
};

// A search ended, asked for or not: whole (the list is the bus) or spoiled by the line.
void OneWireScheduleSearchEnded(SearchSchedule& schedule, bool whole);
// The outcome of one sensor's reading in the current measuring pass, after its retries.
void OneWireScheduleReading(SearchSchedule& schedule, const RomCode& rom, bool sound);
// The measuring pass ended: its readings may ask for a walk.
void OneWireSchedulePassEnded(SearchSchedule& schedule);
// Whether a step of a walk (the first of a new one, or the next) may be taken now.
bool OneWireScheduleStepDue(SearchSchedule& schedule);
// A step took the bus from start to end (MicrosecondClock times).
void OneWireScheduleStepTaken(SearchSchedule& schedule, int64_t start, int64_t end);
// Bus time, in microseconds, of the walks' steps that ended within the last budget window.
int64_t OneWireScheduleWindowUs(SearchSchedule& schedule);

// A walk and its schedule: what a monitor keeps to search its bus between passes.
struct BackgroundSearch {
    SearchSchedule schedule;
    SearchWalk walk;
};

// Between two measuring passes: takes the steps due now, for about `spanMs` of bus time at
// most (a step under way is finished; the first due step is taken whatever its length). A
// new walk expects the `listed` codes. Returns 1 when a walk ended in this call (its list and
// how it ended in search.walk.found), else 0.
int OneWireSearchBetweenPasses(BackgroundSearch& search, const std::vector<RomCode>& listed,
                               int32_t port, int64_t spanMs);
// A search the user asked for has ended (at start, on a port change): a walk under way is
// dropped, and the next one is timed from now.
void OneWireSearchAskedEnded(BackgroundSearch& search, bool whole);

}  // namespace kv
