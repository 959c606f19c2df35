#include "onewire/enumerate.h"

#include <algorithm>

#include "onewire/result.h"
#include "onewire/search_walk.h"

namespace kv {

bool EnumerationIsWhole(const Enumeration& enumeration) {
    return enumeration.end == EnumerationEnd::Complete ||
           enumeration.end == EnumerationEnd::NoDevices;
}

Enumeration OneWireEnumerate(int32_t port, const EnumerationOptions& options) {
    SearchWalk walk;
    OneWireWalkBegin(walk, {}, options);
    for (;;) {
        if (!walk.repeating && !walk.found.codes.empty() && options.keepGoing &&
            !options.keepGoing()) {
            walk.found.end = EnumerationEnd::Interrupted;
            walk.found.result = OneWireLastResult();
            break;
        }
        if (!OneWireWalkStep(walk, port)) break;
    }
    return std::move(walk.found);
}

bool OneWireReadsAsLineHeldLow(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace kv
