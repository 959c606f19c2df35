#include "onewire/search_schedule.h"

#include <algorithm>

#include "runtime/clock.h"

namespace kv {
namespace {

constexpr int64_t MicrosecondsPerMillisecond = 1'000;
constexpr int64_t PeriodUs = WalkPeriodMs * MicrosecondsPerMillisecond;
constexpr int64_t FirstBreakUs = SpoiledWalkFirstBreakMs * MicrosecondsPerMillisecond;
constexpr int64_t WindowUs = SearchBudgetWindowMs * MicrosecondsPerMillisecond;
constexpr int64_t PercentBase = 100;

// Whether one more step, reckoned at the largest one so far, keeps the walks' steps within
// the share of every window that ends now. Steps are counted whole when any of them lies in
// the window, so that one straddling its start is not left out.
bool WithinBudget(SearchSchedule& schedule) {
    const int64_t spent = OneWireScheduleWindowUs(schedule);
    return (spent + schedule.largestStepUs) * PercentBase <= WindowUs * SearchBudgetPercent;
}

}  // namespace

void OneWireScheduleSearchEnded(SearchSchedule& schedule, bool whole) {
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

void OneWireSchedulePassEnded(SearchSchedule& schedule) {
    if (schedule.passReadings > 0 && schedule.passFailures == schedule.passReadings)
        schedule.asked = true;
    schedule.passReadings = 0;
    schedule.passFailures = 0;
}

bool OneWireScheduleStepDue(SearchSchedule& schedule) {
    const int64_t now = MicrosecondClock();
    const bool wanted = schedule.walking || (now >= schedule.breakUntil &&
                                             (schedule.asked || now >= schedule.periodicAt));
    return wanted && WithinBudget(schedule);
}

void OneWireScheduleStepTaken(SearchSchedule& schedule, int64_t start, int64_t end) {
    schedule.steps.push_back({start, end});
    schedule.largestStepUs = std::max(schedule.largestStepUs, end - start);
}

int64_t OneWireScheduleWindowUs(SearchSchedule& schedule) {
    const int64_t from = MicrosecondClock() - WindowUs;
    while (!schedule.steps.empty() && schedule.steps.front().end <= from)
        schedule.steps.pop_front();
    int64_t spent = 0;
    for (const SearchSchedule::Step& step : schedule.steps) spent += step.end - step.start;
    return spent;
}

int OneWireSearchBetweenPasses(BackgroundSearch& search, const std::vector<RomCode>& listed,
                               int32_t port, int64_t spanMs) {
    SearchSchedule& schedule = search.schedule;
    const int64_t begun = MicrosecondClock();
    while (OneWireScheduleStepDue(schedule)) {
        if (!schedule.walking) {
            EnumerationOptions options;
            options.passRetries = WalkPassRetries;
            OneWireWalkBegin(search.walk, listed, options);
            schedule.walking = true;
            schedule.asked = false;
        }
        const int64_t start = MicrosecondClock();
        const int more = OneWireWalkStep(search.walk, port);
        const int64_t end = MicrosecondClock();
        OneWireScheduleStepTaken(schedule, start, end);
        if (!more) {
            OneWireScheduleSearchEnded(schedule, EnumerationIsWhole(search.walk.found));
            return 1;
        }
        if (end - begun >= spanMs * MicrosecondsPerMillisecond) break;
    }
    return 0;
}

void OneWireSearchAskedEnded(BackgroundSearch& search, bool whole) {
    search.walk.done = true;
    search.schedule.asked = false;
    OneWireScheduleSearchEnded(search.schedule, whole);
}

}  // namespace kv
