// The text operations the monitor shares: temperature, type names, Russian plurals, and the
// ROM code's text, which the onewire layer keeps for both front ends.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "onewire/rom_code_text.h"  // FormatRomCode, shared with the logger

namespace kv {

// One decimal and " °C".
std::u16string TemperatureText(float celsius);
// Russian count words: one-form for 1, 21, 101; few-form for 2-4, 22-24; many-form else.
std::u16string_view PluralForm(int64_t n, std::u16string_view one, std::u16string_view few,
                               std::u16string_view many);
std::u16string_view DeviceTypeName(uint8_t family);

}  // namespace kv
