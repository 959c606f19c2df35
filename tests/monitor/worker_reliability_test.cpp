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

// "Не отвечает с 06/12 14:05": the status of a sensor that stopped answering.
bool SaysNotAnsweringSince(const std::u16string& text) {
    const std::u16string head = u"Не отвечает с ";
    const std::u16string shape = u"00/00 00:00";
    if (text.size() != head.size() + shape.size() || text.rfind(head, 0) != 0) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const char16_t c = text[head.size() + i];
        if (shape[i] == u'0' ? (c < u'0' || c > u'9') : c != shape[i]) return false;
    }
    return true;
}

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

// A sensor re-plugged after the Convert T answers with its power-on scratchpad: 85.0 °C with
// byte 6 = 0x0C, which a DS18S20 also gives for a measured 85.0. It is converted again at
// once and read, so the pass shows and logs its true value.
TEST_F(Reliability, RePlugDuringTheConversionWaitIsConfirmedNotLoggedAs85) {
    const RomCode steady = B20(0x0100), b20 = B20(0x0200), s20 = S20(0x0300);
    bus->addThermometer(steady, 21.0);
    const std::shared_ptr<SimDevice> replugged[] = {bus->addThermometer(b20, 22.5),
                                                    bus->addThermometer(s20, 23.5)};
    h.start();
    ASSERT_TRUE(runPasses(1));
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(h.step(3));  // the loop's sleep and two of the conversion wait's
        for (const auto& device : replugged) {
            ASSERT_TRUE(bus->unplug(device->rom()));
            bus->plug(device);
        }
        ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
        EXPECT_EQ(h.cell(rowOf(b20), 3), u"22.5 °C");
        EXPECT_EQ(h.cell(rowOf(s20), 3), u"23.5 °C");
        for (const RomCode& rom : {b20, s20}) EXPECT_EQ(h.cell(rowOf(rom), 4), u"OK");
        EXPECT_EQ(h.status(), u"Найдено 3 '1-Wire'  устройства.");
    }
    ASSERT_TRUE(h.stop());
    const auto records = LogRecords(folder);
    for (const std::string& record : records) EXPECT_EQ(record.find("85.0"), std::string::npos);
    EXPECT_EQ(std::count(records.begin(), records.end(), Record(b20, "22.5")), 1 + 6);
    EXPECT_EQ(std::count(records.begin(), records.end(), Record(s20, "23.5")), 1 + 6);
    EXPECT_EQ(MonitorWorkerStatistics().confirmations, 2u * 6);
}

// A measured 85.0 is a reading: a DS18B20's tells itself apart, a DS18S20's is confirmed.
TEST_F(Reliability, AGenuine85IsLogged) {
    const RomCode b20 = B20(0x0300), s20 = S20(0x0400);
    for (const RomCode& rom : {b20, s20}) bus->addThermometer(rom, 85.0);
    h.start();
    ASSERT_TRUE(runPasses(2));
    for (const RomCode& rom : {b20, s20}) {
        EXPECT_EQ(h.cell(rowOf(rom), 3), u"85.0 °C");
        EXPECT_EQ(h.cell(rowOf(rom), 4), u"OK");
    }
    ASSERT_TRUE(h.stop());
    const auto records = LogRecords(folder);
    EXPECT_EQ(std::count(records.begin(), records.end(), Record(b20, "85.0")), 2);
    EXPECT_EQ(std::count(records.begin(), records.end(), Record(s20, "85.0")), 2);
    EXPECT_EQ(MonitorWorkerStatistics().confirmations, 2u) << "the DS18S20, once a pass";
}

// The program stopped (or the machine suspended) between the Convert T and the readings: the
// value converted before the pause is no reading after it; the sensor converts again.
TEST_F(Reliability, AConversionFromBeforeAPauseIsMadeAgain) {
    const RomCode rom = B20(0x0500);
    auto device = bus->addThermometer(rom, 3.2);
    h.start();
    ASSERT_TRUE(runPasses(2));
    ASSERT_TRUE(h.step(3));  // converted at 3.2 °C, waiting for it
    h.clock.advance(30'000);
    device->setTemperature(17.9);
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.cell(0, 3), u"17.9 °C");
    ASSERT_TRUE(h.stop());
    EXPECT_EQ(LogRecords(folder), (std::vector<std::string>{Record(rom, "3.2"), Record(rom, "3.2"),
                                                            Record(rom, "17.9")}));
}

// With noise on the line, limits 15..30 and sensors well inside them: no cell ever shows,
// no status line ever counts, and no log line holds, a value that was not measured.
TEST_F(Reliability, NoiseNeverShowsCountsOrLogsAFalseValue) {
    std::map<std::u16string, std::string> truth;  // ROM code text -> its temperature's text
    for (uint64_t i = 0; i < 5; ++i) {
        const RomCode rom = B20(0x0600 + i);
        bus->addThermometer(rom, 20.0 + static_cast<double>(i));
        truth[FormatRomCode(rom)] = std::to_string(20 + i) + ".0";
    }
    bus->setSeed(2026);
    bus->setNoise(1e-2);
    ControlBlock.ThermoControl = 1;
    ControlBlock.ThermoMin = 15;
    ControlBlock.ThermoMax = 30;
    h.start();
    for (uint64_t pass = 1; pass <= 40; ++pass) {
        ASSERT_TRUE(runPasses(pass, 2000));
        EXPECT_EQ(h.status().find(u"выход за пределы"), std::u16string::npos) << pass;
        for (int row = 0; row < h.rows(); ++row) {
            // A code the noise made up in a search has no temperature to show.
            const auto known = truth.find(h.cell(row, 1));
            const std::string shown = Utf8FromUtf16(h.cell(row, 3));
            EXPECT_TRUE(shown == "Измерение" || shown.empty() ||
                        (known != truth.end() && shown == known->second + " \xC2\xB0" + "C"))
                << shown;
        }
    }
    ASSERT_TRUE(h.stop());
    for (const std::string& record : LogRecords(folder)) {
        const auto known = truth.find(Utf16FromUtf8(record.substr(0, record.find("  "))));
        ASSERT_NE(known, truth.end()) << record;
        EXPECT_EQ(record.substr(record.rfind("  ") + 2), known->second + " \xC2\xB0" + "C");
    }
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
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.status(), u"Найдено 5 '1-Wire'  устройств.");
    ASSERT_TRUE(h.stop());
    for (const std::string& record : LogRecords(folder)) {
        const std::string rom = record.substr(0, record.find("  "));
        ASSERT_EQ(expected.count(rom), 1u) << record;
        EXPECT_EQ(record, expected[rom]);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, NoisyStart, ::testing::Values(3u, 17u, 2026u));

// A sensor that stops answering keeps its row, counted faulty and saying since when, without
// searches pass after pass; back, it is read in that row again; a newcomer is found by the
// search made every minute; choosing the port again forgets the silent one.
TEST_F(Reliability, ASensorThatStopsAnsweringKeepsItsRowUntilThePortIsChosenAgain) {
    const RomCode a = B20(0x0A00), b = B20(0x0B00), c = B20(0x0C00), late = B20(0x0D00);
    bus->addThermometer(a, 21.0);
    auto gone = bus->addThermometer(b, 22.0);
    bus->addThermometer(c, 23.0);
    auto newcomer = std::make_shared<SimDevice>(late);
    newcomer->setTemperature(24.0);
    h.start();
    ASSERT_TRUE(runPasses(2));
    const int rowB = rowOf(b);
    ASSERT_EQ(h.status(), u"Найдено 3 '1-Wire'  устройства.");

    ASSERT_TRUE(bus->unplug(b));
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 2));
    const uint64_t searches = MonitorWorkerStatistics().searches;
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 10));
    EXPECT_EQ(MonitorWorkerStatistics().searches, searches) << "no search pass after pass for it";
    EXPECT_EQ(h.rows(), 3);
    EXPECT_EQ(rowOf(b), rowB);
    EXPECT_TRUE(SaysNotAnsweringSince(h.cell(rowB, 4))) << Utf8FromUtf16(h.cell(rowB, 4));
    EXPECT_EQ(h.colour(rowB, 4), FaultColour);
    EXPECT_EQ(h.cell(rowB, 3), u"22.0 °C") << "the last reading stays";
    EXPECT_EQ(h.status(),
              u"Найдено 3 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе");
    for (const RomCode& rom : {a, c}) EXPECT_EQ(h.cell(rowOf(rom), 4), u"OK");

    const int64_t plugged = h.nowMs();
    bus->plug(newcomer);
    ASSERT_TRUE(h.stepUntil([&] { return rowOf(late) >= 0; }, 800));
    EXPECT_LE(h.nowMs() - plugged, 61'000) << "found by the search made every minute";
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.rows(), 4);
    EXPECT_EQ(h.cell(rowOf(late), 3), u"24.0 °C");
    EXPECT_TRUE(SaysNotAnsweringSince(h.cell(rowOf(b), 4))) << "still there, in its row";

    // The whole bus fails for a while and is searched afresh once it answers again.
    const std::u16string fourOneFaulty =
        u"Найдено 4 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе";
    ASSERT_EQ(h.status(), fourOneFaulty);
    bus->setAdapterPresent(false);
    ASSERT_TRUE(h.stepUntil([&] { return h.status() != fourOneFaulty; }, 50));
    ASSERT_TRUE(h.step(30));  // the attempts to find the bus again begin
    bus->setAdapterPresent(true);
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == fourOneFaulty; }, 200));
    EXPECT_TRUE(SaysNotAnsweringSince(h.cell(rowB, 4))) << "kept through the new search";

    gone->setTemperature(22.5);
    bus->plug(gone);
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(rowOf(b), rowB);
    EXPECT_EQ(h.cell(rowB, 3), u"22.5 °C");
    EXPECT_EQ(h.cell(rowB, 4), u"OK");
    EXPECT_EQ(h.status(), u"Найдено 4 '1-Wire'  устройства.");

    ASSERT_TRUE(bus->unplug(b));
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 2));
    ASSERT_EQ(h.rows(), 4);
    ControlBlock.ReopenPort = 1;
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Найдено 3 '1-Wire'  устройства."; }, 20));
    EXPECT_EQ(rowOf(b), -1);
    ASSERT_TRUE(h.stop());
    for (const std::string& record : LogRecords(folder)) {
        EXPECT_EQ(record.find("-0.1"), std::string::npos) << "a missing sensor is no reading";
    }
}

}  // namespace
}  // namespace kv::test
