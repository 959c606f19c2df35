#include "session/search_schedule.h"

#include <algorithm>

#include "runtime/clock.h"

namespace kv {
namespace {

constexpr int64_t MicrosecondsPerMillisecond = 1'000;
constexpr int64_t PeriodUs = WalkPeriodMs * MicrosecondsPerMillisecond;
constexpr int64_t FirstBreakUs = SpoiledWalkFirstBreakMs * MicrosecondsPerMillisecond;
constexpr int64_t WindowUs = SearchBudgetWindowMs * MicrosecondsPerMillisecond;
constexpr int64_t PercentBase = 100;

// A step is reckoned at this many times the largest one so far: on a disturbed line a pass
// may take longer than any before it (blocks read again, a path followed bit by bit).
constexpr int64_t StepReserve = 2;

// Bus time, in microseconds, of the walks' steps that ended within the last budget window.
int64_t WindowSpentUs(SearchSchedule& schedule) {
    const int64_t from = MicrosecondClock() - WindowUs;
    while (!schedule.steps.empty() && schedule.steps.front().end <= from)
        schedule.steps.pop_front();
    int64_t spent = 0;
    for (const SearchSchedule::Step& step : schedule.steps) spent += step.end - step.start;
    return spent;
}

// Whether one more step keeps the walks' steps within the share of the window that ends now.
// Steps are counted whole when any of them lies in the window, so that one straddling its
// start is not left out.
bool WithinBudget(SearchSchedule& schedule) {
    const int64_t spent = WindowSpentUs(schedule);
    return (spent + StepReserve * schedule.largestStepUs) * PercentBase <=
           WindowUs * SearchBudgetPercent;
}

// Whether a step of a walk (the first of a new one, or the next) may be taken now.
bool StepDue(SearchSchedule& schedule) {
    const int64_t now = MicrosecondClock();
    const bool wanted = schedule.walking || (now >= schedule.breakUntil &&
                                             (schedule.asked || now >= schedule.periodicAt));
    return wanted && WithinBudget(schedule);
}

// A step took the bus from start to end (MicrosecondClock times); `expected`: it was a pass
// the walk expected to be one block.
void StepTaken(SearchSchedule& schedule, int64_t start, int64_t end, bool expected) {
    const int64_t took = end - start;
    schedule.steps.push_back({start, end});
    schedule.largestStepUs = std::max(schedule.largestStepUs, took);
    if (expected) {
        schedule.expectedStepUs = took;
    } else {
        schedule.unexpectedStepUs = std::max(schedule.unexpectedStepUs, took);
    }
}

// A search ended, asked for or not: whole (the list is the bus) or spoiled by the line.
void SearchEnded(SearchSchedule& schedule, bool whole) {
    const int64_t now = MicrosecondClock();
    schedule.walking = false;
    if (whole) {
        schedule.spoiledBreakUs = 0;
        schedule.breakUntil = now;
        schedule.periodicAt = now + PeriodUs;
        return;
    }
    schedule.breakUntil = now + schedule.spoiledBreakUs;
    schedule.periodicAt = schedule.breakUntil;  // the list is not known whole: search again
    schedule.spoiledBreakUs =
        std::min(std::max(2 * schedule.spoiledBreakUs, FirstBreakUs), PeriodUs);
}

}  // namespace

void OneWireScheduleReading(SearchSchedule& schedule, const RomCode& rom, bool sound) {
    ++schedule.passReadings;
    if (sound) {
        schedule.failedPasses.erase(rom);
        return;
    }
    ++schedule.passFailures;
    // Once, when the run of failures reaches the count; a sensor that stays silent does not
    // keep asking (the periodic walk still looks for it).
    if (++schedule.failedPasses[rom] == FailedPassesBeforeSearch) schedule.asked = true;
}

void OneWireScheduleAsk(SearchSchedule& schedule) {
    schedule.asked = true;
}

void OneWireSchedulePassEnded(SearchSchedule& schedule) {
    if (schedule.passReadings > 0 && schedule.passFailures == schedule.passReadings)
        schedule.asked = true;
    schedule.passReadings = 0;
    schedule.passFailures = 0;
}

int OneWireSearchBetweenPasses(BackgroundSearch& search, const std::vector<RomCode>& listed,
                               int32_t port, int64_t spanMs, const BeforeSearchStep& beforeStep) {
    SearchSchedule& schedule = search.schedule;
    const int64_t begun = MicrosecondClock();
    const int64_t spanUs = spanMs * MicrosecondsPerMillisecond;
    for (bool first = true; StepDue(schedule); first = false) {
        if (!schedule.walking) {
            EnumerationOptions options;
            options.passRetries = WalkPassRetries;
            OneWireWalkBegin(search.walk, listed, options);
            schedule.walking = true;
            schedule.asked = false;
        }
        const bool expected = OneWireWalkExpectsNext(search.walk);
        const int64_t next = expected ? schedule.expectedStepUs : schedule.unexpectedStepUs;
        const int64_t spent = MicrosecondClock() - begun;
        // Nothing known about a pass that follows the bus bit by bit: it waits to come first.
        if (!first && (spent + next > spanUs || (!expected && next == 0))) break;
        if (beforeStep && !beforeStep(spent, next)) break;
        const int64_t start = MicrosecondClock();
        const int more = OneWireWalkStep(search.walk, port);
        const int64_t end = MicrosecondClock();
        StepTaken(schedule, start, end, expected);
        if (!more) {
            SearchEnded(schedule, EnumerationIsWhole(search.walk.found));
            return 1;
        }
    }
    return 0;
}

void OneWireSearchAskedEnded(BackgroundSearch& search, bool whole) {
    search.walk.done = true;
    search.schedule.asked = false;
    SearchEnded(search.schedule, whole);
}

}  // namespace kv
