// What a 1-Wire line held low (a short, or an unpowered adapter) looks like from the master:
// every bit reads 0, so a search delivers the all-zero ROM code (whose CRC-8 is 0, so it
// passes) and a scratchpad reads as nine zero bytes (CRC-8 0 again, so it passes too).
// No device carries family code 0x00 and no thermometer's configuration byte is 0, so
// either is taken as the line, not as a device or a reading.
#pragma once
#include <algorithm>
#include <cstdint>
#include <span>

namespace kv {

inline bool ReadsAsLineHeldLow(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace kv
