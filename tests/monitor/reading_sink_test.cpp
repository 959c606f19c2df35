// The one place the worker's sound readings go: the log while it is on, and every consumer
// added, with the ROM code, the degrees and the time of each reading; and where the consumers
// hear that a sensor is gone and back.
#include <mutex>
#include <vector>

#include "monitor/reading_sink.h"
#include "monitor/texts.h"
#include "tests/monitor/log_text.h"
#include "tests/monitor/worker_scenarios.h"

namespace kv::test {
namespace {

class Consumer {
  public:
    Consumer()
        : id_(ReadingSinkAdd([this](const SensorReading& reading) {
              std::lock_guard<std::mutex> lock(mutex_);
              heard_.push_back(reading);
          })) {}
    ~Consumer() { remove(); }
    void remove() { ReadingSinkRemove(id_); }
    std::vector<SensorReading> heard() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }

  private:
    std::mutex mutex_;
    std::vector<SensorReading> heard_;
    const int32_t id_;
};

TEST_F(WorkerTest, SoundReadingsReachTheLogAndEveryConsumerUntilItIsRemoved) {
    const auto folder = h.useTempFolder();
    auto bus = h.addBus(u"BUS1");
    const RomCode good = B20(1), corrupt = B20(2);
    bus->addThermometer(good, 21.5);
    bus->addThermometer(corrupt, 22.0)->setCorruptScratchpadCrc(true);
    Consumer staying, leaving;
    ControlBlock.Log = 1;
    h.choosePort(u"BUS1");
    const DateValue started = CurrentDate();
    h.start();
    ASSERT_TRUE(runPasses(1));
    leaving.remove();
    ControlBlock.Log = 0;  // the consumers hear readings whether or not they are logged
    ASSERT_TRUE(runPasses(2));
    ASSERT_TRUE(h.stop());

    const auto heard = staying.heard();
    ASSERT_EQ(heard.size(), 2u);
    for (const SensorReading& reading : heard) {
        EXPECT_EQ(reading.rom, good);
        EXPECT_EQ(reading.celsius, 21.5f);
        EXPECT_GE(reading.time, started);
        EXPECT_LE(reading.time, CurrentDate());
    }
    EXPECT_EQ(leaving.heard().size(), 1u);
    EXPECT_EQ(Unstamped(FileBytes(folder / Utf8FromUtf16(texts::LogFileName))),
              std::string(Mark) + "<stamp>  " + Record(good, "21.5") + "\r\n");
}

TEST_F(WorkerTest, ConsumersHearOnceThatASensorIsGoneAndOnceThatItIsBack) {
    auto bus = h.addBus(u"BUS1");
    const RomCode stays = B20(1), leaves = B20(2);
    bus->addThermometer(stays, 21.5);
    auto leaving = bus->addThermometer(leaves, 22.0);
    std::mutex mutex;
    std::vector<std::pair<RomCode, bool>> heard;
    const int32_t id = ReadingSinkAdd(nullptr, [&](const RomCode& rom, bool answering) {
        std::lock_guard<std::mutex> lock(mutex);
        heard.emplace_back(rom, answering);
    });
    auto count = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return heard.size();
    };
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(2));
    EXPECT_EQ(0u, count());
    ASSERT_TRUE(bus->unplug(leaves));
    ASSERT_TRUE(h.stepUntil([&] { return count() >= 1; }, 2000));
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 3));
    EXPECT_EQ(1u, count()) << "said once";
    bus->plug(leaving);
    ASSERT_TRUE(h.stepUntil([&] { return count() >= 2; }, 2000));
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 3));
    ASSERT_TRUE(h.stop());
    ReadingSinkRemove(id);
    EXPECT_EQ((std::vector<std::pair<RomCode, bool>>{{leaves, false}, {leaves, true}}), heard);
}

}  // namespace
}  // namespace kv::test
