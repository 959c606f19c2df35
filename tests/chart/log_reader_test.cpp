// Reading the event log back for the chart: the last day is kept, what is no record is
// skipped and counted, and local stamps become instants across summer time.
#include "chart/log_reader.h"

#include <gtest/gtest.h>

#include "monitor/log_line.h"
#include "monitor/sensor_texts.h"
#include "runtime/utf.h"
#include "sim/sim_device.h"
#include "tests/runtime/summer_time_zone.h"
#include "tests/runtime/temp_folder.h"

namespace kv {
namespace {

using test::Utc;

const RomCode RomA = SimMakeRom(0x28, 0x045A1B2C);
const RomCode RomB = SimMakeRom(0x10, 0x045A1B07);

// A record exactly as the log writes it (without the line end).
std::string Record(int64_t localSeconds, const RomCode& rom, float celsius) {
    return Utf8FromUtf16(LogStampText(static_cast<DateValue>(localSeconds)) +
                         LogReadingText(FormatRomCode(rom), celsius));
}

class LogFile : public ::testing::Test {
  protected:
    LogLoad Load(const std::string& bytes, int64_t sinceSeconds, int64_t untilSeconds) {
        testing::WriteBytes(path_, bytes);
        return LoadLog(Utf16FromUtf8(path_), sinceSeconds * 1000, untilSeconds * 1000, zone_,
                       stop_);
    }
    std::vector<int64_t> Seconds(const LogLoad& load, const RomCode& rom) {
        std::vector<int64_t> seconds;
        auto found = load.readings.find(rom);
        if (found != load.readings.end())
            for (const LoadedReading& r : found->second) seconds.push_back(r.instantMs / 1000);
        return seconds;
    }

    testing::TempFolder folder_;
    std::string path_ = folder_.File("DS18B20_Kalorivox.log");
    LocalZone zone_ = test::SummerTimeZone();
    std::atomic<bool> stop_{false};
};

TEST_F(LogFile, KeepsTheLastDaySkipsAndCountsWhatIsNoRecordAndLeavesAnUnfinishedLine) {
    const int64_t now = Utc(2026, 12, 7, 12, 0);  // local 13:00 in winter
    const int64_t local = now + 3600;
    std::string bytes = "\xEF\xBB\xBF";
    bytes += Record(local - 3 * 86400, RomA, 10) + "\r\n";  // older than a day: at a glance
    bytes += Record(local - 600, RomA, 21.5f) + "\r\n";
    bytes += "\r\n";                                                   // an empty record
    bytes += Record(local - 599, RomA, 21.6f).substr(0, 30) + "\r\n";  // cut off by a crash
    bytes += Record(local - 598, RomB, -5) + "\n";                     // LF alone is a line end
    bytes += Record(local - 597, RomA, 200) + "\r\n";                  // no thermometer reads it
    bytes += std::string(3000, 'x') + "\r\n";                          // garbage, too long
    // Enough records to cross the reader's blocks of a megabyte.
    for (int i = 0; i < 25'000; ++i) bytes += Record(local - 590 + i / 100, RomB, 1) + "\r\n";
    bytes += Record(local - 300, RomA, 22.0f).substr(0, 50);  // the worker is still writing it
    const LogLoad load = Load(bytes, now - 86400, now);
    ASSERT_TRUE(load.opened);
    EXPECT_EQ(3, load.skipped);
    EXPECT_EQ(1 + 1 + 1 + 25'000, load.records);
    EXPECT_EQ((std::vector<int64_t>{now - 600}), Seconds(load, RomA));
    const auto older = load.older.Readings();
    ASSERT_EQ(1u, older.size());
    ASSERT_EQ(1u, older.at(RomA).size());
    EXPECT_EQ((now - 3 * 86400) * 1000, older.at(RomA)[0].instantMs);
    EXPECT_FLOAT_EQ(10, older.at(RomA)[0].celsius);
    ASSERT_EQ(25'001u, Seconds(load, RomB).size());
    EXPECT_EQ(now - 598, Seconds(load, RomB).front());
    EXPECT_FLOAT_EQ(-5, load.readings.at(RomB).front().celsius);
    EXPECT_EQ(now - 590 + 249, Seconds(load, RomB).back());

    // No file: nothing, and no failure.
    EXPECT_FALSE(
        LoadLog(Utf16FromUtf8(folder_.File("none.log")), 0, now * 1000, zone_, stop_).opened);
    // Asked to stop: it returns at once with what it had.
    stop_ = true;
    EXPECT_EQ(0, Load(bytes, now - 86400, now).records);
}

TEST_F(LogFile, LocalStampsBecomeInstantsThroughTheRepeatedHourAndAClockSetBack) {
    const auto at = [](int hour, int minute) { return Utc(2026, 10, 25, hour, minute); };
    std::string bytes;
    // Local time on the night summer time ends: 02:00 to 03:00 comes twice.
    for (auto [hour, minute] : {std::pair{1, 50}, {2, 30}, {2, 59}, {2, 10}, {2, 40}, {3, 5}})
        bytes += Record(at(hour, minute), RomA, 15) + "\r\n";
    // Then the clock is set back by an hour and a half: its readings keep their own time.
    bytes += Record(at(1, 40), RomA, 16) + "\r\n";
    // A stamp in the hour the spring change skips cannot be placed.
    bytes += Record(Utc(2026, 3, 29, 2, 30), RomA, 16) + "\r\n";
    const LogLoad load = Load(bytes, Utc(2026, 10, 24, 0, 0), Utc(2026, 10, 26, 0, 0));
    EXPECT_EQ(1, load.skipped);
    // Summer time is UTC+2 up to 01:00 UTC, winter time UTC+1 after it.
    EXPECT_EQ((std::vector<int64_t>{Utc(2026, 10, 24, 23, 50), Utc(2026, 10, 25, 0, 30),
                                    Utc(2026, 10, 25, 0, 59), Utc(2026, 10, 25, 1, 10),
                                    Utc(2026, 10, 25, 1, 40), Utc(2026, 10, 25, 2, 5),
                                    Utc(2026, 10, 24, 23, 40)}),
              Seconds(load, RomA));

    // The history makes the step back a run of its own: no line goes back in time.
    ReadingHistory history(Utc(2026, 10, 24, 0, 0) * 1000);
    history.AddLoaded(load.readings);
    history.Read([](const std::vector<HistorySeries>& all) {
        ASSERT_EQ(1u, all.size());
        EXPECT_EQ(2u, all[0].runs.size());
    });
}

}  // namespace
}  // namespace kv
