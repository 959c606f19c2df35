// An adapter that returns under another device name (ttyUSB0 comes back as ttyUSB1) is
// followed through its stable identity link. Through the kernel's terminal layer, with links
// in a device folder of the test's own standing for /dev and /dev/serial/by-id.
#include <gtest/gtest.h>

#include "monitor/monitor_worker.h"
#include "monitor/port_chooser.h"
#include "monitor/port_open.h"
#include "monitor/reconnect.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/port.h"
#include "runtime/clock.h"
#include "serial/serial_port.h"
#include "sim/posix/pty_server.h"
#include "tests/monitor/worker_scenarios.h"
#include "tests/serial/posix/device_folder.h"
#include "ui/toolkit.h"

namespace kv::test {
namespace {

const std::u16string Found1 = u"Найдено 1 '1-Wire' устройство.";

// Real time, since the bus is a pty.
TEST(ReconnectPty, AdapterReturningUnderAnotherNameIsFollowedThroughItsIdentity) {
    DeviceFolder folder;
    WorkerHarness h;
    ScopedTimeSource realClock(nullptr);
    const std::string identity = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    auto bus = std::make_shared<SimBus>();
    bus->setPowerSensing(false);
    bus->addThermometer(B20(0x21), 21.0);

    auto first = std::make_unique<PtyServer>(bus);
    ASSERT_TRUE(first->open() && first->start());
    ASSERT_TRUE(folder.addNode("ttyUSB0", first->slavePath()));
    ASSERT_TRUE(folder.addIdentity(identity, "ttyUSB0"));
    ListComPorts(PortSelector);
    PortChoiceSet(u"ttyUSB0");
    h.choosePort(u"ttyUSB0");
    SensorList list;
    PortReconnect reconnect;
    // A loaded machine can make the serving thread miss an echo limit; a few attempts.
    for (int attempt = 0; attempt < 3 && list.count() != 1; ++attempt) OpenSelectedPort(list);
    ASSERT_EQ(list.count(), 1);
    reconnect.opened(true);

    first.reset();  // pulled out: the terminal hangs up, the system drops its links
    folder.removeIdentity(identity);
    folder.removeNode("ttyUSB0");
    OneWireReset(PortCurrent);
    ASSERT_TRUE(reconnect.deviceGone());
    EXPECT_EQ(reconnect.goneText(), u"Порт 'ttyUSB0' отключён");
    EXPECT_TRUE(reconnect.waiting());
    ControlBlock.ReopenPort = 0;
    EXPECT_FALSE(reconnect.retry(list)) << "the first attempt comes a second later";

    auto second = std::make_unique<PtyServer>(bus);
    ASSERT_TRUE(second->open() && second->start());
    ASSERT_TRUE(folder.addNode("ttyUSB1", second->slavePath()));
    ASSERT_TRUE(folder.addIdentity(identity, "ttyUSB1"));
    bool back = false;
    for (int i = 0; i < 3 * SleepsPerSecond && !back; ++i) {
        DelayMs(LoopSleepMs);
        back = reconnect.retry(list);
    }
    ASSERT_TRUE(back);
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(ui::GetText(MainWindow, PortSelector), u"ttyUSB1");
    EXPECT_EQ(PortChoiceName(), u"ttyUSB1");
    EXPECT_EQ(h.toolkit->statusText(StatusLine, 0), Found1);
    // The window thread is asked to write the settings file with the new name.
    constexpr int Marker = 777;
    ui::PostEvent(Marker, MainWindow, 0, 0);
    bool followed = false;
    for (int kind = ui::WaitEvent(); kind != Marker && kind != ui::IgnoredEvent;
         kind = ui::WaitEvent())
        followed = followed || kind == PortFollowedEvent;
    EXPECT_TRUE(followed);
    OneWireClose(PortCurrent);
}

}  // namespace
}  // namespace kv::test
