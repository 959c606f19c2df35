#include "runtime/integer_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "runtime/utf.h"

namespace kv {
namespace {

constexpr int64_t Int64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();

// The strict rule must read narrow and UTF-16 text alike.
std::optional<int64_t> Whole(const std::string& text, int64_t low = INT32_MIN,
                             int64_t high = INT32_MAX) {
    const std::optional<int64_t> narrow = ParseWholeInteger(std::string_view(text), low, high);
    const std::optional<int64_t> wide =
        ParseWholeInteger(std::u16string_view(U16(text)), low, high);
    EXPECT_EQ(narrow, wide) << '"' << text << '"';
    return narrow;
}

// The two rules side by side: what a person types must be one number and nothing else, while
// the settings file's reader takes the number a value starts with.
struct Reading {
    std::string text;
    std::optional<int64_t> whole;
    int32_t leading;
};

TEST(IntegerText, WhatATypedNumberAndASettingsValueReadAs) {
    const Reading readings[] = {
        {"0", 0, 0},
        {"42", 42, 42},
        {"-7", -7, -7},
        {"+7", 7, 7},
        {"-0", 0, 0},
        {"007", 7, 7},
        {"  12  ", 12, 12},
        {" -3", -3, -3},
        {"12abc", std::nullopt, 12},
        {"1.9", std::nullopt, 1},
        {"1e3", std::nullopt, 1},
        {"5 6", std::nullopt, 5},
        {"5\n", std::nullopt, 5},
        {"0x1F", std::nullopt, 0},
        {"\t\n\v\f\r 7", std::nullopt, 7},
        {"", std::nullopt, 0},
        {" ", std::nullopt, 0},
        {"five", std::nullopt, 0},
        {"+", std::nullopt, 0},
        {"-", std::nullopt, 0},
        {"+-1", std::nullopt, 0},
        {"- 5", std::nullopt, 0},
        {"\xC2\xA0"
         "5",
         std::nullopt, 0},  // a no-break space is no white space
        // A text cut at its first zero byte would read as 1.
        {std::string("1\0"
                     "2",
                     3),
         std::nullopt, 1},
        {"2147483647", INT32_MAX, INT32_MAX},
        {"-2147483648", INT32_MIN, INT32_MIN},
        {"2147483648", std::nullopt, INT32_MAX},
        {"-2147483649", std::nullopt, INT32_MIN},
        {"4294967297", std::nullopt, INT32_MAX},  // 2^32 + 1 wraps to 1 in 32 bits
        {"99999999999", std::nullopt, INT32_MAX},
        {std::string(400, '9'), std::nullopt, INT32_MAX},
        {"-" + std::string(400, '9'), std::nullopt, INT32_MIN},
        {std::string(400, '0') + "1", 1, 1},
    };
    for (const Reading& r : readings) {
        EXPECT_EQ(Whole(r.text), r.whole) << '"' << r.text << '"';
        EXPECT_EQ(ParseLeadingInteger(r.text), r.leading) << '"' << r.text << '"';
    }
}

TEST(ParseWholeInteger, UnitsThatLookLikeDigitsWhenNarrowedAreNoDigits) {
    // U+0135 and U+FF15 end in the byte of '5'; Arabic-Indic and full-width digits are
    // digits elsewhere, not in a field for plain numbers.
    for (const char16_t* text : {u"1\u0135", u"\u0135", u"\uFF15", u"\u0663", u"1\u00A0"}) {
        EXPECT_EQ(ParseWholeInteger(std::u16string_view(text)), std::nullopt)
            << Utf8FromUtf16(text);
    }
}

TEST(ParseWholeInteger, TheRangeEndsAreInsideAndOneBeyondIsOut) {
    EXPECT_EQ(Whole("1", 1, 65535), 1);
    EXPECT_EQ(Whole("65535", 1, 65535), 65535);
    EXPECT_EQ(Whole("0", 1, 65535), std::nullopt);
    EXPECT_EQ(Whole("65536", 1, 65535), std::nullopt);
    EXPECT_EQ(Whole("-1", 1, 65535), std::nullopt);
}

TEST(ParseWholeInteger, SixtyFourBitEdgesAndLongerRunsNeverWrap) {
    EXPECT_EQ(Whole("9223372036854775807", Int64Min, Int64Max), Int64Max);
    EXPECT_EQ(Whole("-9223372036854775808", Int64Min, Int64Max), Int64Min);
    EXPECT_EQ(Whole("9223372036854775808", Int64Min, Int64Max), std::nullopt);
    EXPECT_EQ(Whole("-9223372036854775809", Int64Min, Int64Max), std::nullopt);
    // 2^64 and 2^64 + 1 wrap to 0 and 1 in a 64-bit accumulator.
    EXPECT_EQ(Whole("18446744073709551616", Int64Min, Int64Max), std::nullopt);
    EXPECT_EQ(Whole("18446744073709551617", Int64Min, Int64Max), std::nullopt);
    EXPECT_EQ(Whole(std::string(400, '9'), Int64Min, Int64Max), std::nullopt);
}

TEST(IntegerToText, MatchesStandardFormattingAtTheLimits) {
    for (int64_t value : {int64_t{0}, int64_t{7}, int64_t{-1}, int64_t{-2147483648LL},
                          int64_t{4294967296LL}, Int64Max, Int64Min}) {
        EXPECT_EQ(Utf8FromUtf16(IntegerToText(value)), std::to_string(value));
    }
}

TEST(IntegerToText, EveryTextReadsBackAsItsValue) {
    for (int64_t value : {int64_t{0}, int64_t{-9}, int64_t{10}, int64_t{INT32_MAX},
                          int64_t{INT32_MIN}, int64_t{INT32_MIN} - 1, Int64Max, Int64Min}) {
        EXPECT_EQ(ParseWholeInteger(IntegerToText(value), Int64Min, Int64Max), value);
    }
}

}  // namespace
}  // namespace kv
