// The log at a glance: bounded however long, every extreme kept in its stretch, the line broken
// where a sensor fell silent, readings out of order placed where they belong.
#include "chart/log_overview.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kv {
namespace {

constexpr int64_t Start = 1'700'000'000'000;  // ms
constexpr int64_t Minute = 60'000, Day = 86'400'000;
const RomCode RomA = {0x28, 0x2C, 0x1B, 0x5A, 0x04, 0x00, 0x00, 0x84};
const RomCode RomB = {0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};

int Breaks(const std::vector<LoadedReading>& readings) {
    int breaks = 0;
    for (const LoadedReading& r : readings) breaks += std::isnan(r.celsius);
    return breaks;
}

TEST(LogOverview, ThreeMonthsOfReadingsKeepTheirExtremesInBoundedStretches) {
    LogOverview overview;
    // A reading a minute for 90 days, a cold spike on day 40, a hot one on day 70, and ten
    // silent hours on day 50.
    float lowest = 100, highest = -100;
    for (int64_t t = Start; t < Start + 90 * Day; t += Minute) {
        if (t >= Start + 50 * Day && t < Start + 50 * Day + 10 * 3'600'000) continue;
        float celsius = 20 + 3 * std::sin(double(t - Start) / Day * 6.283);
        if (t == Start + 40 * Day) celsius = -7.5f;
        if (t == Start + 70 * Day + Minute) celsius = 41.25f;
        lowest = std::min(lowest, celsius);
        highest = std::max(highest, celsius);
        overview.Add(RomA, t, celsius);
    }
    const auto readings = overview.Readings().at(RomA);
    // Two points a stretch at most; at least half the stretches in use.
    EXPECT_LE(readings.size(), size_t(2 * OverviewColumns + 1));
    EXPECT_LE(overview.StretchMs(), 90 * Day / (OverviewColumns / 2));
    float low = 100, high = -100;
    int64_t last = 0;
    for (const LoadedReading& r : readings) {
        EXPECT_GE(r.instantMs, last) << "in time order";
        last = r.instantMs;
        if (std::isnan(r.celsius)) continue;
        low = std::min(low, r.celsius);
        high = std::max(high, r.celsius);
    }
    EXPECT_EQ(lowest, low);
    EXPECT_EQ(highest, high);
    // The spikes keep their own times.
    auto at = [&](float celsius) {
        for (const LoadedReading& r : readings)
            if (r.celsius == celsius) return r.instantMs;
        return int64_t(0);
    };
    EXPECT_EQ(Start + 40 * Day, at(-7.5f));
    EXPECT_EQ(Start + 70 * Day + Minute, at(41.25f));
    EXPECT_EQ(1, Breaks(readings)) << "the ten silent hours, and nothing else";
}

TEST(LogOverview, ALongerIntervalBreaksTheLineOnceAndEarlierReadingsFindTheirPlace) {
    LogOverview overview;
    for (int64_t t = 0; t < 600; ++t) overview.Add(RomA, Start + t * 1000, 20);
    // The interval set to a minute: one break, then one line again.
    for (int64_t m = 11; m < 200; ++m) overview.Add(RomA, Start + m * Minute, 21);
    // B's readings come with a clock set back: a day before the first of A's.
    overview.Add(RomB, Start - Day, 5);
    overview.Add(RomB, Start - Day + Minute, 6);
    const auto all = overview.Readings();
    EXPECT_EQ(1, Breaks(all.at(RomA)));
    const auto& b = all.at(RomB);
    ASSERT_EQ(2u, b.size());
    EXPECT_EQ(Start - Day, b[0].instantMs);
    EXPECT_EQ(6, b[1].celsius);
    EXPECT_EQ(20, all.at(RomA).front().celsius);
    EXPECT_EQ(Start, all.at(RomA).front().instantMs);
}

}  // namespace
}  // namespace kv
