// Numbers as the texts the window, the log and the settings file show.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Fixed point; 17 significant digits, then half away from zero at the last printed decimal.
std::u16string FloatToText(float value, int decimals);
std::u16string HexText(uint64_t value);
std::u16string PadLeft(std::u16string_view text, int width, std::u16string_view fill = u" ");
// Both pieces have the same length; scanning resumes after each replacement.
void ReplaceInPlace(std::u16string& text, std::u16string_view search,
                    std::u16string_view replacement);

}  // namespace kv
