// An adapter that returns under another device name (ttyUSB0 comes back as ttyUSB1) is
// followed through its stable identity link. Through the kernel's terminal layer, with links
// in a device folder of the test's own standing for /dev and /dev/serial/by-id.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "monitor/monitor_worker.h"
#include "monitor/port_chooser.h"
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

// Waits in real time until the condition holds; false when it never did.
bool Within(std::chrono::seconds limit, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Real time, since the bus is a pty: the worker runs on a thread of the test's own.
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
    std::thread worker([] { MonitorWorker(0); });
    const auto reading = [&] { return h.rows() == 1 && h.cell(0, 4) == u"OK"; };
    // A loaded machine can make the serving thread miss an echo limit: the worker reads again.
    EXPECT_TRUE(Within(std::chrono::seconds(20), reading));

    first.reset();  // pulled out: the terminal hangs up, the system drops its links
    folder.removeIdentity(identity);
    folder.removeNode("ttyUSB0");
    EXPECT_TRUE(
        Within(std::chrono::seconds(20), [&] { return h.status() == u"Порт 'ttyUSB0' отключён"; }));

    auto second = std::make_unique<PtyServer>(bus);
    ASSERT_TRUE(second->open() && second->start());
    ASSERT_TRUE(folder.addNode("ttyUSB1", second->slavePath()));
    ASSERT_TRUE(folder.addIdentity(identity, "ttyUSB1"));
    EXPECT_TRUE(
        Within(std::chrono::seconds(20), [&] { return reading() && h.status() == Found1; }));
    ControlBlock.StopRequested = 1;
    worker.join();
    EXPECT_EQ(ui::GetText(MainWindow, PortSelector), u"ttyUSB1");
    EXPECT_EQ(PortChoiceName(), u"ttyUSB1");
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
