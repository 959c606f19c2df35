#include "onewire/search_walk.h"

#include <algorithm>
#include <utility>

#include "onewire/result.h"
#include "onewire/search.h"

namespace kv {
namespace {

bool Listed(const std::vector<RomCode>& codes, const RomCode& rom) {
    return std::find(codes.begin(), codes.end(), rom) != codes.end();
}

void End(SearchWalk& walk, EnumerationEnd end) {
    walk.found.end = end;
    walk.found.result = OneWireLastResult();
    walk.done = true;
}

// A pass that failed is repeated from where it started while retries are left; the end of
// the enumeration (NoData) and a port that is not open are not repeated. A pass that
// delivered a code listed before went down the branch the previous pass left for it and
// found nobody there: the discrepancy was a disturbed slot, or the devices behind it have
// left. Repeated from where it started it would do the same again; its own state, which
// leaves that branch out, is kept instead when it moved the search on (its last discrepancy
// lies before the previous one), at the cost of a retry all the same.
bool Repeat(SearchWalk& walk, bool delivered) {
    const int32_t code = OneWireLastResult();
    if (code == NoData || code == NoOpenPort || code == BadArgument || walk.retriesLeft <= 0)
        return false;
    --walk.retriesLeft;
    ++walk.found.repeatedPasses;
    const bool movedOn =
        delivered && (walk.search.lastDeviceFlag != 0 ||
                      walk.search.lastDiscrepancy < walk.passStart.lastDiscrepancy);
    if (!movedOn) walk.search = walk.passStart;
    walk.repeating = !movedOn;
    return true;
}

}  // namespace

void OneWireWalkBegin(SearchWalk& walk, std::vector<RomCode> expected,
                      const EnumerationOptions& options) {
    walk = SearchWalk{};
    walk.done = false;
    walk.expected = std::move(expected);
    walk.limit = options.limit;
    walk.passRetries = std::max(0, options.passRetries);
    walk.retriesLeft = walk.passRetries;
}

int OneWireWalkStep(SearchWalk& walk, int32_t port) {
    if (walk.done) return 0;
    if (!walk.repeating) walk.passStart = walk.search;
    walk.repeating = false;
    RomCode rom{};
    if (OneWireSearchNext(walk.search, rom.data(), port, walk.expected) != 1) {
        if (Repeat(walk, false)) return 1;
        const int32_t code = OneWireLastResult();
        if (code == NoData) {
            End(walk, EnumerationEnd::Complete);
        } else if (code == NoResponse && walk.found.codes.empty()) {
            End(walk, EnumerationEnd::NoDevices);
        } else {
            End(walk, EnumerationEnd::BusError);
        }
        return 0;
    }
    const bool repeated = Listed(walk.found.codes, rom);
    if (repeated && Repeat(walk, true)) return 1;
    if (OneWireReadsAsLineHeldLow(rom)) {
        End(walk, EnumerationEnd::LineHeldLow);
    } else if (repeated) {
        End(walk, EnumerationEnd::RepeatedCode);
    } else if (static_cast<int32_t>(walk.found.codes.size()) >= walk.limit) {
        End(walk, EnumerationEnd::Limit);
    } else {
        walk.found.codes.push_back(rom);
        // A newcomer is expected from now on, so that the passes after it do not take its
        // branch for a disturbance.
        if (!walk.expected.empty() && !Listed(walk.expected, rom)) walk.expected.push_back(rom);
        walk.retriesLeft = walk.passRetries;
        // After the last device the search answers NoData without touching the bus: the walk
        // ends in this step rather than in one more.
        if (walk.search.lastDeviceFlag != 0 &&
            OneWireSearchNext(walk.search, rom.data(), port, walk.expected) != 1) {
            End(walk, EnumerationEnd::Complete);
            return 0;
        }
        return 1;
    }
    return 0;
}

bool OneWireWalkExpectsNext(const SearchWalk& walk) {
    return !walk.expected.empty() && OneWireSearchExpects(walk.search, walk.expected);
}

}  // namespace kv
