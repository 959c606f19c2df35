// The ROM code as people read it, one form for every front end: the family, the 48-bit
// serial number most significant byte first, the CRC, e.g. "28-0417A3C41EFF-50". The window's
// table, its log and chart, and the logger's output, names and labels all write it so.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "onewire/rom_code.h"

namespace kv {

// Characters of the form: 2 + 1 + 12 + 1 + 2.
inline constexpr size_t RomTextLength = 18;

// "28-0417A3C41EFF-50" (UTF-8) for the logger and files.
std::string RomCodeText(const RomCode& rom);
// The same text in UTF-16, for the window.
std::u16string FormatRomCode(const RomCode& rom);
// Reads a ROM code in that form or as 16 hexadecimal digits in bus order (family first,
// "28FF1EC4A3170450"), either letter case; nothing for any other text. The CRC is not checked.
std::optional<RomCode> ParseRomCodeText(std::string_view text);

}  // namespace kv
