#include "onewire/enumerate.h"

#include <algorithm>

#include "onewire/result.h"

namespace kv {
namespace {

bool Listed(const std::vector<RomCode>& codes, const RomCode& rom) {
    return std::find(codes.begin(), codes.end(), rom) != codes.end();
}

enum class Pass { Delivered, Repeated, Failed };

// One OneWireSearchNext, repeated from the search state it started from while it fails
// and retries are left. The end of the enumeration (NoData) is not a failure; a code that
// was delivered before is, since a bit flipped at a discrepancy turns the pass back onto
// an old path.
Pass SearchNextWithRetries(RomCode& rom, int32_t port, const std::vector<RomCode>& listed,
                           int32_t retries, int32_t& repeated) {
    const OneWireThreadState before = OneWireState();
    for (;;) {
        Pass pass = Pass::Failed;
        if (OneWireSearchNext(rom.data(), port) == 1)
            pass = Listed(listed, rom) ? Pass::Repeated : Pass::Delivered;
        const int32_t code = OneWireLastResult();
        if (pass == Pass::Delivered || code == NoData || code == NoOpenPort ||
            code == BadArgument || retries-- <= 0)
            return pass;
        ++repeated;
        // A failed pass may have left half a path in the state; the retry must follow the
        // path of the pass before it, as the failed one was meant to.
        OneWireThreadState& state = OneWireState();
        state.lastDiscrepancy = before.lastDiscrepancy;
        state.lastDeviceFlag = before.lastDeviceFlag;
        state.romCode = before.romCode;
    }
}

}  // namespace

bool EnumerationIsWhole(const Enumeration& enumeration) {
    return enumeration.end == EnumerationEnd::Complete ||
           enumeration.end == EnumerationEnd::NoDevices;
}

Enumeration OneWireEnumerate(int32_t port, const EnumerationOptions& options) {
    Enumeration found;
    OneWireSearchReset();
    RomCode rom{};
    for (;;) {
        if (!found.codes.empty() && options.keepGoing && !options.keepGoing()) {
            found.end = EnumerationEnd::Interrupted;
            break;
        }
        const Pass pass = SearchNextWithRetries(
            rom, port, found.codes, std::max(0, options.passRetries), found.repeatedPasses);
        if (pass == Pass::Failed) {
            const int32_t code = OneWireLastResult();
            if (code == NoData) {
                found.end = EnumerationEnd::Complete;
            } else if (code == NoResponse && found.codes.empty()) {
                found.end = EnumerationEnd::NoDevices;
            } else {
                found.end = EnumerationEnd::BusError;
            }
            break;
        }
        if (OneWireReadsAsLineHeldLow(rom)) {
            found.end = EnumerationEnd::LineHeldLow;
            break;
        }
        if (pass == Pass::Repeated) {
            found.end = EnumerationEnd::RepeatedCode;
            break;
        }
        if (static_cast<int32_t>(found.codes.size()) >= options.limit) {
            found.end = EnumerationEnd::Limit;
            break;
        }
        found.codes.push_back(rom);
    }
    found.result = OneWireLastResult();
    return found;
}

bool OneWireReadsAsLineHeldLow(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace kv
