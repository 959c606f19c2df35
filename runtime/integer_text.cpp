#include "runtime/integer_text.h"

#include <algorithm>
#include <limits>

namespace kv {
namespace {

// The magnitude of the most negative 64-bit value, which has no positive counterpart.
constexpr uint64_t Int64MinMagnitude = uint64_t{1} << 63;

template <typename Char>
bool IsDigit(Char c) {
    return c >= Char('0') && c <= Char('9');
}

// The digits from `at` on; the value stops growing at `limit`, so that a run of any length
// cannot wrap, and a caller sees a value beyond its range as exactly `limit`.
template <typename Char>
uint64_t ScanDigits(std::basic_string_view<Char> text, size_t& at, uint64_t limit) {
    uint64_t magnitude = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        const auto digit = static_cast<uint64_t>(text[at] - Char('0'));
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    return magnitude;
}

// A leading '+' or '-'; true for '-'.
template <typename Char>
bool ScanSign(std::basic_string_view<Char> text, size_t& at) {
    if (at >= text.size() || (text[at] != Char('+') && text[at] != Char('-'))) return false;
    return text[at++] == Char('-');
}

template <typename Char>
std::optional<int64_t> ParseWhole(std::basic_string_view<Char> text, int64_t low, int64_t high) {
    size_t at = 0;
    while (at < text.size() && text[at] == Char(' ')) ++at;
    const bool negative = ScanSign(text, at);
    const size_t digitsAt = at;
    // One past the largest magnitude: anything that reaches it is out of every range.
    const uint64_t magnitude = ScanDigits(text, at, Int64MinMagnitude + 1);
    if (at == digitsAt) return std::nullopt;
    while (at < text.size() && text[at] == Char(' ')) ++at;
    if (at != text.size()) return std::nullopt;

    int64_t value = 0;
    if (negative) {
        if (magnitude > Int64MinMagnitude) return std::nullopt;
        value = static_cast<int64_t>(0 - magnitude);  // two's complement: 2^63 is INT64_MIN
    } else {
        if (magnitude > uint64_t{std::numeric_limits<int64_t>::max()}) return std::nullopt;
        value = static_cast<int64_t>(magnitude);
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

// The C library's white space in the "C" locale: space, \t, \n, \v, \f, \r.
bool IsCWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::optional<int64_t> ParseWholeInteger(std::u16string_view text, int64_t low, int64_t high) {
    return ParseWhole(text, low, high);
}

std::optional<int64_t> ParseWholeInteger(std::string_view text, int64_t low, int64_t high) {
    return ParseWhole(text, low, high);
}

int32_t ParseLeadingInteger(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && IsCWhiteSpace(text[at])) ++at;
    const bool negative = ScanSign(text, at);
    constexpr uint64_t MinMagnitude = uint64_t{std::numeric_limits<int32_t>::max()} + 1;
    const uint64_t magnitude = ScanDigits(text, at, MinMagnitude);
    if (negative) return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    return static_cast<int32_t>(std::min(magnitude, MinMagnitude - 1));
}

std::u16string IntegerToText(int64_t value) {
    // Work on the magnitude as unsigned so INT64_MIN needs no special case.
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::u16string digits;
    do {
        digits.push_back(static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits.push_back(u'-');
    std::reverse(digits.begin(), digits.end());
    return digits;
}

}  // namespace kv
