// Searches nobody asked for while the worker monitors a bus behind a USB converter (16 ms
// echo latency, the UART's wire time), on the simulated clock: they go between the passes a
// little at a time, so no sensor's readings stop for long, and the list still follows the
// bus: a sensor plugged in is listed, one pulled out is marked within a few passes.
#include <algorithm>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "monitor/monitor_worker.h"
#include "monitor/reading_sink.h"
#include "monitor/texts.h"
#include "runtime/clock.h"
#include "runtime/utf.h"
#include "session/search_schedule.h"
#include "tests/monitor/worker_scenarios.h"

namespace kv::test {
namespace {

class SearchWhileMonitoring : public WorkerTest {
  protected:
    void SetUp() override {
        bus = h.addBus(u"BUS1");
        bus->setWireTime(true);
        h.choosePort(u"BUS1");
        consumer = ReadingSinkAdd([this](const SensorReading& reading) {
            std::lock_guard<std::mutex> lock(mutex);
            readAt[reading.rom].push_back(MillisecondClock());
        });
    }
    void TearDown() override { ReadingSinkRemove(consumer); }

    // The shortest and the longest time between two sound readings of the sensor.
    std::pair<int64_t, int64_t> gaps(const RomCode& rom) {
        std::lock_guard<std::mutex> lock(mutex);
        const std::vector<int64_t>& times = readAt[rom];
        int64_t shortest = INT64_MAX, longest = 0;
        for (size_t i = 1; i < times.size(); ++i) {
            shortest = std::min(shortest, times[i] - times[i - 1]);
            longest = std::max(longest, times[i] - times[i - 1]);
        }
        return {shortest, longest};
    }

    // Counts, every 20 ms of simulated time (also within a search), whether the status line
    // says that the bus is being searched.
    void lookAtTheStatusLine() {
        if (h.status() == texts::SearchingBetweenPasses) ++searchingSeen;
        if (!h.finished()) h.clock.at(h.clock.peek() + 20'000, [this] { lookAtTheStatusLine(); });
    }

    std::shared_ptr<SimBus> bus;
    int searchingSeen = 0;
    int32_t consumer = 0;
    std::mutex mutex;
    std::map<RomCode, std::vector<int64_t>> readAt;  // MillisecondClock times
};

TEST_F(SearchWhileMonitoring, ReadingsGoOnWhileTheListFollowsSensorsPluggedAndPulled) {
    bus->setEchoLatencyMicroseconds(16'000);
    std::vector<RomCode> roms;
    for (uint64_t i = 0; i < 10; ++i) {
        roms.push_back(B20(0x5A0000 + i * 0x10F3));
        bus->addThermometer(roms.back(), 20.0 + static_cast<double>(i));
    }
    const RomCode late = B20(0x7E0001), pulled = roms[4];
    auto newcomer = std::make_shared<SimDevice>(late);
    newcomer->setTemperature(30.0);
    h.start();
    ASSERT_TRUE(runPasses(2, 1000));

    const int64_t plugged = h.nowMs();
    bus->plug(newcomer);
    ASSERT_TRUE(h.stepUntil([&] { return rowOf(late) >= 0; }, 2000));
    EXPECT_LE(h.nowMs() - plugged, WalkPeriodMs + 5'000) << "listed by the walk made each minute";

    ASSERT_TRUE(bus->unplug(pulled));
    const uint64_t pulledAt = MonitorWorkerStatistics().passEnds;
    ASSERT_TRUE(h.stepUntil(
        [&] { return h.cell(rowOf(pulled), 4).rfind(texts::NotAnsweringHead, 0) == 0; }, 2000));
    EXPECT_LE(MonitorWorkerStatistics().passEnds - pulledAt, 3u) << "marked within three passes";

    ASSERT_TRUE(h.stepUntil([&] { return h.nowMs() >= 300'000; }, 5000));
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.status(),
              u"Найдено 11 '1-Wire'  устройств.    Обнаружен 1 датчик с ошибками в работе");
    ASSERT_TRUE(h.stop());
    EXPECT_GE(MonitorWorkerStatistics().searches, 4u);
    // A pass takes its conversion wait and eleven readings; a search may add up to two
    // intervals to the wait between two readings of a sensor, never more.
    for (const RomCode& rom : roms) {
        if (rom == pulled) continue;
        const auto [shortest, longest] = gaps(rom);
        EXPECT_LE(longest, shortest + HeldIntervals * 1000) << Utf8FromUtf16(FormatRomCode(rom));
    }
}

// Noise spoils scratchpads pass after pass, often twice in a row for one sensor; a sensor that
// sent a scratchpad, spoiled or not, is there, and asks for no search.
TEST_F(SearchWhileMonitoring, SpoiledScratchpadsAskForNoSearch) {
    for (uint64_t i = 0; i < 10; ++i) bus->addThermometer(B20(0x6B0000 + i * 0x0D11), 20.0);
    bus->setSeed(3);
    bus->setNoise(0.003);
    h.start();
    ASSERT_TRUE(runPasses(2, 1000));
    const uint64_t searches = MonitorWorkerStatistics().searches;
    ASSERT_TRUE(h.stepUntil([&] { return h.nowMs() >= 300'000; }, 5000));
    EXPECT_GT(MonitorWorkerStatistics().crcErrors, 100u);
    EXPECT_LE(MonitorWorkerStatistics().searches - searches, 12u)
        << "one a minute, again after a spoiled one";
    ASSERT_TRUE(h.stop());
}

TEST_F(SearchWhileMonitoring, AStepReckonedToHoldTheReadingsLongSaysTheBusIsBeingSearched) {
    bus->setEchoLatencyMicroseconds(30'000);  // as slow as the echo limits allow
    bus->addThermometer(B20(0x0A01), 21.0);
    bus->addThermometer(B20(0x0B01), 22.0);
    h.start();
    ASSERT_TRUE(runPasses(2, 1000));
    // Devices of another family come after the thermometers in the search and leave their
    // path at its first bit: each is followed bit by bit, about two seconds at this latency.
    for (uint64_t i = 1; i <= 3; ++i) bus->addDevice(SimMakeRom(0x01, 0x3C0000 + i * 0x0F0F));
    lookAtTheStatusLine();
    ASSERT_TRUE(h.stepUntil([&] { return h.rows() == 5; }, 2000));
    EXPECT_GT(searchingSeen, 0);
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.status(), u"Найдено 5 '1-Wire'  устройств.");
    ASSERT_TRUE(h.stop());
}

}  // namespace
}  // namespace kv::test
