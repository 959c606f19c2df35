#include "runtime/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kv {
namespace {

// Digits a double is expanded to before the cut at the last printed decimal. Rounding
// happens on this digit string, not on the binary value, so ties go away from zero.
constexpr int SignificantDigits = 17;
// No float has significant digits past about 10^-62; beyond that only zeros could be printed.
// The cap keeps an absurd request from allocating gigabytes of zeros.
constexpr int MaxDecimals = 1000;

constexpr char16_t HexDigits[] = u"0123456789ABCDEF";

}  // namespace

std::u16string FloatToText(float value, int decimals) {
    if (std::isnan(value)) return u"NaN";
    if (std::isinf(value)) return value > 0 ? u"+Infinity" : u"-Infinity";
    decimals = std::clamp(decimals, 0, MaxDecimals);

    const double wide = value == 0.0f ? 0.0 : static_cast<double>(value);
    const bool negative = wide < 0;

    // "d.dddddddddddddddde±xxx": the 17 most significant digits and the decimal exponent.
    char expanded[64];
    std::snprintf(expanded, sizeof expanded, "%.*e", SignificantDigits - 1, std::fabs(wide));
    std::string digits;
    const char* p = expanded;
    for (; *p != 'e'; ++p) {
        if (*p != '.') digits.push_back(*p);
    }
    const int exponent = std::atoi(p + 1);

    // Digits kept: those in front of the point plus the requested decimals. The digit string
    // scaled by 10^decimals is an integer whose last digit is the last printed decimal.
    const long keep = static_cast<long>(exponent) + 1 + decimals;
    std::string scaled;
    bool roundUp = false;
    if (keep >= 0) {
        for (long i = 0; i < keep; ++i) {
            scaled.push_back(i < SignificantDigits ? digits[i] : '0');
        }
        roundUp = keep < SignificantDigits && digits[keep] >= '5';
    }
    if (wide == 0.0) roundUp = false;
    if (roundUp) {
        long i = static_cast<long>(scaled.size()) - 1;
        for (; i >= 0 && scaled[i] == '9'; --i) scaled[i] = '0';
        if (i >= 0) {
            ++scaled[i];
        } else {
            scaled.insert(scaled.begin(), '1');
        }
    }
    // At least one digit before the point.
    if (scaled.size() < static_cast<size_t>(decimals) + 1) {
        scaled.insert(scaled.begin(), decimals + 1 - scaled.size(), '0');
    }
    const size_t integerDigits = scaled.size() - decimals;
    // The integer part may carry leading zeros only from the padding above; strip any extra.
    size_t start = 0;
    while (start + 1 < integerDigits && scaled[start] == '0') ++start;

    std::u16string text;
    if (negative) text.push_back(u'-');
    for (size_t i = start; i < integerDigits; ++i) text.push_back(static_cast<char16_t>(scaled[i]));
    if (decimals > 0) {
        text.push_back(u'.');
        for (size_t i = integerDigits; i < scaled.size(); ++i) {
            text.push_back(static_cast<char16_t>(scaled[i]));
        }
    }
    return text;
}

std::u16string HexText(uint64_t value) {
    std::u16string digits;
    do {
        digits.push_back(HexDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::u16string PadLeft(std::u16string_view text, int width, std::u16string_view fill) {
    const size_t target = width < 0 ? 0 : static_cast<size_t>(width);
    if (text.size() >= target) return std::u16string(text.substr(0, target));
    const char16_t filler = fill.empty() ? u' ' : fill.front();
    std::u16string padded(target - text.size(), filler);
    padded.append(text);
    return padded;
}

void ReplaceInPlace(std::u16string& text, std::u16string_view search,
                    std::u16string_view replacement) {
    // An empty piece matches everywhere and would never advance.
    if (search.empty()) return;
    size_t at = text.find(search);
    while (at != std::u16string::npos) {
        text.replace(at, search.size(), replacement);
        at = text.find(search, at + replacement.size());
    }
}

}  // namespace kv
