// Finding out about ports through the kernel's terminal layer: the test holds a
// pseudo-terminal the way another program would and looks at it afterwards.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/utf.h"
#include "serial/port_presence.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "tests/serial/posix/device_folder.h"

namespace kv {
namespace {

// A pseudo-terminal whose slave side another program holds open.
class HeldTerminal {
  public:
    HeldTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slavePath_ = ptsname(master_);
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~HeldTerminal() {
        if (slave_ >= 0) ::close(slave_);
        closeMaster();
    }
    bool ok() const { return slave_ >= 0; }
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    const std::string& slavePath() const { return slavePath_; }
    int slave() const { return slave_; }
    int master() const { return master_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

termios Settings(int fd) {
    termios tio{};
    EXPECT_EQ(tcgetattr(fd, &tio), 0);
    return tio;
}

int Waiting(int fd) {
    int count = -1;
    EXPECT_EQ(ioctl(fd, FIONREAD, &count), 0);
    return count;
}

class PortProbe : public ::testing::Test {
  protected:
    void TearDown() override { SerialCloseAll(); }
    test::DeviceFolder folder;
    HeldTerminal terminal;
};

// What another program set up on its terminal stays exactly so after the port was looked
// at: speed, canonical mode, echo, hang-up on close, and input it has not read yet.
TEST_F(PortProbe, LookingAtAPortChangesNothingOnIt) {
    ASSERT_TRUE(terminal.ok());
    termios held = Settings(terminal.slave());
    held.c_lflag |= ICANON | ECHO;
    held.c_cflag |= HUPCL;
    cfsetispeed(&held, B4800);
    cfsetospeed(&held, B4800);
    ASSERT_EQ(tcsetattr(terminal.slave(), TCSANOW, &held), 0);
    held = Settings(terminal.slave());
    ASSERT_EQ(::write(terminal.master(), "typed\n", 6), 6);
    // The kernel hands the bytes to the slave side a moment later.
    for (int i = 0; i < 200 && Waiting(terminal.slave()) < 6; ++i) usleep(5000);
    ASSERT_EQ(Waiting(terminal.slave()), 6);
    ASSERT_TRUE(folder.addNode("ttyUSB7", terminal.slavePath()));

    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 1);
    EXPECT_EQ(SerialCanOffer(Utf16FromUtf8(terminal.slavePath())), 1);

    const termios after = Settings(terminal.slave());
    EXPECT_EQ(cfgetospeed(&after), B4800);
    EXPECT_EQ(cfgetispeed(&after), B4800);
    EXPECT_EQ(after.c_iflag, held.c_iflag);
    EXPECT_EQ(after.c_oflag, held.c_oflag);
    EXPECT_EQ(after.c_cflag, held.c_cflag);
    EXPECT_EQ(after.c_lflag, held.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, held.c_cc, sizeof held.c_cc), 0);
    EXPECT_EQ(Waiting(terminal.slave()), 6) << "the holder's unread input was dropped";
}

TEST_F(PortProbe, MissingRefusedAndLockedPortsAreNotOffered) {
    ASSERT_TRUE(terminal.ok());
    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 0) << "no such node";
    EXPECT_EQ(SerialCanOffer(u""), 0);
    EXPECT_EQ(SerialCanOffer(u"../ttyUSB7"), 0);
    ASSERT_TRUE(folder.addNode("ttyUSB7", "/dev/null"));
    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 0) << "not a terminal";

    ASSERT_TRUE(folder.addNode("ttyUSB7", terminal.slavePath()));
    const int other = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 0) << "another program holds its lock";
    EXPECT_EQ(SerialPortExists(u"ttyUSB7"), 1) << "busy, not missing";
    ::flock(other, LOCK_UN);
    ASSERT_EQ(::ioctl(other, TIOCEXCL), 0);
    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 0) << "another program holds it exclusively";
    ::ioctl(other, TIOCNXCL);
    ::close(other);
    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 1);
    EXPECT_EQ(SerialPortExists(u"ttyUSB8"), 0);
}

// The port the program itself has open stays in the list, so that refreshing the list
// keeps the selection; once its device is gone it drops out.
TEST_F(PortProbe, OwnOpenPortIsOfferedUntilItsDeviceGoes) {
    ASSERT_TRUE(terminal.ok());
    ASSERT_TRUE(folder.addNode("ttyUSB7", terminal.slavePath()));
    const int id = SerialOpen(PortDynamic, u"ttyUSB7", 115200, 0, 8, 1.0, 0, 255, 255);
    ASSERT_NE(id, 0);
    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 1);
    EXPECT_EQ(SerialDeviceGone(id), 0);

    terminal.closeMaster();  // the adapter is pulled: the terminal hangs up
    const uint8_t slot = 0xFF;
    SerialWrite(id, &slot, 1);
    SerialInputCount(id);
    EXPECT_EQ(SerialDeviceGone(id), 1);
    EXPECT_EQ(SerialCanOffer(u"ttyUSB7"), 0);
    EXPECT_EQ(SerialDeviceGone(PortDynamic), 0) << "no such port";
}

TEST_F(PortProbe, UnregisteredVirtualPortIsGoneForItsOpenDevice) {
    struct Quiet final : SerialDevice {
        bool configure(int, int, int, double) override { return true; }
        bool setLine(int, bool) override { return true; }
        int write(const uint8_t*, int count) override { return count; }
        int read(uint8_t*, int) override { return 0; }
        int inputCount() override { return 0; }
    };
    SerialRegisterVirtualPort(u"QUIET", [] { return std::make_unique<Quiet>(); });
    EXPECT_EQ(SerialCanOffer(u"QUIET"), 1);
    const int id = SerialOpen(PortDynamic, u"QUIET", 115200, 0, 8, 1.0, 0, 255, 255);
    ASSERT_NE(id, 0);
    const uint8_t slot = 0xFF;
    EXPECT_EQ(SerialWrite(id, &slot, 1), 1);
    SerialUnregisterVirtualPort(u"QUIET");
    EXPECT_EQ(SerialWrite(id, &slot, 1), 0);
    EXPECT_EQ(SerialDeviceGone(id), 1);
    EXPECT_EQ(SerialCanOffer(u"QUIET"), 0);
}

// The stable link names the adapter; the device name it leads to may change between two
// pluggings.
TEST_F(PortProbe, StableIdentityFollowsTheAdapterToItsNewName) {
    ASSERT_TRUE(terminal.ok());
    HeldTerminal other;
    ASSERT_TRUE(other.ok());
    const std::string id = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ASSERT_TRUE(folder.addNode("ttyUSB0", terminal.slavePath()));
    ASSERT_TRUE(folder.addNode("ttyUSB1", other.slavePath()));
    EXPECT_EQ(SerialStableIdentity(u"ttyUSB0"), u"") << "no link names it yet";
    ASSERT_TRUE(folder.addIdentity(id, "ttyUSB0"));
    EXPECT_EQ(SerialStableIdentity(u"ttyUSB0"), Utf16FromUtf8(id));
    EXPECT_EQ(SerialStableIdentity(u"ttyUSB1"), u"");
    EXPECT_EQ(SerialNameOfIdentity(Utf16FromUtf8(id)), u"ttyUSB0");

    folder.removeIdentity(id);  // pulled out
    EXPECT_EQ(SerialNameOfIdentity(Utf16FromUtf8(id)), u"");
    folder.removeNode("ttyUSB0");
    ASSERT_TRUE(folder.addIdentity(id, "ttyUSB1"));  // back, under the next free name
    EXPECT_EQ(SerialNameOfIdentity(Utf16FromUtf8(id)), u"ttyUSB1");
    EXPECT_EQ(SerialNameOfIdentity(u"../../ttyUSB1"), u"");
}

}  // namespace
}  // namespace kv
