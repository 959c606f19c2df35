// The chart's memory of readings: gaps, runs where the clock went back, the log's readings
// ahead of this run's, and the bound with its thinning.
#include "chart/reading_history.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kv {
namespace {

constexpr int64_t Base = 1'700'000'000'000;  // ms
const RomCode RomA = {0x28, 0x2C, 0x1B, 0x5A, 0x04, 0x00, 0x00, 0x84};
const RomCode RomB = {0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};

std::vector<HistorySeries> Snapshot(const ReadingHistory& history) {
    std::vector<HistorySeries> copy;
    history.Read([&](const std::vector<HistorySeries>& all) { copy = all; });
    return copy;
}

// Seconds after the base of the readings of a run, -1 for a gap.
std::vector<int> Shape(const HistoryRun& run) {
    std::vector<int> shape;
    for (const HistoryPoint& p : run) shape.push_back(p.isGap() ? -1 : p.tenths / 10);
    return shape;
}

TEST(ReadingHistory, APauseLongerThanTheUsualSpacingIsAGapAndAnIntervalChangeIsNot) {
    ReadingHistory history(Base);
    // The log's whole seconds: one or two apart for a one-second interval.
    for (int s : {0, 1, 3, 4, 5, 7}) history.Add(RomA, Base + s * 1000, 20, 0);
    history.Add(RomA, Base + 15'000, 21, 0);  // eight seconds without a reading
    history.Add(RomA, Base + 16'000, 21, 0);
    // The user sets ten seconds: the expected spacing says so, and no gap is drawn.
    history.Add(RomA, Base + 26'000, 22, 10'000);
    history.Add(RomA, Base + 36'000, 22, 10'000);
    history.Add(RomA, Base + 100'000, 22, 10'000);  // then a real pause
    const auto all = Snapshot(history);
    ASSERT_EQ(1u, all.size());
    ASSERT_EQ(1u, all[0].runs.size());
    EXPECT_EQ((std::vector<int>{0, 1, 3, 4, 5, 7, -1, 15, 16, 26, 36, -1, 100}),
              Shape(all[0].runs[0]));
    EXPECT_EQ(history.BaseMs() + 100'000,
              history.ToMs(all[0].runs[0].back().tenths));  // tenths of a second from the base
}

TEST(ReadingHistory, TheLogsReadingsTellTheirOwnSpacing) {
    // Ten seconds apart, as the log has them, with no interval to go by: one line, and a gap
    // where three readings are missing; the first reading long before the rest stands apart.
    ReadingHistory history(Base);
    std::map<RomCode, std::vector<LoadedReading>> loaded;
    loaded[RomA].push_back({Base + 0, 20});
    for (int s : {3600, 3610, 3620, 3630, 3670, 3680})
        loaded[RomA].push_back({Base + s * 1000, 21});
    loaded[RomB] = {{Base + 10'000, 5}, {Base + 20'000, 5}, {Base + 30'000, 5}};
    history.AddLoaded(loaded);
    const auto all = Snapshot(history);
    EXPECT_EQ((std::vector<int>{10, 20, 30}), Shape(all[0].runs[0]));
    EXPECT_EQ((std::vector<int>{0, -1, 3600, 3610, 3620, 3630, -1, 3670, 3680}),
              Shape(all[1].runs[0]));

    // The log's interval went from a second to a minute: one gap, then one line again.
    ReadingHistory longer(Base);
    std::map<RomCode, std::vector<LoadedReading>> slower;
    for (int s : {0, 1, 2, 3, 63, 123, 183}) slower[RomA].push_back({Base + s * 1000, 20});
    longer.AddLoaded(slower);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, -1, 63, 123, 183}), Shape(Snapshot(longer)[0].runs[0]));
}

TEST(ReadingHistory, AClockSetBackStartsANewRunAndTheLogComesBeforeThisRun) {
    ReadingHistory history(Base);
    history.Add(RomA, Base + 3'600'000, 20, 0);
    history.Add(RomA, Base + 3'601'000, 21, 0);
    const uint64_t before = history.Version();
    history.Add(RomA, Base + 3'000'000, 22, 0);  // the system clock went back ten minutes
    history.Add(RomA, Base + 3'001'000, 23, 0);
    EXPECT_GT(history.Version(), before);
    auto all = Snapshot(history);
    ASSERT_EQ(2u, all[0].runs.size());
    EXPECT_EQ((std::vector<int>{3600, 3601}), Shape(all[0].runs[0]));
    EXPECT_EQ((std::vector<int>{3000, 3001}), Shape(all[0].runs[1]));

    // The log, read later: readings up to an hour before, its clock going back once, and a
    // sensor this run does not have. They go before this run's readings.
    std::map<RomCode, std::vector<LoadedReading>> loaded;
    loaded[RomA] = {{Base + 100'000, 18},
                    {Base + 101'000, 18},
                    {Base + 50'000, 17},
                    {Base + 51'000, 17},
                    {Base + 3'599'000, 19}};
    loaded[RomB] = {{Base - 1'000, 30}, {Base + 1'000, 30}};  // one before the base is refused
    history.AddLoaded(loaded);
    all = Snapshot(history);
    ASSERT_EQ(2u, all.size());
    // Sorted as the table writes ROM codes: family 10 before family 28.
    EXPECT_EQ(RomB, all[0].rom);
    EXPECT_EQ((std::vector<int>{1}), Shape(all[0].runs[0]));
    ASSERT_EQ(3u, all[1].runs.size());
    EXPECT_EQ((std::vector<int>{100, 101}), Shape(all[1].runs[0]));
    // After the log's own step back, its last reading joins this run's first (one second
    // apart), the run after the system clock's step stays apart.
    EXPECT_EQ((std::vector<int>{50, 51, -1, 3599, 3600, 3601}), Shape(all[1].runs[1]));
    EXPECT_EQ((std::vector<int>{3000, 3001}), Shape(all[1].runs[2]));
    EXPECT_EQ(11u, history.PointCount());  // gaps take a point each
}

TEST(ReadingHistory, AFullSeriesIsThinnedKeepingEveryExtremeAndTheNewestReadings) {
    ReadingHistory history(Base);
    history.SetInterval(100);  // two days at one in 100 s are less than the least kept
    EXPECT_EQ(MinimumCapacity, history.Capacity());
    history.SetInterval(1);
    EXPECT_EQ(2 * 86'400u, history.Capacity());
    history.SetInterval(100);
    const int total = 3 * int(MinimumCapacity);
    for (int i = 0; i < total; ++i) {
        float celsius = 20 + float(i % 7) / 10;
        if (i == 100) celsius = 80;           // an early spike
        if (i == 101) celsius = -30;          // and its opposite right after it
        if (i >= 1500 && i < 1530) continue;  // half a minute without a reading: a gap
        history.Add(RomA, Base + i * 1000, celsius, 1'000);
    }
    const auto all = Snapshot(history);
    const HistoryRun& run = all[0].runs[0];
    EXPECT_LT(run.size(), MinimumCapacity);
    EXPECT_GT(run.size(), MinimumCapacity / 2);
    // In time order, the gap still there, both extremes kept, the newest readings whole.
    EXPECT_TRUE(std::is_sorted(run.begin(), run.end(),
                               [](auto& a, auto& b) { return a.tenths < b.tenths; }));
    EXPECT_EQ(1, std::count_if(run.begin(), run.end(), [](auto& p) { return p.isGap(); }));
    auto has = [&](float c) {
        return std::any_of(run.begin(), run.end(), [&](auto& p) { return p.celsius == c; });
    };
    EXPECT_TRUE(has(80));
    EXPECT_TRUE(has(-30));
    for (int back = 1; back <= 100; ++back)
        EXPECT_EQ((total - back) * 10, run[run.size() - size_t(back)].tenths);
}

TEST(ReadingHistory, ThinningMakesFourReadingsTheirExtremesAndLeavesGapsAlone) {
    const float gap = std::numeric_limits<float>::quiet_NaN();
    HistoryRun run;
    for (auto [t, c] : std::vector<std::pair<int, float>>{
             {0, 5}, {1, 9}, {2, 1}, {3, 6}, {4, 7}, {4, gap}, {9, 3}, {10, 4}, {11, 2}, {12, 8}})
        run.push_back({t, c});
    ThinHistory(run, run.size());
    std::vector<float> values;
    for (auto& p : run) values.push_back(p.isGap() ? -1 : p.celsius);
    // 5 9 1 6 → 9 1 (the high came first); 7 alone; gap; 3 4 2 8 → 2 8.
    EXPECT_EQ((std::vector<float>{9, 1, 7, -1, 2, 8}), values);
}

TEST(ReadingHistory, SensorsBeyondTheLastKeptAreNotTracked) {
    ReadingHistory history(Base);
    for (size_t i = 0; i < MaximumSeries + 3; ++i) {
        RomCode rom = RomA;
        rom[1] = static_cast<uint8_t>(i);
        rom[2] = static_cast<uint8_t>(i >> 8);
        history.Add(rom, Base + 1000, 20, 0);
    }
    EXPECT_EQ(MaximumSeries, Snapshot(history).size());
    history.Add(RomA, Base - 1, 20, 0);  // before the base
    history.Add(RomA, Base + 2000, std::numeric_limits<float>::quiet_NaN(), 0);
    EXPECT_EQ(MaximumSeries, history.PointCount());
}

}  // namespace
}  // namespace kv
