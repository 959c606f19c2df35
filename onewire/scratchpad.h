// The nine bytes a DS18x20 thermometer returns to Read Scratchpad, in bus order: the
// temperature register (bytes 0 and 1), the alarm limits TH and TL, the DS18B20's
// configuration byte, three more, and the CRC-8 of the eight before it.
#pragma once
#include <array>
#include <cstdint>

namespace kv {

inline constexpr int ScratchpadSize = 9;
using Scratchpad = std::array<uint8_t, ScratchpadSize>;
// Scratchpad bytes behind the temperature: the alarm limits and the DS18B20's configuration.
inline constexpr int ScratchpadTh = 2;
inline constexpr int ScratchpadTl = 3;
inline constexpr int ScratchpadConfig = 4;
inline constexpr int MinResolutionBits = 9;
inline constexpr int MaxResolutionBits = 12;

// DS18B20 configuration byte for 9..12 bits, and the bits a configuration byte selects.
uint8_t ResolutionConfig(int bits);
int ResolutionFromConfig(uint8_t config);

}  // namespace kv
