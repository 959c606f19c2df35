#include "runtime/letter_case.h"

#include <gtest/gtest.h>

#include <string>

namespace kv {
namespace {

TEST(FoldCase, EachAlphabetFoldsToItsSmallLettersAtBothEnds) {
    const std::u16string capitals = u"AZÀÞΑΩАЯЀЁЏ";
    const std::u16string small = u"azàþαωаяѐёџ";
    ASSERT_EQ(capitals.size(), small.size());
    for (size_t i = 0; i < capitals.size(); ++i) {
        EXPECT_EQ(FoldCase(capitals[i]), small[i]) << i;
        EXPECT_EQ(FoldCase(small[i]), small[i]) << i;
    }
}

TEST(FoldCase, NeighboursOfTheCapitalRangesStayAsTheyAre) {
    // '@' and '[' border A-Z, × lies among the Latin-1 capitals, ß after them, U+03A2 is
    // the gap where a capital final sigma would be, U+0430 starts the small Cyrillic letters.
    for (const char16_t c : std::u16string(u"@[`{×ßΐ\u03A2ϊ\u0430ѐ\u0460ǅ5 ")) {
        EXPECT_EQ(FoldCase(c), c) << static_cast<int>(c);
    }
}

TEST(FoldCase, FoldingTwiceChangesNothingAndAsciiFoldsAlike) {
    for (uint32_t c = 0; c <= 0xFFFF; ++c) {
        const auto unit = static_cast<char16_t>(c);
        ASSERT_EQ(FoldCase(FoldCase(unit)), FoldCase(unit)) << c;
        if (c < 0x80) {
            ASSERT_EQ(FoldCase(unit), static_cast<char16_t>(FoldAsciiCase(static_cast<char>(c))))
                << c;
        }
    }
}

TEST(FoldAsciiCase, OnlyTheLettersAToZChangeSoUtf8BytesMatchExactly) {
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<char>(b);
        const char expected = b >= 'A' && b <= 'Z' ? static_cast<char>(b + 32) : c;
        EXPECT_EQ(FoldAsciiCase(c), expected) << b;
    }
}

TEST(EqualIgnoringCase, SameLettersInAnyCaseAndNothingElse) {
    EXPECT_TRUE(EqualIgnoringCase(u"COM3", u"com3"));
    EXPECT_TRUE(EqualIgnoringCase(u"ДЕМО", u"демо"));
    EXPECT_TRUE(EqualIgnoringCase(u"", u""));
    EXPECT_FALSE(EqualIgnoringCase(u"COM3", u"COM31"));
    EXPECT_FALSE(EqualIgnoringCase(u"COM3", u"COM4"));
    EXPECT_FALSE(EqualIgnoringCase(u"", u"a"));

    EXPECT_TRUE(EqualIgnoringAsciiCase("Interval", "INTERVAL"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("Interval", "Interva"));
    // "Порт" and "порт" in UTF-8: their bytes differ beyond A-Z, so they are two keys.
    EXPECT_FALSE(EqualIgnoringAsciiCase("\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82",
                                        "\xD0\xBF\xD0\xBE\xD1\x80\xD1\x82"));
    EXPECT_TRUE(EqualIgnoringAsciiCase("A\xD0\x9F", "a\xD0\x9F"));
}

}  // namespace
}  // namespace kv
