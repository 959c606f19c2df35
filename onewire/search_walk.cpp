#include "onewire/search_walk.h"

#include <algorithm>
#include <utility>

namespace kv {
namespace {

void LoadSearch(const OneWireThreadState& from, OneWireThreadState& to) {
    to.lastDiscrepancy = from.lastDiscrepancy;
    to.lastDeviceFlag = from.lastDeviceFlag;
    to.romCode = from.romCode;
}

bool Listed(const std::vector<RomCode>& codes, const RomCode& rom) {
    return std::find(codes.begin(), codes.end(), rom) != codes.end();
}

void End(SearchWalk& walk, EnumerationEnd end) {
    walk.found.end = end;
    walk.found.result = OneWireLastResult();
    walk.done = true;
}

// One pass from the walk's search state, which it then holds again.
int SearchPass(SearchWalk& walk, RomCode& rom, int32_t port) {
    OneWireThreadState& thread = OneWireState();
    LoadSearch(walk.search, thread);
    const int delivered = walk.expected.empty()
                              ? OneWireSearchNext(rom.data(), port)
                              : OneWireSearchNextExpecting(rom.data(), walk.expected, port);
    LoadSearch(thread, walk.search);
    return delivered;
}

// A pass that failed, or delivered a code listed before (a bit flipped at a discrepancy turns
// a pass back onto an old path), is repeated from where it started while retries are left;
// the end of the enumeration (NoData) and a port that is not open are not repeated.
bool Repeat(SearchWalk& walk) {
    const int32_t code = OneWireLastResult();
    if (code == NoData || code == NoOpenPort || code == BadArgument || walk.retriesLeft <= 0)
        return false;
    --walk.retriesLeft;
    ++walk.found.repeatedPasses;
    walk.search = walk.passStart;
    walk.repeating = true;
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
    if (SearchPass(walk, rom, port) != 1) {
        if (Repeat(walk)) return 1;
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
    if (repeated && Repeat(walk)) return 1;
    if (OneWireReadsAsLineHeldLow(rom)) {
        End(walk, EnumerationEnd::LineHeldLow);
    } else if (repeated) {
        End(walk, EnumerationEnd::RepeatedCode);
    } else if (static_cast<int32_t>(walk.found.codes.size()) >= walk.limit) {
        End(walk, EnumerationEnd::Limit);
    } else {
        walk.found.codes.push_back(rom);
        walk.retriesLeft = walk.passRetries;
        // After the last device the search answers NoData without touching the bus: the walk
        // ends in this step rather than in one more.
        if (walk.search.lastDeviceFlag != 0 && SearchPass(walk, rom, port) != 1) {
            End(walk, EnumerationEnd::Complete);
            return 0;
        }
        return 1;
    }
    return 0;
}

}  // namespace kv
