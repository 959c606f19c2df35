// The POSIX backend against the kernel's tty layer, through a pseudo-terminal: the test
// holds the master side, the serial layer opens the slave by its absolute path.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "runtime/utf.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

class PseudoTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slavePath_ = ptsname(master_);
    }
    void TearDown() override {
        SerialCloseAll();
        if (master_ >= 0) close(master_);
    }
    int Open(int32_t id, int baud = 115200) {
        return SerialOpen(id, Utf16FromUtf8(slavePath_), baud, 0, 8, 1.0, 0, 255, 255);
    }
    speed_t MasterSeesSpeed() {
        termios tio{};
        EXPECT_EQ(tcgetattr(master_, &tio), 0);
        return cfgetospeed(&tio);
    }
    // Waits (bounded) until the slave reports at least `count` bytes waiting.
    int WaitForInput(int32_t id, int count) {
        for (int i = 0; i < 200 && SerialInputCount(id) < count; ++i) usleep(5000);
        return SerialInputCount(id);
    }

    int master_ = -1;
    std::string slavePath_;
};

TEST_F(PseudoTerminal, OpensExclusivelyByAbsolutePath) {
    ASSERT_NE(Open(1), 0);
    EXPECT_EQ(Open(2), 0) << "a second open of a port in use must fail";
    int other = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (other >= 0) {
        // Privileged processes pass TIOCEXCL; the serial layer's own lock still holds.
        close(other);
    }
    EXPECT_EQ(SerialClose(1), 1);
    EXPECT_NE(Open(2), 0) << "closing releases the port";
    EXPECT_EQ(SerialClose(2), 1);

    // Another program's exclusive use without a lock: the superuser's open passes the flag,
    // so the flag is asked for.
    const int holder = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    EXPECT_EQ(Open(3), 0) << "a port held exclusively by another program is busy";
    ioctl(holder, TIOCNXCL);
    close(holder);

    // A pseudo-terminal outlives its slave's descriptors while the master is open, and so
    // does the exclusive flag: left set, it would lock every unprivileged user out of it.
    int probe = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    int exclusive = -1;
    EXPECT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "the exclusive use ends with the close";
    close(probe);

    // A holder that ended without giving the flag back (killed) leaves it on a
    // pseudo-terminal: nobody holds the port, and the superuser may use it.
    const int killed = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(killed, 0);
    ASSERT_EQ(ioctl(killed, TIOCEXCL), 0);
    close(killed);
    if (geteuid() == 0) {
        EXPECT_NE(Open(4), 0) << "a flag left behind is no holder";
        EXPECT_EQ(SerialClose(4), 1);
    }
}

TEST_F(PseudoTerminal, ConfiguresRawAndSwitchesSpeed) {
    ASSERT_NE(Open(1), 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(master_, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);

    // A pseudo-terminal has no modem lines: the switch must still succeed.
    EXPECT_EQ(SerialApplyState(1, 9600, 1, 1), 1);
    EXPECT_EQ(MasterSeesSpeed(), B9600);
    EXPECT_EQ(SerialApplyState(1, 115200, 0, 0), 1);
    EXPECT_EQ(MasterSeesSpeed(), B115200);
    EXPECT_EQ(SerialApplyState(1, 12345, 1, 1), 0) << "a speed termios does not have";
    EXPECT_EQ(SerialSetLine(1, SerialLineDtr, 1), 1);
}

TEST_F(PseudoTerminal, CountsAndReadsWhatArrived) {
    ASSERT_NE(Open(1), 0);
    EXPECT_EQ(SerialInputCount(1), 0);
    const uint8_t bytes[] = {0xF0, 0x00, 0xFF, 0x11, 0x0A, 0x0D};  // no byte is interpreted
    ASSERT_EQ(write(master_, bytes, sizeof bytes), static_cast<ssize_t>(sizeof bytes));
    ASSERT_EQ(WaitForInput(1, 6), 6);
    uint8_t in[6] = {};
    EXPECT_EQ(SerialRead(1, in, 6), 6);
    EXPECT_EQ(std::vector<uint8_t>(in, in + 6), std::vector<uint8_t>(bytes, bytes + 6));
    EXPECT_EQ(SerialInputCount(1), 0);

    const uint8_t out[] = {0xFF, 0x00, 0xFF};
    EXPECT_EQ(SerialWrite(1, out, 3), 3);
    uint8_t seen[3] = {};
    ssize_t got = 0;
    for (int i = 0; i < 200 && got < 3; ++i) {
        ssize_t n = read(master_, seen + got, 3 - got);
        if (n > 0)
            got += n;
        else
            usleep(5000);
    }
    EXPECT_EQ(got, 3);
    EXPECT_EQ(seen[1], 0x00);
}

TEST_F(PseudoTerminal, ReadNeverWaitsLongForMissingBytes) {
    ASSERT_NE(Open(1), 0);
    uint8_t in[4];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SerialRead(1, in, 4), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(PseudoTerminal, WaitSleepsUntilEnoughBytesOrItsTimeIsUp) {
    ASSERT_NE(Open(1), 0);
    // Nothing comes: the wait ends after its time, not sooner.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SerialWaitInput(1, 1, 30), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));

    // Bytes arrive in two parts; the wait holds the first part and goes on sleeping until
    // the second has come, and counts and reads see both parts in order.
    const uint8_t first[] = {0x01, 0x02};
    const uint8_t second[] = {0x03, 0x04, 0x05};
    ASSERT_EQ(write(master_, first, sizeof first), 2);
    std::thread later([&] {
        usleep(20000);
        EXPECT_EQ(write(master_, second, sizeof second), 3);
    });
    EXPECT_EQ(SerialWaitInput(1, 5, 5000), 5);
    later.join();
    EXPECT_EQ(SerialInputCount(1), 5);
    uint8_t in[5] = {};
    EXPECT_EQ(SerialRead(1, in, 1), 1);
    EXPECT_EQ(SerialInputCount(1), 4);
    EXPECT_EQ(SerialRead(1, in + 1, 4), 4);
    EXPECT_EQ(std::vector<uint8_t>(in, in + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(SerialInputCount(1), 0);
    EXPECT_EQ(SerialWaitInput(77, 1, 10), -1) << "no such port";
}

TEST_F(PseudoTerminal, WaitEndsWhenTheOtherSideHangsUp) {
    ASSERT_NE(Open(1), 0);
    const uint8_t byte = 0x42;
    ASSERT_EQ(write(master_, &byte, 1), 1);
    ASSERT_EQ(WaitForInput(1, 1), 1);
    close(master_);
    master_ = -1;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SerialWaitInput(1, 2, 5000), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST_F(PseudoTerminal, WriteThatCannotDrainGivesUp) {
    // A second descriptor, opened before the serial layer takes the port, fills the line
    // quickly; nobody reads the master, so the pseudo-terminal ends up taking nothing more.
    int filler = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    ASSERT_NE(Open(1), 0);
    std::vector<uint8_t> chunk(4096, 0x55);
    // The kernel moves data towards the master in the background, so keep filling until
    // a pause brings no more room.
    for (int round = 0, idle = 0; round < 200 && idle < 3; ++round) {
        bool progress = false;
        for (int i = 0; i < 10000 && write(filler, chunk.data(), chunk.size()) > 0; ++i)
            progress = true;
        idle = progress ? 0 : idle + 1;
        usleep(20000);
    }
    auto start = std::chrono::steady_clock::now();
    int written = SerialWrite(1, chunk.data(), 2);
    auto elapsed = std::chrono::steady_clock::now() - start;
    close(filler);
    EXPECT_LT(written, 2) << "a write into a full line must end short";
    EXPECT_GE(elapsed, std::chrono::milliseconds(100)) << "it waited for the line first";
}

}  // namespace
}  // namespace kv
