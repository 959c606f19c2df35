#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/port_list.h"
#include "monitor/port_open.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "runtime/clock.h"
#include "runtime/utf.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "sim/demo_bus.h"
#include "sim/posix/pty_server.h"
#include "tests/monitor/worker_harness.h"
#include "tests/serial/posix/device_folder.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

using test::WorkerHarness;

const RomCode Rom1 = SimMakeRom(0x28, 0x0000045A1B2C);  // 28-0000045A1B2C-84

std::vector<std::u16string> Entries(WorkerHarness& h) {
    return h.toolkit->control(MainWindow, PortSelector).entries;
}

class PortList : public ::testing::Test {
  protected:
    void SetUp() override { ControlBlock.ReopenPort = 0; }
    WorkerHarness h;
    SensorList list;
};

// --- discovery ------------------------------------------------------------------------

// A simulated bus behind a pseudo-terminal, standing in the device folder as `name`.
class PtyNode {
  public:
    PtyNode(test::DeviceFolder& folder, std::string name)
        : folder_(folder), name_(std::move(name)) {}
    ~PtyNode() { unplug(); }
    bool plug(std::shared_ptr<SimBus> bus) {
        server_ = std::make_unique<PtyServer>(std::move(bus));
        return server_->open() && server_->start() && folder_.addNode(name_, server_->slavePath());
    }
    void unplug() {
        folder_.removeNode(name_);
        if (server_) server_->stop();
        server_.reset();
    }

  private:
    test::DeviceFolder& folder_;
    std::string name_;
    std::unique_ptr<PtyServer> server_;
};

TEST_F(PortList, ListOffersOpenableDevicesThenTheDemoBus) {
    test::DeviceFolder folder;
    SimRegisterDemoPort();
    PtyNode usb9(folder, "ttyUSB9");
    auto bus = std::make_shared<SimBus>();
    bus->setPowerSensing(false);
    bus->addThermometer(Rom1, 21.0);
    ASSERT_TRUE(usb9.plug(bus));
    ASSERT_TRUE(folder.addNode("ttyS1", "/dev/null"));    // not a terminal
    ASSERT_TRUE(folder.addNode("console", "/dev/null"));  // not a serial family name

    ListComPorts(PortSelector);
    std::vector<std::u16string> entries = Entries(h);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries.front(), u"ttyUSB9") << "the only real port of this device folder";
    EXPECT_EQ(std::count(entries.begin(), entries.end(), u"ttyUSB9"), 1);
    EXPECT_EQ(std::find(entries.begin(), entries.end(), u"ttyS1"), entries.end());
    // Every virtual port after the real ones, in the order of registration.
    std::vector<std::u16string> virtualNames = SerialVirtualPortNames();
    EXPECT_EQ(std::vector<std::u16string>(entries.begin() + 1, entries.end()), virtualNames);
    EXPECT_NE(std::find(entries.begin(), entries.end(), u"DEMO"), entries.end());

    // A port that another holder has open is left out, and offered again once it is free.
    const std::string path = (folder.deviceFolder() / "ttyUSB9").string();
    const int held = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    SerialUnregisterVirtualPort(u"DEMO");
    ListComPorts(PortSelector);
    entries = Entries(h);
    EXPECT_EQ(std::find(entries.begin(), entries.end(), u"ttyUSB9"), entries.end());
    EXPECT_EQ(std::find(entries.begin(), entries.end(), u"DEMO"), entries.end()) << "unplugged";
    ::close(held);
    SimRegisterDemoPort();
    ListComPorts(PortSelector);
    entries = Entries(h);
    EXPECT_NE(std::find(entries.begin(), entries.end(), u"ttyUSB9"), entries.end());

    // The listed name opens as a bus through the kernel's terminal layer. This runs in real
    // time, where a loaded machine can make the serving thread miss an echo limit now and
    // then; a few attempts keep that from failing the test.
    ScopedTimeSource realClock(nullptr);
    h.choosePort(u"ttyUSB9");
    for (int attempt = 0; attempt < 3 && list.count() != 1; ++attempt) OpenSelectedPort(list);
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.");
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.at(0).Rom, Rom1);
    OneWireClose(PortCurrent);
}

}  // namespace
}  // namespace kv
