// Opening the chosen port and searching it, as the worker does at start and on a port change:
// what the status line and the rows say afterwards.
#include <algorithm>
#include <atomic>
#include <memory>

#include "monitor/monitor_worker.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "tests/monitor/worker_scenarios.h"
#include "ui/toolkit.h"

namespace kv::test {
namespace {

const RomCode Rom1 = SimMakeRom(0x28, 0x0000045A1B2C);  // 28-0000045A1B2C-84

// Starts the worker, which opens the chosen port, searches it, builds the rows and converts:
// it then stands in the conversion wait.
class Opening : public WorkerTest {
  protected:
    void open() {
        h.start();
        ASSERT_TRUE(h.step());
    }
    // Asks for the port to be opened again and lets the worker do it.
    void reopen(const std::u16string& status) {
        ControlBlock.ReopenPort = 1;
        ASSERT_TRUE(h.stepUntil([&] { return h.status() == status; }, 30));
    }
};

TEST_F(Opening, SearchReportsOneFiveAndNoDevicesAndAFailedOpenLeavesTheRows) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(Rom1, 20.0);
    h.choosePort(u"BUS1");
    open();
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.");

    for (uint64_t serial = 2; serial <= 5; ++serial)
        bus->addThermometer(SimMakeRom(0x28, serial), 20);
    reopen(u"Найдено 5 '1-Wire'  устройств.");
    EXPECT_EQ(h.rows(), 5);
    EXPECT_EQ(MonitorWorkerStatistics().deviceCount, 5);

    bus->clearDevices();
    reopen(u"На порту BUS1, '1-Wire' устройства не найдены.");
    EXPECT_EQ(h.rows(), 0);
    EXPECT_EQ(MonitorWorkerStatistics().deviceCount, 0);

    bus->addThermometer(Rom1, 20.0);
    reopen(u"Найдено 1 '1-Wire' устройство.");
    h.offerPort(u"COM3");
    h.choosePort(u"COM3");
    reopen(u"Не удалось открыть порт 'COM3'  Возможно он зянят или отстуствует в системе");
    EXPECT_EQ(MonitorWorkerStatistics().deviceCount, 0);
    EXPECT_EQ(h.rows(), 1) << "no search, the rows stay";
}

TEST_F(Opening, EmptyChooserWithNoPortOpenDoesNothing) {
    ui::SetStatusText(StatusLine, 0, u"before");
    open();
    ASSERT_TRUE(h.step(20));
    EXPECT_EQ(h.status(), u"before");
    EXPECT_EQ(h.rows(), 0);
}

TEST_F(Opening, RowsShowTypeSerialPowerAndInitialTexts) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(Rom1, 20.0);
    const RomCode s20 = SimMakeRom(0x10, 0x0008023D8A9E);
    bus->addThermometer(s20, 20.0, /*parasite=*/true);
    const RomCode other = SimMakeRom(0x01, 0x000001020304);
    bus->addDevice(other);
    RomCode badCrc = SimMakeRom(0x28, 0x0000000000AA);
    badCrc[7] ^= 0x55;
    bus->addThermometer(badCrc, 20.0);
    h.choosePort(u"BUS1");
    open();
    ASSERT_EQ(h.rows(), 4);
    for (const RomCode& rom : {Rom1, s20, other, badCrc}) {
        const int row = rowOf(rom);
        ASSERT_GE(row, 0);
        const bool thermometer = IsThermometerFamily(rom[0]);
        EXPECT_EQ(h.cell(row, 0), DeviceTypeName(rom[0]));
        EXPECT_EQ(h.cell(row, 3), thermometer ? u"Измерение" : u"");
        EXPECT_EQ(h.cell(row, 4), thermometer ? u"Инициализация" : u"");
    }
    const int row1 = rowOf(Rom1);
    EXPECT_EQ(h.cell(row1, 0), u"DS18B20");
    EXPECT_EQ(h.cell(row1, 1), u"28-0000045A1B2C-84");
    EXPECT_EQ(h.cell(row1, 2), u"3 вывода");
    for (int column = 0; column < 5; ++column) EXPECT_EQ(h.colour(row1, column), ui::DefaultColour);
    EXPECT_EQ(h.cell(rowOf(s20), 0), u"DS1820 / DS18S20");
    EXPECT_EQ(h.cell(rowOf(s20), 2), u"2 вывода ('паразитное' питание)");
    EXPECT_EQ(h.cell(rowOf(other), 0), u"Неизвестное устройство");
    EXPECT_EQ(h.cell(rowOf(badCrc), 1), FormatRomCode(badCrc) + u"  ОШИБКА CRC");
    EXPECT_EQ(h.colour(rowOf(badCrc), 1), FaultColour);
}

TEST_F(Opening, FailedPowerQueryShowsAnErrorNotThreeWires) {
    auto bus = std::make_shared<SimBus>();
    bus->addThermometer(Rom1, 20.0);
    // Swallow the block that carries Match ROM, the code, the Read Power Supply command and
    // its read slot: no echo comes back.
    const std::vector<uint8_t> command = SlotBytes(ReadPowerSupplyCommand);
    RegisterFaultyPort(u"FLAKY", bus, [command](const auto&, const uint8_t* data, int count) {
        constexpr int CommandAt = 8 + 64;
        return count == CommandAt + 8 + 1 &&
               std::equal(command.begin(), command.end(), data + CommandAt);
    });
    h.offerPort(u"FLAKY");
    h.choosePort(u"FLAKY");
    open();
    ASSERT_EQ(h.rows(), 1);
    EXPECT_EQ(h.cell(0, 2), u"Ошибка");
    EXPECT_EQ(h.cell(0, 3), u"Измерение");  // the row is still built
}

// A line held low reads every search bit as a discrepancy: the first code is all zeros (with a
// CRC that matches) and each further pass would invent another one.
TEST_F(Opening, LineHeldLowListsNoGhostDevices) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(Rom1, 20.0);
    bus->setStuckLow(true);
    h.choosePort(u"BUS1");
    open();
    EXPECT_EQ(h.rows(), 0);
    EXPECT_EQ(h.status(), u"На порту BUS1, '1-Wire' устройства не найдены.");
}

TEST_F(Opening, EnumerationStopsAtItsBound) {
    auto bus = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= EnumerationDeviceLimit + 20; ++serial)
        bus->addDevice(SimMakeRom(0x01, serial));
    h.choosePort(u"BUS1");
    open();
    EXPECT_EQ(h.rows(), EnumerationDeviceLimit);
    EXPECT_EQ(h.status(), u"Найдено 256 '1-Wire'  устройств.");
}

TEST_F(Opening, AStopEndsTheSearchKeepingWhatWasFound) {
    auto bus = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= 6; ++serial)
        bus->addThermometer(SimMakeRom(0x28, serial), 20);
    h.choosePort(u"BUS1");
    h.start();
    ControlBlock.StopRequested = 1;  // asked before the first search
    ASSERT_TRUE(h.stop());
    EXPECT_EQ(MonitorWorkerStatistics().deviceCount, 1);
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.");
}

// Every search pass after the first fails: one device is known, the rest is not, and the
// status line must not say that one is all there is. Once the line is back, the search made
// between passes finds the rest.
TEST_F(Opening, ASpoiledSearchIsNotReportedAsTheWholeBus) {
    auto bus = std::make_shared<SimBus>();
    const RomCode a = B20(0x0A00), b = B20(0x0B00);
    bus->addThermometer(a, 20.0);
    bus->addThermometer(b, 21.0);
    // Search ROM (0xF0) as slots, least significant bit first.
    const std::vector<uint8_t> searchRom = {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    auto searchPasses = std::make_shared<std::atomic<int>>(0);
    auto dead = std::make_shared<std::atomic<bool>>(true);
    RegisterFaultyPort(u"DYING", bus, [=](const auto&, const uint8_t* data, int count) {
        const bool search = count >= 8 && std::equal(searchRom.begin(), searchRom.end(), data);
        return search && dead->load() && ++*searchPasses >= 2;
    });
    h.offerPort(u"DYING");
    h.choosePort(u"DYING");
    open();
    EXPECT_EQ(h.rows(), 1);
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.  Поиск прерван ошибкой, будет повторён");

    *dead = false;  // the line is back
    ASSERT_TRUE(h.stepUntil([&] { return h.rows() == 2; }, 100));
    ASSERT_TRUE(runPasses(MonitorWorkerStatistics().passEnds + 1));
    EXPECT_EQ(h.status(), u"Найдено 2 '1-Wire'  устройства.");
    EXPECT_EQ(h.cell(rowOf(b), 3), u"21.0 °C");
}

}  // namespace
}  // namespace kv::test
