// Bus failures, the idle branch, re-search attempts and keeping the worker responsive.
#include "monitor/monitor_worker.h"
#include "tests/monitor/worker_scenarios.h"
#include "ui/toolkit.h"

namespace kv::test {
namespace {

const std::u16string NoAnswer = u"Нет ответа от '1-Wire' устройств";
const std::u16string Three = u"Найдено 3 '1-Wire'  устройства.";

class SilentBus : public WorkerTest {
  protected:
    void SetUp() override {
        bus = h.addBus(u"BUS1");
        for (int i = 0; i < 3; ++i) devices[i] = bus->addThermometer(roms[i], 20.0 + i);
        h.choosePort(u"BUS1");
        h.start();
        ASSERT_TRUE(runPasses(1));
        ASSERT_EQ(h.status(), Three);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(rowOf(roms[i]), i);
    }
    void silence() {
        for (const RomCode& rom : roms) bus->unplug(rom);
    }
    void expectMarked(int row) {
        EXPECT_EQ(h.cell(row, 3), u"") << row;
        EXPECT_EQ(h.cell(row, 4), NoAnswer) << row;
        EXPECT_EQ(h.colour(row, 3), ui::DefaultColour) << row;
        EXPECT_EQ(h.colour(row, 4), FaultColour) << row;
    }

    std::shared_ptr<SimBus> bus;
    const RomCode roms[3] = {B20(0x10), B20(0x30), B20(0x08)};  // found in this order
    std::shared_ptr<SimDevice> devices[3];
};

TEST_F(SilentBus, ThreeDevicesFallSilentStepByStepUntilIdle) {
    silence();
    ASSERT_TRUE(h.step());  // the pass start fails: message, all rows marked
    EXPECT_EQ(h.status(), NoAnswer);
    for (int row = 0; row < 3; ++row) expectMarked(row);
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 1u);

    ASSERT_TRUE(h.step());  // the other two fail their own readings; the pass ends
    EXPECT_EQ(MonitorWorkerStatistics().readFailures, 2u);
    EXPECT_EQ(h.status(), Three + u"    Обнаружено 3 датчика с ошибками в работе");
    for (int row = 0; row < 3; ++row) expectMarked(row);

    // Each further iteration retries the pass start at the next device.
    ASSERT_TRUE(h.step());
    EXPECT_EQ(h.status(), NoAnswer);
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 2u);
    ASSERT_TRUE(h.step(2));
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 4u);
    ASSERT_TRUE(h.step());  // past the last record: a pass end with 6 failures counted
    EXPECT_EQ(h.status(), Three + u"    Обнаружены 6 датчиков с ошибками в работе");
    ASSERT_TRUE(h.step(4));  // failures 5 to 7, and a pass end
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 7u);
    ASSERT_TRUE(h.step(2));
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 9u);
    EXPECT_EQ(MonitorWorkerStatistics().deviceCount, 3);
    // The tenth idle iteration, whatever the pass counted: the reset finds nobody, no
    // devices any more.
    ASSERT_TRUE(h.step());
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 10u);
    EXPECT_EQ(h.status(), NoAnswer);
    EXPECT_EQ(MonitorWorkerStatistics().deviceCount, 0);

    // Idle from now on: nothing is addressed, a bus reset about once a second.
    const auto resets = bus->stats().resetBytes;
    ASSERT_TRUE(h.step(30));
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 10u);
    EXPECT_EQ(bus->stats().resetBytes - resets, 3);
    EXPECT_EQ(h.status(), NoAnswer);
    for (int row = 0; row < 3; ++row) expectMarked(row);

    // The devices answer again: the next attempt searches and the rows come back.
    for (auto& device : devices) bus->plug(device);
    ASSERT_TRUE(h.stepUntil([&] { return MonitorWorkerStatistics().deviceCount == 3; }, 12));
    EXPECT_EQ(h.status(), Three);
    EXPECT_EQ(h.cell(0, 4), u"Инициализация");
    ASSERT_TRUE(h.stepUntil([&] { return h.cell(2, 4) == u"OK"; }, 30));
    EXPECT_EQ(h.cell(2, 3), u"22.0 °C");
}

TEST_F(SilentBus, RecoveryInTheMiddleOfTheListKeepsRowsAligned) {
    silence();
    ASSERT_TRUE(h.step(2));  // marked, and the interrupted pass ended
    ASSERT_TRUE(h.step());   // the retry at the first device fails too
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 2u);
    for (auto& device : devices) bus->plug(device);
    devices[1]->setTemperature(31.0);
    devices[2]->setTemperature(32.0);

    // The pass now starts at the second device; it must report into rows 1 and 2.
    const uint64_t ends = MonitorWorkerStatistics().passEnds;
    ASSERT_TRUE(runPasses(ends + 1));
    EXPECT_EQ(h.cell(1, 3), u"31.0 °C");
    EXPECT_EQ(h.cell(2, 3), u"32.0 °C");
    EXPECT_EQ(h.cell(1, 4), u"OK");
    expectMarked(0);  // not read in that pass

    devices[0]->setTemperature(30.0);
    ASSERT_TRUE(runPasses(ends + 2));
    EXPECT_EQ(h.cell(0, 3), u"30.0 °C");
    EXPECT_EQ(h.cell(0, 4), u"OK");
    EXPECT_EQ(h.colour(0, 4), ui::DefaultColour);
    EXPECT_EQ(h.status(), Three);
}

TEST_F(SilentBus, FailedReopenLeavesTheOldRowsSayingNoPortIsOpen) {
    h.offerPort(u"COM3");
    h.choosePort(u"COM3");
    ControlBlock.ReopenPort = 1;
    ASSERT_TRUE(h.step());
    EXPECT_EQ(h.status(),
              u"Не удалось открыть порт 'COM3'  Возможно он зянят или отстуствует в системе");
    EXPECT_EQ(h.rows(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(h.cell(row, 3), u"");
        EXPECT_EQ(h.cell(row, 4), u"Нет открытого COM порта");
        EXPECT_EQ(h.colour(row, 4), FaultColour);
    }
    // The user picks the working port again.
    h.choosePort(u"BUS1");
    ControlBlock.ReopenPort = 1;
    ASSERT_TRUE(h.stepUntil([&] { return h.cell(0, 4) == u"OK"; }, 20));
    EXPECT_EQ(h.status(), Three);
}

TEST_F(WorkerTest, PortChangeWhileTheReopeningRunsIsNotLost) {
    auto first = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= 8; ++serial) first->addThermometer(B20(serial), 20.0);
    first->setEchoLatencyMicroseconds(1000);  // a search of eight takes seconds
    auto second = h.addBus(u"BUS2");
    second->addThermometer(B20(0x99), 19.0);
    h.choosePort(u"BUS1");
    h.start();
    // The user changes the port half a second into the search of the first one.
    const int64_t asked = h.clock.peek() + 500'000;
    h.clock.at(asked, [&] {
        h.choosePort(u"BUS2");
        ControlBlock.ReopenPort = 1;
    });
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Найдено 1 '1-Wire' устройство."; }, 20));
    EXPECT_LE(h.nowMs() - asked / 1000, 1000);
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.rows(), 1);
    EXPECT_EQ(h.cell(0, 3), u"19.0 °C");
}

class StuckLow : public WorkerTest {
  protected:
    void SetUp() override {
        bus = h.addBus(u"BUS1");
        bus->addThermometer(B20(1), 20.0);
        bus->setStuckLow(true);
        bus->setEchoLatencyMicroseconds(1000);  // as through a USB adapter
        spare = h.addBus(u"BUS2");
        spare->addThermometer(B20(2), 18.0);
        h.choosePort(u"BUS1");
    }
    std::shared_ptr<SimBus> bus, spare;
};

TEST_F(StuckLow, StopOnALineHeldLowIsHonouredWithinASecond) {
    h.start();
    const int64_t asked = h.clock.peek() + 3'000'000;
    h.clock.at(asked, [] { ControlBlock.StopRequested = 1; });
    ASSERT_TRUE(h.stop(20));
    EXPECT_LE(h.nowMs() - asked / 1000, 1000);
    EXPECT_EQ(h.result(), 0);
}

TEST_F(StuckLow, PortChangeAwayFromALineHeldLowIsHonouredWithinASecond) {
    h.start();
    const int64_t asked = h.clock.peek() + 3'000'000;
    h.clock.at(asked, [&] {
        h.choosePort(u"BUS2");
        ControlBlock.ReopenPort = 1;
    });
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Найдено 1 '1-Wire' устройство."; }, 30));
    EXPECT_LE(h.nowMs() - asked / 1000, 1000);
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.cell(0, 3), u"18.0 °C");
}

// In separate polling a device of another family hands over to the next one within the same
// iteration, each after its own conversion; a long list of them must not hold a port change up.
TEST_F(WorkerTest, PortChangeAmongManyUnmeasuredDevicesInSeparatePollingIsHonouredPromptly) {
    auto bus = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= 40; ++serial) bus->addDevice(SimMakeRom(0x01, serial));
    auto spare = h.addBus(u"BUS2");
    spare->addThermometer(B20(2), 18.0);
    ControlBlock.ConvertOnly = 1;
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(h.step(3));  // searched; a few devices into the first iteration
    EXPECT_EQ(h.rows(), 40);
    h.choosePort(u"BUS2");
    ControlBlock.ReopenPort = 1;
    const int64_t asked = h.nowMs();
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Найдено 1 '1-Wire' устройство."; }, 100));
    EXPECT_LE(h.nowMs() - asked, 1000);
}

// An adapter that stops echoing makes every transaction run into its time limit; a pass
// over many devices then takes seconds. A stop must not wait for all of them.
TEST_F(WorkerTest, StopDuringALongRunOfFailingReadingsIsHonouredPromptly) {
    auto bus = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= 60; ++serial) bus->addThermometer(B20(serial), 20.0);
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(runPasses(1));
    bus->setAdapterPresent(false);
    ASSERT_TRUE(h.step());  // the pass start fails; the rows are marked
    EXPECT_EQ(MonitorWorkerStatistics().busFailures, 1u);
    // The next iteration reads the other 59 directly, each waiting out its echo limit.
    const int64_t asked = h.clock.peek() + 300'000;
    h.clock.at(asked, [] { ControlBlock.StopRequested = 1; });
    ASSERT_TRUE(h.stop(5));
    EXPECT_LE(h.nowMs() - asked / 1000, 200);
    EXPECT_LT(MonitorWorkerStatistics().readFailures, 59u);
}

}  // namespace
}  // namespace kv::test
