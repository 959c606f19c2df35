#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/port_chooser.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "runtime/clock.h"
#include "runtime/utf.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "session/bus_session.h"
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
    std::string slavePath() const { return server_ ? server_->slavePath() : std::string(); }

  private:
    test::DeviceFolder& folder_;
    std::string name_;
    std::unique_ptr<PtyServer> server_;
};

// Counts the opens of a file by anyone (inotify).
class OpenCount {
  public:
    explicit OpenCount(const std::string& path) : watch_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (watch_ >= 0 && inotify_add_watch(watch_, path.c_str(), IN_OPEN) < 0) watch_ = -1;
    }
    ~OpenCount() {
        if (watch_ >= 0) ::close(watch_);
    }
    bool ok() const { return watch_ >= 0; }
    int take() {  // opens since the last call
        int count = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t got; (got = ::read(watch_, events, sizeof events)) > 0;)
            for (char* at = events; at < events + got;
                 at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
                ++count;
        return count;
    }

  private:
    int watch_;
};

// A pseudo-terminal nobody serves: a device node with no port behind it.
struct IdleTerminal {
    IdleTerminal() : master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) path = ptsname(master);
    }
    ~IdleTerminal() {
        if (master >= 0) ::close(master);
    }
    int master;
    std::string path;
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
    // Nodes with no port behind them, by the kernel's list: none of them is opened.
    IdleTerminal noDriver, emptySlot;
    ASSERT_TRUE(folder.addNode("ttyUSB3", noDriver.path, test::Kernel::NoDriver));
    ASSERT_TRUE(folder.addNode("ttyS0", emptySlot.path, test::Kernel::EmptyUartSlot));
    ASSERT_TRUE(folder.addKernelEntry("ttyACM0", test::Kernel::Driver));  // no node
    OpenCount realOpens(usb9.slavePath()), noDriverOpens(noDriver.path),
        emptySlotOpens(emptySlot.path);
    ASSERT_TRUE(realOpens.ok() && noDriverOpens.ok() && emptySlotOpens.ok());

    ListComPorts(PortSelector);
    std::vector<std::u16string> entries = Entries(h);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries.front(), u"ttyUSB9") << "the only real port of this device folder";
    EXPECT_EQ(std::count(entries.begin(), entries.end(), u"ttyUSB9"), 1);
    EXPECT_EQ(std::find(entries.begin(), entries.end(), u"ttyS1"), entries.end());
    EXPECT_EQ(noDriverOpens.take(), 0);
    EXPECT_EQ(emptySlotOpens.take(), 0);
    EXPECT_GE(realOpens.take(), 1) << "the real port was looked at";
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
    SessionEvents quiet;
    SessionStatistics statistics;
    SessionPolicy policy;
    policy.port = PortCurrent;
    BusSession session(quiet, policy, statistics);
    for (int attempt = 0; attempt < 3 && session.list().count() != 1; ++attempt)
        session.open(u"ttyUSB9");
    ASSERT_EQ(session.list().count(), 1);
    EXPECT_EQ(session.list().at(0).Rom, Rom1);
    session.close();
}

}  // namespace
}  // namespace kv
