// What the worker must never do on a real bus: take a list spoiled by noise for the whole
// bus, log the power-on value as a reading, or keep a list that no longer matches the bus.
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "monitor/monitor_worker.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "runtime/utf.h"
#include "tests/monitor/log_text.h"
#include "tests/monitor/worker_scenarios.h"
#include "ui/toolkit.h"

namespace kv::test {
namespace {

const std::u16string PowerOnText = u"Нет измерения после сброса питания";

// Log lines as "28-...-XX  —  23.6 °C" (timestamps and line ends cut off).
std::vector<std::string> LogRecords(const std::filesystem::path& folder) {
    std::vector<std::string> records;
    std::istringstream in(Unstamped(FileBytes(folder / Utf8FromUtf16(texts::LogFileName))));
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find("<stamp>  ");
        if (at == std::string::npos) continue;
        std::string record = line.substr(at + 9);
        if (!record.empty() && record.back() == '\r') record.pop_back();
        records.push_back(record);
    }
    return records;
}

std::string Record(const RomCode& rom, const char* temperature) {
    return Utf8FromUtf16(FormatRomCode(rom)) + "  \xE2\x80\x94  " + temperature + " \xC2\xB0" + "C";
}

class Reliability : public WorkerTest {
  protected:
    void SetUp() override {
        folder = h.useTempFolder();
        bus = h.addBus(u"BUS1");
        ControlBlock.Log = 1;
        h.choosePort(u"BUS1");
    }
    std::filesystem::path folder;
    std::shared_ptr<SimBus> bus;
};

// A DS18B20 re-plugged after the Convert T answers with its power-on scratchpad: 85.0 °C
// with byte 6 = 0x0C. That is no reading; the next pass reads the sensor as usual.
TEST_F(Reliability, RePlugDuringTheConversionWaitIsNotLoggedAs85) {
    const RomCode steady = B20(0x0100), replugged = B20(0x0200);
    bus->addThermometer(steady, 21.0);
    auto device = bus->addThermometer(replugged, 22.5);
    h.start();
    ASSERT_TRUE(runPasses(1));
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(h.step(3));  // the loop's sleep and two of the conversion wait's
        ASSERT_TRUE(bus->unplug(replugged));
        bus->plug(device);
        const uint64_t ends = MonitorStats.passEnds;
        ASSERT_TRUE(runPasses(ends + 1));
        const int row = rowOf(replugged);
        ASSERT_GE(row, 0);
        EXPECT_EQ(h.cell(row, 4), PowerOnText);
        EXPECT_EQ(h.colour(row, 4), FaultColour);
        EXPECT_EQ(h.cell(row, 3), u"22.5 °C") << "the last reading stays";
        EXPECT_EQ(h.status(),
                  u"Найдено 2 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе");
        ASSERT_TRUE(runPasses(ends + 2));
        EXPECT_EQ(h.cell(row, 4), u"OK");
        EXPECT_EQ(h.colour(row, 4), ui::DefaultColour);
        EXPECT_EQ(h.status(), u"Найдено 2 '1-Wire'  устройства.");
    }
    ASSERT_TRUE(h.stop());
    for (const std::string& record : LogRecords(folder)) {
        EXPECT_EQ(record.find("85.0"), std::string::npos) << record;
    }
    const auto records = LogRecords(folder);
    EXPECT_EQ(std::count(records.begin(), records.end(), Record(replugged, "22.5")), 1 + 6);
}

TEST_F(Reliability, AGenuine85IsLogged) {
    const RomCode hot = B20(0x0300);
    bus->addThermometer(hot, 85.0);
    h.start();
    ASSERT_TRUE(runPasses(2));
    EXPECT_EQ(h.cell(0, 3), u"85.0 °C");
    EXPECT_EQ(h.cell(0, 4), u"OK");
    ASSERT_TRUE(h.stop());
    EXPECT_EQ(LogRecords(folder), std::vector<std::string>(2, Record(hot, "85.0")));
}

// Bit-flip noise while the program starts spoils the search; once it stops, every sensor
// must be found and logged soon, and nothing logged may be wrong.
class NoisyStart : public WorkerTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(NoisyStart, FiveSensorsAreAllLoggedWithin30SecondsOfTheNoiseStopping) {
    const auto folder = h.useTempFolder();
    auto bus = h.addBus(u"BUS1");
    std::map<std::string, std::string> expected;  // ROM text -> the record it must log
    for (uint64_t i = 0; i < 5; ++i) {
        const RomCode rom = B20(0x00C0FFEE0000 + i * 0x0101);
        bus->addThermometer(rom, 20.0 + static_cast<double>(i));
        expected[Utf8FromUtf16(FormatRomCode(rom))] =
            Record(rom, (std::to_string(20 + i) + ".0").c_str());
    }
    bus->setSeed(GetParam());
    bus->setNoise(1e-2);
    ControlBlock.Log = 1;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(h.stepUntil([&] { return h.nowMs() >= 4000; }, 100));
    bus->setNoise(0.0);
    const int64_t quiet = h.nowMs();
    auto allLogged = [&] {
        std::set<std::string> seen;
        for (const std::string& record : LogRecords(folder))
            seen.insert(record.substr(0, record.find("  ")));
        return seen.size() == expected.size();
    };
    ASSERT_TRUE(h.stepUntil(allLogged, 400));
    EXPECT_LE(h.nowMs() - quiet, 30'000);
    EXPECT_EQ(h.rows(), 5);
    ASSERT_TRUE(runPasses(MonitorStats.passEnds + 1));
    EXPECT_EQ(h.status(), u"Найдено 5 '1-Wire'  устройств.");
    ASSERT_TRUE(h.stop());
    for (const std::string& record : LogRecords(folder)) {
        const std::string rom = record.substr(0, record.find("  "));
        ASSERT_EQ(expected.count(rom), 1u) << record;
        EXPECT_EQ(record, expected[rom]);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, NoisyStart, ::testing::Values(3u, 17u, 2026u));

// Sensors come and go on a running bus: one that stops answering is dropped after that
// pass, a newcomer is found by the search made every minute; rows follow the list.
TEST_F(Reliability, ASensorAddedAndOneRemovedWhileRunning) {
    const RomCode a = B20(0x0A00), b = B20(0x0B00), c = B20(0x0C00), late = B20(0x0D00);
    bus->addThermometer(a, 21.0);
    bus->addThermometer(b, 22.0);
    bus->addThermometer(c, 23.0);
    auto newcomer = std::make_shared<SimDevice>(late);
    newcomer->setTemperature(24.0);
    h.start();
    ASSERT_TRUE(runPasses(2));
    ASSERT_EQ(h.status(), u"Найдено 3 '1-Wire'  устройства.");

    ASSERT_TRUE(bus->unplug(b));
    ASSERT_TRUE(runPasses(MonitorStats.passEnds + 2));
    EXPECT_EQ(h.rows(), 2);
    EXPECT_EQ(rowOf(b), -1);
    EXPECT_EQ(h.status(), u"Найдено 2 '1-Wire'  устройства.");
    EXPECT_EQ(MonitorStats.deviceCount, 2);
    for (const RomCode& rom : {a, c}) EXPECT_EQ(h.cell(rowOf(rom), 4), u"OK");

    const int64_t plugged = h.nowMs();
    bus->plug(newcomer);
    ASSERT_TRUE(h.stepUntil([&] { return rowOf(late) >= 0; }, 800));
    EXPECT_LE(h.nowMs() - plugged, 61'000) << "found by the search made every minute";
    ASSERT_TRUE(runPasses(MonitorStats.passEnds + 1));
    EXPECT_EQ(h.rows(), 3);
    EXPECT_EQ(h.status(), u"Найдено 3 '1-Wire'  устройства.");
    // Row i shows the i-th device: each row's temperature is its own device's.
    EXPECT_EQ(h.cell(rowOf(a), 3), u"21.0 °C");
    EXPECT_EQ(h.cell(rowOf(c), 3), u"23.0 °C");
    EXPECT_EQ(h.cell(rowOf(late), 3), u"24.0 °C");
    ASSERT_TRUE(h.stop());
    for (const std::string& record : LogRecords(folder)) {
        EXPECT_EQ(record.find("-0.1"), std::string::npos) << "a missing sensor is no reading";
    }
}

}  // namespace
}  // namespace kv::test
