// The text operations the monitor shares: ROM code, temperature, type names, Russian plurals.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "onewire/search.h"

namespace kv {

// "28-0000045A1B2C-84": family, serial number most significant byte first, CRC.
inline constexpr size_t RomTextLength = 18;
std::u16string FormatRomCode(const RomCode& rom);
// One decimal and " °C".
std::u16string TemperatureText(float celsius);
// Russian count words: one-form for 1, 21, 101; few-form for 2-4, 22-24; many-form else.
std::u16string_view PluralForm(int64_t n, std::u16string_view one, std::u16string_view few,
                               std::u16string_view many);
std::u16string_view DeviceTypeName(uint8_t family);

}  // namespace kv
