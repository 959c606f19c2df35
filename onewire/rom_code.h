// The 64-bit ROM code every 1-Wire device carries, in the order its bytes travel on the bus,
// and its text.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace kv {

inline constexpr int RomBytes = 8;
using RomCode = std::array<uint8_t, RomBytes>;  // family, serial (LSB first), CRC-8

// The ROM code as 16 hexadecimal digits in bus order, family first.
std::string RomCodeHex(const RomCode& rom);

}  // namespace kv
