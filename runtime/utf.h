// UTF-16 inside the program, UTF-8 in files and at the operating system: the two conversions.
#pragma once
#include <string>
#include <string_view>

namespace kv {

// Invalid UTF-16 (a lone surrogate) becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
// Invalid UTF-8 (bad lead byte, truncated or overlong sequence) becomes U+FFFD per bad byte.
std::u16string Utf16FromUtf8(std::string_view text);
// File names on Linux are bytes that need not be UTF-8 (a folder named in ISO 8859-1, say).
// These two keep such a name intact through UTF-16: each byte that is not part of valid
// UTF-8 travels as the lone surrogate U+DC80-U+DCFF and comes back as the same byte.
std::u16string Utf16FromPathBytes(std::string_view bytes);
std::string PathBytesFromUtf16(std::u16string_view path);
// Convenience for literals and tests: ASCII/UTF-8 narrow text to UTF-16.
inline std::u16string U16(std::string_view utf8) {
    return Utf16FromUtf8(utf8);
}

}  // namespace kv
