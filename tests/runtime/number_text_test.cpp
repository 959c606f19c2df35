#include "runtime/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "runtime/utf.h"

namespace kv {
namespace {

std::string Text(const std::u16string& text) {
    return Utf8FromUtf16(text);
}

// Fixed-point text of magnitude/10^scale rounded half away from zero to `decimals` places,
// computed on integers only, so it shares nothing with the digit-string rounding under test.
std::string ExactReference(bool negative, int64_t magnitude, int scale, int decimals) {
    int64_t divisor = 1;
    for (int i = decimals; i < scale; ++i) divisor *= 10;
    const int64_t units = (magnitude + divisor / 2) / divisor;
    int64_t unit = 1;
    for (int i = 0; i < decimals; ++i) unit *= 10;
    std::string text = negative ? "-" : "";
    text += std::to_string(units / unit);
    if (decimals > 0) {
        std::string fraction = std::to_string(units % unit);
        text += "." + std::string(decimals - fraction.size(), '0') + fraction;
    }
    return text;
}

TEST(FloatToText, TemperaturesWithOneDecimalRoundTiesAwayFromZero) {
    EXPECT_EQ(Text(FloatToText(21.25f, 1)), "21.3");
    EXPECT_EQ(Text(FloatToText(21.75f, 1)), "21.8");
    EXPECT_EQ(Text(FloatToText(-0.25f, 1)), "-0.3");
    EXPECT_EQ(Text(FloatToText(-10.0625f, 1)), "-10.1");
    EXPECT_EQ(Text(FloatToText(0.0625f, 1)), "0.1");
    EXPECT_EQ(Text(FloatToText(85.0f, 1)), "85.0");
    EXPECT_EQ(Text(FloatToText(125.0f, 1)), "125.0");
    EXPECT_EQ(Text(FloatToText(-55.0f, 1)), "-55.0");
    EXPECT_EQ(Text(FloatToText(9.96f, 1)), "10.0");  // carry into a new digit
    EXPECT_EQ(Text(FloatToText(9.95f, 1)), "9.9");   // held as 9.9499998...
    EXPECT_EQ(Text(FloatToText(-99.96f, 1)), "-100.0");
}

TEST(FloatToText, ZeroSignAndInexactValues) {
    EXPECT_EQ(Text(FloatToText(0.0f, 1)), "0.0");
    EXPECT_EQ(Text(FloatToText(-0.0f, 1)), "0.0");
    EXPECT_EQ(Text(FloatToText(-0.0f, 0)), "0");
    // A negative value keeps its sign even when every printed digit is zero.
    EXPECT_EQ(Text(FloatToText(-0.04f, 1)), "-0.0");
    EXPECT_EQ(Text(FloatToText(0.04f, 1)), "0.0");
    // Single precision holds 21.2 as 21.2000007629...: only the printed digits may show.
    EXPECT_EQ(Text(FloatToText(21.2f, 1)), "21.2");
    EXPECT_EQ(Text(FloatToText(21.2f, 2)), "21.20");
    // Digits beyond the 17th print as zeros.
    EXPECT_EQ(Text(FloatToText(21.2f, 20)), "21.20000076293945300000");
    EXPECT_EQ(Text(FloatToText(2.5f, 0)), "3");
    EXPECT_EQ(Text(FloatToText(-2.5f, 0)), "-3");
    EXPECT_EQ(Text(FloatToText(0.5f, 0)), "1");
    EXPECT_EQ(Text(FloatToText(16777216.0f, 2)), "16777216.00");
    EXPECT_EQ(Text(FloatToText(3.0f, -4)), "3");  // a negative count means no decimals
    EXPECT_EQ(Text(FloatToText(std::numeric_limits<float>::max(), 0)),
              "340282346638528860000000000000000000000");
    EXPECT_EQ(Text(FloatToText(std::numeric_limits<float>::denorm_min(), 1)), "0.0");
}

TEST(FloatToText, InfinitiesAndNaNIgnoreDecimals) {
    const float inf = std::numeric_limits<float>::infinity();
    for (int decimals : {0, 1, 5}) {
        EXPECT_EQ(Text(FloatToText(inf, decimals)), "+Infinity");
        EXPECT_EQ(Text(FloatToText(-inf, decimals)), "-Infinity");
        EXPECT_EQ(Text(FloatToText(std::numeric_limits<float>::quiet_NaN(), decimals)), "NaN");
        EXPECT_EQ(Text(FloatToText(-std::numeric_limits<float>::quiet_NaN(), decimals)), "NaN");
    }
}

TEST(FloatToText, EveryDs18b20ValueMatchesExactDecimalArithmetic) {
    // 12-bit readings: raw / 16, -55 to +127 degrees. raw/16 = raw*625 / 10^4 exactly.
    for (int raw = -880; raw <= 2032; ++raw) {
        const float value = static_cast<float>(raw) / 16.0f;
        const int64_t magnitude = static_cast<int64_t>(raw < 0 ? -raw : raw) * 625;
        for (int decimals : {0, 1, 2, 4}) {
            ASSERT_EQ(Text(FloatToText(value, decimals)),
                      ExactReference(raw < 0, magnitude, 4, decimals))
                << "raw " << raw << ", " << decimals << " decimals";
        }
    }
}

TEST(FloatToText, EveryDs18s20ValueMatchesExactDecimalArithmetic) {
    // 9-bit readings: raw / 2, -55 to +125 degrees. raw/2 = raw*5 / 10 exactly.
    for (int raw = -110; raw <= 250; ++raw) {
        const float value = static_cast<float>(raw) / 2.0f;
        const int64_t magnitude = static_cast<int64_t>(raw < 0 ? -raw : raw) * 5;
        for (int decimals : {0, 1}) {
            ASSERT_EQ(Text(FloatToText(value, decimals)),
                      ExactReference(raw < 0, magnitude, 1, decimals))
                << "raw " << raw << ", " << decimals << " decimals";
        }
    }
}

TEST(HexText, UpperCaseWithoutLeadingZerosAndPaddedBytes) {
    EXPECT_EQ(Text(HexText(0)), "0");
    EXPECT_EQ(Text(HexText(10)), "A");
    EXPECT_EQ(Text(HexText(0xFFFFFFFFFFFFFFFFull)), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Text(HexText(0x1000)), "1000");
    EXPECT_EQ(Text(PadLeft(HexText(0), 2, u"0")), "00");
    EXPECT_EQ(Text(PadLeft(HexText(10), 2, u"0")), "0A");
    EXPECT_EQ(Text(PadLeft(HexText(255), 2, u"0")), "FF");
}

TEST(PadLeft, CutsFillsAndDefaultsToBlank) {
    EXPECT_EQ(Text(PadLeft(u"ABC", 2)), "AB");
    EXPECT_EQ(Text(PadLeft(u"ABC", 5)), "  ABC");
    EXPECT_EQ(Text(PadLeft(u"7", 3, u"xyz")), "xx7");
    EXPECT_EQ(Text(PadLeft(u"7", 3, u"")), "  7");
    EXPECT_EQ(Text(PadLeft(u"ABC", -3, u"0")), "");
    EXPECT_EQ(Text(PadLeft(u"", 0)), "");
}

TEST(ReplaceInPlace, LineBreaksBecomeBlanksAndScanningResumesAfterEachPiece) {
    std::u16string record = u"first\r\nsecond";
    ReplaceInPlace(record, u"\n", u" ");
    ReplaceInPlace(record, u"\r", u" ");
    EXPECT_EQ(Text(record), "first  second");

    std::u16string text = u"aaaa";
    ReplaceInPlace(text, u"aa", u"ab");  // "abab", not a rescan of the piece just written
    EXPECT_EQ(Text(text), "abab");

    std::u16string cased = u"Aa";
    ReplaceInPlace(cased, u"a", u"b");
    EXPECT_EQ(Text(cased), "Ab");

    std::u16string untouched = u"abc";
    ReplaceInPlace(untouched, u"", u"");
    EXPECT_EQ(Text(untouched), "abc");
}

}  // namespace
}  // namespace kv
