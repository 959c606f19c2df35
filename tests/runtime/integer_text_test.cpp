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

TEST(ParseWholeInteger, ASignedNumberWithSpacesAroundIsTaken) {
    EXPECT_EQ(Whole("0"), 0);
    EXPECT_EQ(Whole("42"), 42);
    EXPECT_EQ(Whole("-7"), -7);
    EXPECT_EQ(Whole("+7"), 7);
    EXPECT_EQ(Whole("-0"), 0);
    EXPECT_EQ(Whole("  12  "), 12);
    EXPECT_EQ(Whole(" -3"), -3);
    EXPECT_EQ(Whole("007"), 7);
}

TEST(ParseWholeInteger, AnythingButOneNumberIsRefused) {
    for (const char* text : {"", " ", "+", "-", "+-1", "--1", "- 5", "1 2", "1.5", "1,5", "12a",
                             "a12", "0x10", "1e3", "\t5", "5\n", "five"}) {
        EXPECT_EQ(Whole(text), std::nullopt) << '"' << text << '"';
    }
    // A text cut at its first zero byte would read as 1.
    EXPECT_EQ(Whole(std::string("1\0"
                                "2",
                                3)),
              std::nullopt);
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
    EXPECT_EQ(Whole("2147483647"), INT32_MAX);
    EXPECT_EQ(Whole("-2147483648"), INT32_MIN);
    EXPECT_EQ(Whole("2147483648"), std::nullopt);
    EXPECT_EQ(Whole("-2147483649"), std::nullopt);

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
    EXPECT_EQ(Whole("-" + std::string(400, '9'), Int64Min, Int64Max), std::nullopt);
    EXPECT_EQ(Whole(std::string(400, '0') + "1", Int64Min, Int64Max), 1);
}

TEST(ParseLeadingInteger, ReadsTheNumberAtTheStartAsAtoiDoes) {
    EXPECT_EQ(ParseLeadingInteger("12"), 12);
    EXPECT_EQ(ParseLeadingInteger("12abc"), 12);
    EXPECT_EQ(ParseLeadingInteger("1.9"), 1);
    EXPECT_EQ(ParseLeadingInteger("  -3 "), -3);
    EXPECT_EQ(ParseLeadingInteger("+8"), 8);
    EXPECT_EQ(ParseLeadingInteger("\t\n\v\f\r 7"), 7);
    EXPECT_EQ(ParseLeadingInteger("5 6"), 5);
    EXPECT_EQ(ParseLeadingInteger("0x1F"), 0);
    for (const char* text : {"", " ", "abc", "+", "-", "- 5", "+-1",
                             "\xC2\xA0"
                             "5"}) {
        EXPECT_EQ(ParseLeadingInteger(text), 0) << '"' << text << '"';
    }
}

TEST(ParseLeadingInteger, BeyondThirtyTwoBitsSaturatesInsteadOfWrapping) {
    EXPECT_EQ(ParseLeadingInteger("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger("2147483648"), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger("4294967297"), INT32_MAX);  // 2^32 + 1 wraps to 1
    EXPECT_EQ(ParseLeadingInteger("99999999999"), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger(std::string(400, '9')), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseLeadingInteger("-2147483649"), INT32_MIN);
    EXPECT_EQ(ParseLeadingInteger("-" + std::string(400, '9')), INT32_MIN);
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
