// Where a DS18B20 comes from, as published tests of genuine parts and of clone families
// found them: how it converts, what its scratchpad holds, and the pattern of its ROM codes.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/sim_device.h"

namespace kv {

struct SimOrigin {
    const char* name;  // "genuine", "b1", "b2", "c", "d1", "d2", "a2"
    SimPart part;
    // Bytes 1 to 6 of its ROM codes that the origin fixes (where `fixed` is true).
    std::array<uint8_t, 6> romBytes;
    std::array<bool, 6> fixed;
};

const std::vector<SimOrigin>& SimOrigins();
// nullptr for a name that is none of the above.
const SimOrigin* SimFindOrigin(std::string_view name);
// A DS18B20 ROM code (CRC included) with the origin's pattern, the rest from the serial.
RomCode SimOriginRom(const SimOrigin& origin, uint64_t serial);

}  // namespace kv
