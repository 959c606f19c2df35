// Ports that come and go while the worker runs: a chosen port absent at start-up, an adapter
// pulled out and plugged back in under the same name or (through its stable identity) under
// another, and the user choosing another port while the worker waits for the old one.
#include <gtest/gtest.h>

#include "monitor/port_chooser.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "tests/monitor/worker_scenarios.h"
#if !defined(_WIN32)
#include "tests/serial/posix/device_folder.h"
#endif
#include "ui/toolkit.h"

namespace kv::test {
namespace {

const std::u16string Found1 = u"Найдено 1 '1-Wire' устройство.";

class Reconnect : public WorkerTest {
  protected:
    std::u16string selected() const { return ui::GetText(MainWindow, PortSelector); }
    // A reading reached the table: the temperature cell shows a value and the status "OK".
    bool reading(double celsius) const {
        return h.rows() == 1 && h.cell(0, 4) == u"OK" &&
               h.cell(0, 3) == TemperatureText(static_cast<float>(celsius));
    }

#if !defined(_WIN32)
    DeviceFolder folder;  // no system port is listed beside the simulated ones
#endif
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>(7);
};

TEST_F(Reconnect, SavedPortAbsentAtStartIsOpenedWhenItAppears) {
    PortChoiceSet(u"BUS1");  // the settings named it; the chooser has no such entry
    h.start();
    ASSERT_TRUE(h.step(2));
    EXPECT_EQ(h.status(), u"Порт 'BUS1' недоступен");
    EXPECT_EQ(selected(), u"");
    ASSERT_TRUE(h.step(30));
    EXPECT_EQ(h.status(), u"Порт 'BUS1' недоступен") << "nothing to open yet";

    bus->addThermometer(B20(0x21), 23.5);
    SimRegisterBus(u"BUS1", bus);  // plugged in
    const int64_t pluggedAt = h.nowMs();
    ASSERT_TRUE(h.stepUntil([&] { return reading(23.5); }, 60));
    EXPECT_LE(h.nowMs() - pluggedAt, 3000);
    EXPECT_EQ(selected(), u"BUS1") << "the chooser lists and selects it now";
    EXPECT_EQ(PortChoiceName(), u"BUS1");
    SerialUnregisterVirtualPort(u"BUS1");
}

TEST_F(Reconnect, AdapterPulledAndPluggedBackResumesByItself) {
    bus->addThermometer(B20(0x21), 23.5);
    SimRegisterBus(u"BUS1", bus);
    h.offerPort(u"BUS1");
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(h.stepUntil([&] { return reading(23.5); }));

    SerialUnregisterVirtualPort(u"BUS1");  // pulled out
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Порт 'BUS1' отключён"; }, 30));
    EXPECT_EQ(h.cell(0, 4), u"Порт 'BUS1' отключён");
    EXPECT_EQ(h.colour(0, 4), FaultColour);
    EXPECT_EQ(h.cell(0, 3), u"");
    EXPECT_EQ(SerialIsOpen(currentPort.load()), 0) << "the dead port is closed";
    ASSERT_TRUE(h.step(40));
    EXPECT_EQ(h.status(), u"Порт 'BUS1' отключён") << "attempts do not flicker the status";

    // The chooser is refreshed while it is away: the entry goes, the choice stays.
    RefreshComPorts(PortSelector);
    EXPECT_EQ(selected(), u"");

    bus->devices()[0]->setTemperature(24.0);
    SimRegisterBus(u"BUS1", bus);  // back under the same name
    const int64_t pluggedAt = h.nowMs();
    ASSERT_TRUE(h.stepUntil([&] { return reading(24.0); }, 60));
    EXPECT_LE(h.nowMs() - pluggedAt, 3000);
    EXPECT_EQ(selected(), u"BUS1");
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == Found1; }, 20));
    SerialUnregisterVirtualPort(u"BUS1");
}

TEST_F(Reconnect, UserChoiceDuringTheWaitWins) {
    bus->addThermometer(B20(0x21), 23.5);
    SimRegisterBus(u"BUS1", bus);
    auto other = h.addBus(u"BUS2");
    other->addThermometer(B20(0x42), 30.0);
    h.offerPort(u"BUS1");
    h.choosePort(u"BUS1");
    h.start();
    ASSERT_TRUE(h.stepUntil([&] { return reading(23.5); }));
    SerialUnregisterVirtualPort(u"BUS1");
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Порт 'BUS1' отключён"; }, 30));

    // BUS1 returns at the very moment the user picks BUS2: the pick is what stays open.
    h.choosePort(u"BUS2");
    ControlBlock.ReopenPort = 1;
    SimRegisterBus(u"BUS1", bus);
    ASSERT_TRUE(h.stepUntil([&] { return reading(30.0); }, 60));
    ASSERT_TRUE(h.step(50));
    EXPECT_TRUE(reading(30.0));
    EXPECT_EQ(selected(), u"BUS2");
    EXPECT_FALSE(bus->attached()) << "the old port was not taken back";
    SerialUnregisterVirtualPort(u"BUS1");
}

// A port another program holds is there but busy: it is reported with the failure of an open,
// not as missing or unplugged, and opened by itself once it is free.
TEST_F(Reconnect, APortHeldByAnotherProgramIsReportedBusy) {
    const std::u16string busy =
        u"Не удалось открыть порт 'BUS1'  Возможно он зянят или отстуствует в системе";
    bus->addThermometer(B20(0x21), 23.5);
    SimRegisterBus(u"BUS1", bus);
    auto holder = bus->attach();
    PortChoiceSet(u"BUS1");  // kept from the settings, not offered: it was busy at start-up
    h.start();
    ASSERT_TRUE(h.step(30));
    EXPECT_EQ(h.status(), busy);
    holder.reset();
    ASSERT_TRUE(h.stepUntil([&] { return reading(23.5); }, 60));

    // Pulled out, and taken by another program when it is back.
    SerialUnregisterVirtualPort(u"BUS1");
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == u"Порт 'BUS1' отключён"; }, 30));
    SimRegisterBus(u"BUS1", bus);
    holder = bus->attach();
    ASSERT_TRUE(h.stepUntil([&] { return h.status() == busy; }, 30));
    holder.reset();
    ASSERT_TRUE(h.stepUntil([&] { return reading(23.5); }, 60));
    SerialUnregisterVirtualPort(u"BUS1");
}

TEST_F(Reconnect, AStopWhileWaitingIsHonouredWithinASecond) {
    PortChoiceSet(u"BUS1");
    h.start();
    ASSERT_TRUE(h.step(25));
    ControlBlock.StopRequested = 1;
    EXPECT_TRUE(h.stop(10));
}

}  // namespace
}  // namespace kv::test
