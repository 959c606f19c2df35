// The chart's arithmetic: ticks in local time, the degree axis, the limits band, and the
// thinning of a run to the pixel columns with its extremes and gaps.
#include "chart/chart_model.h"
#include "monitor/limit_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "runtime/utf.h"
#include "tests/runtime/summer_time_zone.h"

namespace kv {
namespace {

using test::Utc;

std::vector<std::string> Labels(const std::vector<TimeTick>& ticks) {
    std::vector<std::string> labels;
    for (const TimeTick& t : ticks) labels.push_back(Utf8FromUtf16(t.label));
    return labels;
}

TimeScale Scale(int64_t startSeconds, int64_t endSeconds, int width) {
    return TimeScale{startSeconds * 1000, endSeconds * 1000, 0, width};
}

TEST(ChartTicks, FollowTheLocalClockAcrossMidnightAndBothChangesOfSummerTime) {
    const LocalZone zone = test::SummerTimeZone();
    // Local 22:00 to 02:00 in winter on 600 pixels, ticks at least 100 apart: every hour,
    // midnight labelled with the date.
    auto ticks = TimeTicks(Scale(Utc(2026, 1, 9, 21, 0), Utc(2026, 1, 10, 1, 0), 600), 100, zone);
    EXPECT_EQ((std::vector<std::string>{"22:00", "23:00", "10.01", "01:00", "02:00"}),
              Labels(ticks));
    EXPECT_EQ(Utc(2026, 1, 9, 23, 0) * 1000, ticks[2].instantMs);
    EXPECT_EQ(300,
              Scale(Utc(2026, 1, 9, 21, 0), Utc(2026, 1, 10, 1, 0), 600).X(ticks[2].instantMs));

    // Spring: local 01:00 to 04:00 is two hours of time; there is no 02:00.
    ticks = TimeTicks(Scale(Utc(2026, 3, 29, 0, 0), Utc(2026, 3, 29, 2, 0), 600), 200, zone);
    EXPECT_EQ((std::vector<std::string>{"01:00", "03:00", "04:00"}), Labels(ticks));

    // Autumn: local 01:00 to 03:00 is three hours of time, 02:00 comes twice, an hour apart.
    ticks = TimeTicks(Scale(Utc(2026, 10, 24, 23, 0), Utc(2026, 10, 25, 2, 0), 600), 200, zone);
    EXPECT_EQ((std::vector<std::string>{"01:00", "02:00", "02:00", "03:00"}), Labels(ticks));
    EXPECT_EQ(Utc(2026, 10, 25, 1, 0) - Utc(2026, 10, 25, 0, 0),
              (ticks[2].instantMs - ticks[1].instantMs) / 1000);

    // Ten minutes on 600 pixels: a minute apart; one minute on 600 pixels: seconds.
    ticks = TimeTicks(Scale(Utc(2026, 1, 9, 11, 0), Utc(2026, 1, 9, 11, 10), 600), 50, zone);
    EXPECT_EQ(11u, ticks.size());
    EXPECT_EQ("12:05", Labels(ticks)[5]);
    ticks = TimeTicks(Scale(Utc(2026, 1, 9, 11, 0), Utc(2026, 1, 9, 11, 1), 600), 60, zone);
    EXPECT_EQ("12:00:10", Labels(ticks)[1]);
    // Three days on 300 pixels: one tick a day, at local midnight.
    ticks = TimeTicks(Scale(Utc(2026, 1, 9, 11, 0), Utc(2026, 1, 12, 11, 0), 300), 60, zone);
    EXPECT_EQ((std::vector<std::string>{"10.01", "11.01", "12.01"}), Labels(ticks));
}

TEST(ChartAxis, NiceStepsHoldTheDataAndAFlatRangeIsOpened) {
    ValueAxis axis = NiceValueAxis(21.3, 23.8, 300, 30);
    EXPECT_LE(axis.low, 21.3);
    EXPECT_GE(axis.high, 23.8);
    EXPECT_DOUBLE_EQ(0.5, axis.step);
    EXPECT_EQ(1, axis.decimals);
    axis = NiceValueAxis(-20, 85, 300, 30);
    EXPECT_DOUBLE_EQ(20, axis.step);
    EXPECT_EQ(-20, axis.low);
    EXPECT_EQ(100, axis.high);
    EXPECT_EQ(0, axis.decimals);
    axis = NiceValueAxis(22.5, 22.5, 300, 30);  // one reading, or a steady one
    EXPECT_LE(axis.low, 22.0);
    EXPECT_GE(axis.high, 23.0);
    // The scale puts the ends of the axis at the ends of the plot.
    const ValueScale scale{10, 20, 50, 100};
    EXPECT_EQ(150, scale.Y(10));
    EXPECT_EQ(50, scale.Y(20));
    EXPECT_EQ(100, scale.Y(15));
    EXPECT_DOUBLE_EQ(15, scale.Celsius(100));
}

// The band must agree with the table's colouring: a reading inside it is not marked, a
// reading outside it is.
TEST(ChartLimits, TheBandHoldsExactlyTheReadingsTheLimitCheckPasses) {
    for (auto [min, max] : {std::pair{20, 22}, {-10, 5}, {-30, -5}, {0, 0}, {-1, 1}}) {
        const LimitBand band = LimitsBand(min, max);
        for (int sixteenths = -60 * 16; sixteenths <= 40 * 16; ++sixteenths) {
            const float celsius = sixteenths / 16.0f;
            const bool inBand = celsius >= band.low && celsius <= band.high &&
                                (celsius > band.low || band.low > 0) &&
                                (celsius < band.high || band.high < 0);
            ASSERT_EQ(InsideLimits(celsius, min, max), inBand)
                << min << ".." << max << " at " << celsius;
        }
    }
    // The label's one-decimal edges are the first and the last tenth that pass.
    for (auto [min, max] : {std::pair{20, 22}, {-10, 5}, {-30, -5}, {0, 0}, {-1, 1}}) {
        const LimitTenths edges = PassingTenths(min, max);
        for (int tenths = -600; tenths <= 400; ++tenths)
            ASSERT_EQ(InsideLimits(tenths / 10.0f, min, max),
                      tenths >= edges.lowest && tenths <= edges.highest)
                << min << ".." << max << " at " << tenths;
    }
    EXPECT_EQ(200, PassingTenths(20, 22).lowest);
    EXPECT_EQ(229, PassingTenths(20, 22).highest);
    EXPECT_EQ(-109, PassingTenths(-10, -5).lowest);
    EXPECT_EQ(-50, PassingTenths(-10, -5).highest);
    EXPECT_DOUBLE_EQ(20, LimitsBand(20, 22).low);
    EXPECT_DOUBLE_EQ(23, LimitsBand(20, 22).high);
    EXPECT_DOUBLE_EQ(-11, LimitsBand(-10, -5).low);
    EXPECT_DOUBLE_EQ(-5, LimitsBand(-10, -5).high);
}

HistoryRun MakeRun(const std::vector<std::pair<int32_t, float>>& points) {
    HistoryRun run;
    for (auto [tenths, celsius] : points) run.push_back({tenths, celsius});
    return run;
}

TEST(ChartThinning, EveryColumnKeepsItsSmallestAndLargestReadingInTheirOrder) {
    // A day at one reading a second onto 500 columns: 172.8 readings per column.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-3, 3);
    HistoryRun run;
    for (int32_t s = 0; s < 86400; ++s) run.push_back({s * 10, 20 + noise(random)});
    const TimeScale time{0, 86'400'000, 40, 500};
    std::vector<ChartLine> lines;
    ThinRun(run, 0, time, lines);
    ASSERT_EQ(1u, lines.size());
    const ChartLine& line = lines[0];
    EXPECT_LE(line.size(), 2u * 501);
    // Each column's pair is its true minimum and maximum.
    std::vector<float> low(541, 1e9f), high(541, -1e9f);
    for (const HistoryPoint& p : run) {
        const int x = time.X(int64_t(p.tenths) * 100);
        low[x] = std::min(low[x], p.celsius);
        high[x] = std::max(high[x], p.celsius);
    }
    for (size_t i = 0; i + 1 < line.size(); i += 2) {
        ASSERT_EQ(line[i].x, line[i + 1].x);
        EXPECT_EQ(low[line[i].x], std::min(line[i].celsius, line[i + 1].celsius));
        EXPECT_EQ(high[line[i].x], std::max(line[i].celsius, line[i + 1].celsius));
    }
    // The extreme of the whole day survives, in the column it belongs to.
    auto hottest = std::max_element(run.begin(), run.end(),
                                    [](auto& a, auto& b) { return a.celsius < b.celsius; });
    EXPECT_TRUE(std::any_of(line.begin(), line.end(), [&](const ChartPoint& p) {
        return p.celsius == hottest->celsius && p.x == time.X(int64_t(hottest->tenths) * 100);
    }));

    // Within a column, a fall comes out as high then low, a rise as low then high.
    lines.clear();
    ThinRun(MakeRun({{0, 25}, {1, 20}, {2, 22}, {50, 20}, {51, 25}}), 0, TimeScale{0, 10'000, 0, 2},
            lines);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(4u, lines[0].size());
    EXPECT_EQ(25, lines[0][0].celsius);
    EXPECT_EQ(20, lines[0][1].celsius);
    EXPECT_EQ(20, lines[0][2].celsius);
    EXPECT_EQ(25, lines[0][3].celsius);
}

TEST(ChartThinning, AGapEndsTheLineAndTheRangeReachesOneReadingBeyondEachEdge) {
    const float gap = std::numeric_limits<float>::quiet_NaN();
    // Readings at 0..4 s, a gap, 60..64 s; a lone reading after a second gap.
    const HistoryRun run = MakeRun({{0, 20},
                                    {10, 21},
                                    {20, 22},
                                    {30, 21},
                                    {40, 20},
                                    {40, gap},
                                    {600, 25},
                                    {610, 26},
                                    {620, 25},
                                    {620, gap},
                                    {1200, 30}});
    std::vector<ChartLine> lines;
    ThinRun(run, 0, TimeScale{0, 130'000, 0, 130}, lines);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(5u, lines[0].size());
    EXPECT_EQ(0, lines[0].front().x);
    EXPECT_EQ(4, lines[0].back().x);
    EXPECT_EQ(60, lines[1].front().x);
    EXPECT_EQ(62, lines[1].back().x);
    ASSERT_EQ(1u, lines[2].size());
    EXPECT_EQ(120, lines[2][0].x);

    // A window from 2 s to 61 s takes the reading before and after it: the lines start off
    // its left edge and end past 61 s, still split at the gap.
    lines.clear();
    ThinRun(run, 0, TimeScale{2'000, 61'000, 0, 59}, lines);
    ASSERT_EQ(2u, lines.size());
    EXPECT_LT(lines[0].front().x, 0);
    EXPECT_GT(lines[1].back().x, 59);

    // A window between two readings a second apart: the segment between them still shows;
    // one inside a gap, or after the last reading, shows nothing.
    lines.clear();
    ThinRun(run, 0, TimeScale{60'200, 60'800, 0, 30}, lines);
    ASSERT_EQ(1u, lines.size());
    EXPECT_LT(lines[0].front().x, 0);
    EXPECT_GT(lines[0].back().x, 30);
    lines.clear();
    ThinRun(run, 0, TimeScale{20'000, 50'000, 0, 30}, lines);
    ThinRun(run, 0, TimeScale{130'000, 140'000, 0, 10}, lines);
    EXPECT_TRUE(lines.empty());

    // The reading nearest to a time, never across a gap marker, within the reach asked.
    HistoryPoint near;
    ASSERT_TRUE(ReadingNear(run, 0, 2'900, 1'000, near));
    EXPECT_EQ(21, near.celsius);
    EXPECT_FALSE(ReadingNear(run, 0, 30'000, 1'000, near));
    ASSERT_TRUE(ReadingNear(run, 0, 30'000, 30'000, near));
    EXPECT_FALSE(near.isGap());
}

}  // namespace
}  // namespace kv
