#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/port_list.h"
#include "monitor/port_open.h"
#include "monitor/sensor_table.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "onewire/timing.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "sim/demo_bus.h"
#include "sim/pty_server.h"
#include "tests/monitor/worker_harness.h"
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

class PtyLink {
  public:
    explicit PtyLink(const std::string& link) : link_(link) {}
    ~PtyLink() {
        std::error_code ignored;
        if (linked_) std::filesystem::remove(link_, ignored);
        if (server_) server_->stop();
    }
    bool make(std::shared_ptr<SimBus> bus) {
        server_ = std::make_unique<PtyServer>(std::move(bus));
        if (!server_->open() || !server_->start()) return false;
        std::error_code error;
        std::filesystem::create_symlink(server_->slavePath(), link_, error);
        linked_ = !error;
        return linked_;
    }

  private:
    std::string link_;
    std::unique_ptr<PtyServer> server_;
    bool linked_ = false;
};

TEST_F(PortList, ListOffersOpenableDevicesThenTheDemoBus) {
    if (geteuid() != 0) GTEST_SKIP() << "making /dev/ttyUSB9 needs root";
    if (std::filesystem::exists("/dev/ttyUSB9")) GTEST_SKIP() << "/dev/ttyUSB9 exists already";
    SimRegisterDemoPort();
    PtyLink link("/dev/ttyUSB9");
    auto bus = std::make_shared<SimBus>();
    bus->setPowerSensing(false);
    bus->addThermometer(Rom1, 21.0);
    ASSERT_TRUE(link.make(bus));

    ListComPorts(PortSelector);
    std::vector<std::u16string> entries = Entries(h);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries.back(), u"DEMO");
    const auto usb9 = std::find(entries.begin(), entries.end(), u"ttyUSB9");
    ASSERT_NE(usb9, entries.end());
    // Bare names, every real port before the virtual ones.
    for (const auto& name : entries) EXPECT_EQ(name.find(u'/'), std::u16string::npos);
    const auto demo = std::find(entries.begin(), entries.end(), u"DEMO");
    EXPECT_LT(usb9, demo);
    for (const auto& name : SerialVirtualPortNames()) {
        const auto at = std::find(entries.begin(), entries.end(), name);
        if (at != entries.end()) {
            EXPECT_GT(at, usb9) << Utf8FromUtf16(name);
        }
    }

    // A port that another holder has open is left out, and offered again once it is free.
    const int held = SerialOpen(PortDynamic, u"ttyUSB9", 9600, 0, 8, 1.0, 0, 255, 255);
    ASSERT_NE(held, 0);
    ListComPorts(PortSelector);
    entries = Entries(h);
    EXPECT_EQ(std::find(entries.begin(), entries.end(), u"ttyUSB9"), entries.end());
    EXPECT_EQ(entries.back(), u"DEMO");
    SerialClose(held);
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
}

}  // namespace
}  // namespace kv
