#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/device_search.h"
#include "monitor/port_open.h"
#include "monitor/sensor_texts.h"
#include "monitor/table_colours.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "runtime/clock.h"
#include "serial/serial_port.h"
#include "tests/monitor/worker_harness.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

using test::WorkerHarness;

const RomCode Rom1 = SimMakeRom(0x28, 0x0000045A1B2C);  // 28-0000045A1B2C-84

class PortOpen : public ::testing::Test {
  protected:
    void SetUp() override { ControlBlock.ReopenPort = 0; }
    WorkerHarness h;
    SensorList list;
};

// --- opening and searching --------------------------------------------------------------

TEST_F(PortOpen, OpenFailureNamesThePortAndLeavesTheRows) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(Rom1, 20.0);
    h.choosePort(u"BUS1");
    OpenSelectedPort(list);
    ASSERT_EQ(h.rows(), 1);

    h.offerPort(u"COM3");
    h.choosePort(u"COM3");
    OpenSelectedPort(list);
    EXPECT_EQ(h.status(),
              u"Не удалось открыть порт 'COM3'  Возможно он зянят или отстуствует в системе");
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(h.rows(), 1);  // no search, rows untouched
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

TEST_F(PortOpen, EmptyChooserWithNoPortOpenDoesNothing) {
    ui::SetStatusText(StatusLine, 0, u"before");
    OpenSelectedPort(list);
    EXPECT_EQ(h.status(), u"before");
    EXPECT_EQ(list.count(), 0);
}

TEST_F(PortOpen, SearchReportsOneFiveAndNoDevices) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(Rom1, 20.0);
    h.choosePort(u"BUS1");
    OpenSelectedPort(list);
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.");

    for (uint64_t serial = 2; serial <= 5; ++serial)
        bus->addThermometer(SimMakeRom(0x28, serial), 20);
    OpenSelectedPort(list);
    EXPECT_EQ(h.status(), u"Найдено 5 '1-Wire'  устройств.");
    EXPECT_EQ(list.count(), 5);
    EXPECT_EQ(h.rows(), 5);

    bus->clearDevices();
    OpenSelectedPort(list);
    EXPECT_EQ(h.status(), u"На порту BUS1, '1-Wire' устройства не найдены.");
    EXPECT_EQ(h.rows(), 0);
    EXPECT_EQ(list.count(), 0);
}

TEST_F(PortOpen, RowsShowTypeSerialPowerAndInitialTexts) {
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
    OpenSelectedPort(list);
    ASSERT_EQ(list.count(), 4);
    ASSERT_EQ(h.rows(), 4);

    for (int row = 0; row < 4; ++row) {
        const RomCode& rom = list.at(row).Rom;
        const bool thermometer = IsThermometerFamily(rom[0]);
        EXPECT_EQ(h.cell(row, 0), DeviceTypeName(rom[0]));
        EXPECT_EQ(h.cell(row, 3), thermometer ? u"Измерение" : u"");
        EXPECT_EQ(h.cell(row, 4), thermometer ? u"Инициализация" : u"");
        if (rom == Rom1) {
            EXPECT_EQ(h.cell(row, 0), u"DS18B20");
            EXPECT_EQ(h.cell(row, 1), u"28-0000045A1B2C-84");
            EXPECT_EQ(h.cell(row, 2), u"3 вывода");
            for (int column = 0; column < 5; ++column)
                EXPECT_EQ(h.colour(row, column), ui::DefaultColour);
        } else if (rom == s20) {
            EXPECT_EQ(h.cell(row, 0), u"DS1820 / DS18S20");
            EXPECT_EQ(h.cell(row, 2), u"2 вывода ('паразитное' питание)");
        } else if (rom == other) {
            EXPECT_EQ(h.cell(row, 0), u"Неизвестное устройство");
        } else {
            EXPECT_EQ(h.cell(row, 1), FormatRomCode(badCrc) + u"  ОШИБКА CRC");
            EXPECT_EQ(h.colour(row, 1), FaultColour);
            EXPECT_EQ(list.at(row).Flags, RomCrcError);
        }
    }
}

TEST_F(PortOpen, FailedPowerQueryShowsAnErrorNotThreeWires) {
    auto bus = std::make_shared<SimBus>();
    bus->addThermometer(Rom1, 20.0);
    // Swallow the block that carries Match ROM, the code, the Read Power Supply command and
    // its read slot: no echo comes back.
    const std::vector<uint8_t> command = test::SlotBytes(ReadPowerSupplyCommand);
    test::RegisterFaultyPort(u"FLAKY", bus, [command](const auto&, const uint8_t* data, int count) {
        constexpr int CommandAt = 8 + 64;
        return count == CommandAt + 8 + 1 &&
               std::equal(command.begin(), command.end(), data + CommandAt);
    });
    h.offerPort(u"FLAKY");
    h.choosePort(u"FLAKY");
    OpenSelectedPort(list);
    ASSERT_EQ(h.rows(), 1);
    EXPECT_EQ(h.cell(0, 2), u"Ошибка");
    EXPECT_EQ(h.cell(0, 3), u"Измерение");  // the row is still built
}

// A line held low reads every search bit as a discrepancy: the first code is all zeros (with a
// CRC that matches) and each further pass would invent another one.
TEST_F(PortOpen, LineHeldLowListsNoGhostDevices) {
    auto bus = h.addBus(u"BUS1");
    bus->addThermometer(Rom1, 20.0);
    bus->setStuckLow(true);
    h.choosePort(u"BUS1");
    OpenSelectedPort(list);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(h.rows(), 0);
    EXPECT_EQ(h.status(), u"На порту BUS1, '1-Wire' устройства не найдены.");
}

TEST_F(PortOpen, EnumerationStopsAtItsBound) {
    auto bus = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= EnumerationDeviceLimit + 20; ++serial) {
        bus->addDevice(SimMakeRom(0x01, serial));
    }
    h.choosePort(u"BUS1");
    OpenSelectedPort(list);
    EXPECT_EQ(list.count(), EnumerationDeviceLimit);
    EXPECT_EQ(h.rows(), EnumerationDeviceLimit);
    EXPECT_EQ(h.status(), u"Найдено 256 '1-Wire'  устройств.");
}

TEST_F(PortOpen, ARequestToStopOrReopenEndsTheSearchKeepingWhatWasFound) {
    auto bus = h.addBus(u"BUS1");
    for (uint64_t serial = 1; serial <= 6; ++serial)
        bus->addThermometer(SimMakeRom(0x28, serial), 20);
    h.choosePort(u"BUS1");
    ControlBlock.ReopenPort = 1;  // already asked for another port
    OpenSelectedPort(list);
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.");
}

}  // namespace
}  // namespace kv
