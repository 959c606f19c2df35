// ROM search, Match ROM, Skip ROM and the Dallas/Maxim CRC-8.
#pragma once
#include <array>
#include <cstdint>

namespace kv {

using RomCode = std::array<uint8_t, 8>;  // family, serial (LSB first), CRC-8

inline constexpr uint8_t SearchRomCommand = 0xF0;
inline constexpr uint8_t MatchRomCommand = 0x55;
inline constexpr uint8_t SkipRomCommand = 0xCC;
inline constexpr uint8_t ReadRomCommand = 0x33;

int OneWireSearchReset();
int OneWireSearchNext(uint8_t* romOut, int32_t port);
int OneWireMatchRom(const uint8_t* rom, int32_t port);
int OneWireSkipRom(int32_t port);
int OneWireCrc8(const uint8_t* data, int32_t length);  // 0..255, or 0 with BadArgument

}  // namespace kv
