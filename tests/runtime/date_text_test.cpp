#include "runtime/date_text.h"

#include <gtest/gtest.h>

#include <ctime>

#include "runtime/utf.h"

namespace kv {
namespace {

constexpr char16_t LogMask[] = u"[%dd/%mm/%yyyy %hh:%ii:%ss]  ";

std::string Text(std::u16string_view mask, DateValue date) {
    return Utf8FromUtf16(DateToText(mask, date));
}

TEST(MakeDate, RangeEndsAndLeapRules) {
    EXPECT_EQ(MakeDate(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(MakeDate(2038, 1, 19, 3, 14, 7), 2147483647);
    EXPECT_EQ(MakeDate(2038, 1, 19, 3, 14, 8), InvalidDate);
    EXPECT_EQ(MakeDate(2038, 1, 20, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2038, 2, 1, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(1969, 12, 31, 23, 59, 59), InvalidDate);
    EXPECT_EQ(MakeDate(2039, 1, 1, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2000, 3, 1, 0, 0, 0), 951868800);  // cross-checked with timegm below

    EXPECT_NE(MakeDate(2016, 2, 29, 0, 0, 0), InvalidDate);
    EXPECT_NE(MakeDate(2000, 2, 29, 0, 0, 0), InvalidDate);  // divisible by 400
    EXPECT_EQ(MakeDate(2015, 2, 29, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(1971, 2, 29, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2016, 2, 30, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 4, 31, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 11, 31, 0, 0, 0), InvalidDate);
    EXPECT_NE(MakeDate(2026, 12, 31, 23, 59, 59), InvalidDate);
}

TEST(MakeDate, FieldsOutsideTheirRangesAreInvalid) {
    EXPECT_EQ(MakeDate(2026, 0, 1, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 13, 1, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 0, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 32, 0, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 1, 24, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 1, -1, 0, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 1, 0, 60, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 1, 0, -1, 0), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 1, 0, 0, 60), InvalidDate);
    EXPECT_EQ(MakeDate(2026, 1, 1, 0, 0, -1), InvalidDate);
    EXPECT_EQ(MakeDate(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN),
              InvalidDate);
    EXPECT_EQ(MakeDate(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX),
              InvalidDate);
}

TEST(DateFields, EveryDayOfTheRangeSplitsBackAndAgreesWithTheCLibrary) {
    // One moment per day from 1970 to 2038, each with a different time of day.
    for (int64_t day = 0; day <= 24855; ++day) {
        const int64_t seconds = day * 86400 + (day * 7919) % 86400;
        if (seconds > 2147483647) break;
        const std::time_t t = static_cast<std::time_t>(seconds);
        const std::tm* calendar = std::gmtime(&t);
        ASSERT_NE(calendar, nullptr);
        const std::tm utc = *calendar;
        const auto date = static_cast<DateValue>(seconds);
        ASSERT_EQ(DateYear(date), utc.tm_year + 1900) << seconds;
        ASSERT_EQ(DateMonth(date), utc.tm_mon + 1) << seconds;
        ASSERT_EQ(DateDay(date), utc.tm_mday) << seconds;
        ASSERT_EQ(DateHour(date), utc.tm_hour) << seconds;
        ASSERT_EQ(DateMinute(date), utc.tm_min) << seconds;
        ASSERT_EQ(DateSecond(date), utc.tm_sec) << seconds;
        ASSERT_EQ(MakeDate(DateYear(date), DateMonth(date), DateDay(date), DateHour(date),
                           DateMinute(date), DateSecond(date)),
                  date);
    }
    for (DateValue invalid : {InvalidDate, -86400}) {
        EXPECT_EQ(DateYear(invalid), 0);
        EXPECT_EQ(DateMonth(invalid), 0);
        EXPECT_EQ(DateDay(invalid), 0);
        EXPECT_EQ(DateHour(invalid), 0);
        EXPECT_EQ(DateMinute(invalid), 0);
        EXPECT_EQ(DateSecond(invalid), 0);
    }
}

TEST(DateToText, TheLogMask) {
    EXPECT_EQ(Text(LogMask, MakeDate(2026, 12, 6, 15, 47, 3)), "[06/12/2026 15:47:03]  ");
    EXPECT_EQ(Text(LogMask, MakeDate(2026, 2, 1, 9, 5, 3)), "[01/02/2026 09:05:03]  ");
    EXPECT_EQ(Text(LogMask, MakeDate(2026, 12, 7, 0, 0, 0)), "[07/12/2026 00:00:00]  ");
    EXPECT_EQ(Text(LogMask, MakeDate(2026, 12, 6, 23, 59, 59)), "[06/12/2026 23:59:59]  ");
    EXPECT_EQ(Text(LogMask, InvalidDate), "[00/00/0000 00:00:00]  ");
    EXPECT_EQ(Text(LogMask, MakeDate(2038, 1, 19, 3, 14, 8)), "[00/00/0000 00:00:00]  ");
}

TEST(DateToText, TokensMatchAsPrefixesIgnoringCase) {
    const DateValue date = MakeDate(2009, 3, 4, 5, 6, 7);
    EXPECT_EQ(Text(u"%YYYY %Yy %Dd %MM %HH %II %SS", date), "2009 09 04 03 05 06 07");
    EXPECT_EQ(Text(u"%yyyyy", date), "2009y");
    EXPECT_EQ(Text(u"%yyy", date), "09y");
    EXPECT_EQ(Text(u"%mmm", date), "03m");
    EXPECT_EQ(Text(u"%yy", InvalidDate), "00");
}

TEST(DateToText, PercentSignsWithoutATokenStay) {
    const DateValue date = MakeDate(2026, 12, 6, 15, 47, 3);
    EXPECT_EQ(Text(u"no tokens here", date), "no tokens here");
    EXPECT_EQ(Text(u"", date), "");
    EXPECT_EQ(Text(u"100%", date), "100%");
    EXPECT_EQ(Text(u"%%dd", date), "%06");
    EXPECT_EQ(Text(u"%x%m%d%", date), "%x%m%d%");
    EXPECT_EQ(Text(u"\u0414\u0430\u0442\u0430: %dd", date), "\xD0\x94\xD0\xB0\xD1\x82\xD0\xB0: 06");
}

TEST(CurrentDate, IsTheLocalWallClock) {
    const std::time_t before = std::time(nullptr);
    const DateValue now = CurrentDate();
    const std::time_t after = std::time(nullptr);
    const std::tm a = *std::localtime(&before);
    const std::tm b = *std::localtime(&after);
    const auto expected = [](const std::tm& t) {
        return MakeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    };
    ASSERT_NE(now, InvalidDate);
    EXPECT_GE(now, expected(a));
    EXPECT_LE(now, expected(b));
}

}  // namespace
}  // namespace kv
