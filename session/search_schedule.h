// When to search a bus that nobody asked to be searched, and how much of its time that may
// take. A monitor reads its sensors pass after pass; between two passes it hands the bus to
// a search walk (onewire/search_walk.h) for a few steps when one is due:
// - periodically, to find sensors added since, at most once a walk period after the last
//   search ended;
// - after a search the line spoiled, after a break that doubles with every spoiled search
//   (the first comes at once), up to the walk period;
// - when the readings say the list may be wrong: a sensor that failed passes in a row (each
//   failed pass already a reading tried twice), or a pass in which every reading failed. A
//   lone failed reading asks for nothing.
// Whatever asks, these searches take at most a set share of the bus time over any window of
// a few minutes, so a large bus or a slow adapter only makes them come less often. A search
// the user asked for (at start, on a port change) is never held back and does not count.
// Time is the MicrosecondClock, so a simulated clock drives it in tests.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "onewire/search.h"
#include "onewire/search_walk.h"

namespace kv {

inline constexpr int64_t WalkPeriodMs = 60'000;
inline constexpr int64_t SpoiledWalkFirstBreakMs = 2'000;
inline constexpr int64_t SearchBudgetWindowMs = 180'000;
inline constexpr int64_t SearchBudgetPercent = 5;
inline constexpr int32_t FailedPassesBeforeSearch = 2;
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
    int64_t largestStepUs = 0;  // the longest step so far, for the budget
    // What a step is reckoned to cost against the time between two passes: the last pass
    // that went as expected, the longest one that did not.
    int64_t expectedStepUs = 0;
    int64_t unexpectedStepUs = 0;
    std::map<RomCode, int32_t> failedPasses;  // per sensor, passes failed in a row
    int32_t passReadings = 0;
    int32_t passFailures = 0;
};

// The outcome of one sensor's reading in the current measuring pass, after its retries.
void OneWireScheduleReading(SearchSchedule& schedule, const RomCode& rom, bool sound);
// The measuring pass ended: its readings may ask for a walk.
void OneWireSchedulePassEnded(SearchSchedule& schedule);
// Asks for a walk as failing readings do (say, to confirm a list that a walk just changed).
void OneWireScheduleAsk(SearchSchedule& schedule);

// A walk and its schedule: what a monitor keeps to search its bus between passes.
struct BackgroundSearch {
    SearchSchedule schedule;
    SearchWalk walk;
};

// Asked before each step between two passes, with the microseconds the steps have taken so
// far and what the next one is reckoned to take; false ends the steps for now.
using BeforeSearchStep = std::function<bool(int64_t spentUs, int64_t nextUs)>;

// Between two measuring passes: takes the steps due now while they fit into `spanMs`. The
// first due step is taken whatever its length; each further one when a step like it (one
// the walk expects to be a block, or one it does not) is known to fit into what is left. A
// new walk expects the `listed` codes. Returns 1 when a walk ended in this call (its list and
// how it ended in search.walk.found), else 0.
int OneWireSearchBetweenPasses(BackgroundSearch& search, const std::vector<RomCode>& listed,
                               int32_t port, int64_t spanMs,
                               const BeforeSearchStep& beforeStep = {});
// A search the user asked for has ended (at start, on a port change): a walk under way is
// dropped, and the next one is timed from now.
void OneWireSearchAskedEnded(BackgroundSearch& search, bool whole);

}  // namespace kv
