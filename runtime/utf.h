// UTF-16 inside the program, UTF-8 in files and at the operating system: the two conversions.
#pragma once
#include <string>
#include <string_view>

namespace kv {

// Invalid UTF-16 (a lone surrogate) becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
// Invalid UTF-8 (bad lead byte, truncated or overlong sequence) becomes U+FFFD per bad byte.
std::u16string Utf16FromUtf8(std::string_view text);
// Convenience for literals and tests: ASCII/UTF-8 narrow text to UTF-16.
inline std::u16string U16(std::string_view utf8) { return Utf16FromUtf8(utf8); }

}  // namespace kv
