#include "onewire/enumeration.h"

#include <algorithm>

namespace kv {

bool EnumerationIsWhole(const Enumeration& enumeration) {
    return enumeration.end == EnumerationEnd::Complete ||
           enumeration.end == EnumerationEnd::NoDevices;
}

bool OneWireReadsAsLineHeldLow(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace kv
