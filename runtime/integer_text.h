// Whole numbers as text. One digit scanner serves both ways a number is read: strictly, for
// what a person types (a field that takes numbers only), and leniently, for what the settings
// file holds (read as the C library's atoi reads it, which older files were written for).
// Depends on nothing else in the program, so that the window toolkit may use it too.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// The whole text is one decimal integer: spaces around it, an optional sign, at least one
// digit and nothing else. Anything else, or a value outside low..high, gives no number.
std::optional<int64_t> ParseWholeInteger(std::u16string_view text, int64_t low = INT32_MIN,
                                         int64_t high = INT32_MAX);
std::optional<int64_t> ParseWholeInteger(std::string_view text, int64_t low = INT32_MIN,
                                         int64_t high = INT32_MAX);

// The number at the start of the text, as atoi reads it: white space, an optional sign, then
// digits up to the first other character; no digits read as 0. Beyond the 32-bit range the
// value saturates at INT32_MIN / INT32_MAX rather than wraps, so "99999999999" reads as the
// largest value, which range checks then treat as out of range.
int32_t ParseLeadingInteger(std::string_view text);

std::u16string IntegerToText(int64_t value);

}  // namespace kv
