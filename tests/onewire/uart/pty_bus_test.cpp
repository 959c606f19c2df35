// The bus primitives through the kernel's tty layer: a thread on the pseudo-terminal's
// master plays the adapter, answering each byte by the speed the slave has set.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/uart/encoding.h"
#include "runtime/utf.h"

namespace kv {
namespace {

class PtyAdapter : public ::testing::Test {
  protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        path_ = Utf16FromUtf8(ptsname(master_));
        OneWireSetOptions(0);
    }
    void TearDown() override {
        stop_ = true;
        if (adapter_.joinable()) adapter_.join();
        SerialCloseAll();
        currentPort = PortNone;
        close(master_);
    }
    // presenceEcho: the answer to a reset byte at 9600 baud; data slots echo unchanged
    // except that read slots (0xFF) answer with `readEcho`.
    void Serve(uint8_t presenceEcho, uint8_t readEcho) {
        adapter_ = std::thread([this, presenceEcho, readEcho] {
            while (!stop_) {
                pollfd p{master_, POLLIN, 0};
                if (poll(&p, 1, 10) <= 0) continue;
                uint8_t in[256];
                ssize_t n = read(master_, in, sizeof in);
                if (n <= 0) continue;
                termios tio{};
                tcgetattr(master_, &tio);
                speed_t speed = cfgetospeed(&tio);
                std::vector<uint8_t> out;
                for (ssize_t i = 0; i < n; ++i) {
                    {
                        std::lock_guard guard(seenLock_);
                        seen_.emplace_back(in[i], speed);
                    }
                    if (speed == B9600)
                        out.push_back(in[i] == ResetByte ? presenceEcho : in[i]);
                    else
                        out.push_back(in[i] == SlotOne ? readEcho : in[i]);
                }
                ssize_t w = write(master_, out.data(), out.size());
                (void)w;
            }
        });
    }
    std::vector<std::pair<uint8_t, speed_t>> Seen() {
        std::lock_guard guard(seenLock_);
        return seen_;
    }

    int master_ = -1;
    std::u16string path_;
    std::thread adapter_;
    std::atomic<bool> stop_{false};
    std::mutex seenLock_;
    std::vector<std::pair<uint8_t, speed_t>> seen_;
};

TEST_F(PtyAdapter, ResetSwitchesSpeedAroundItsByte) {
    Serve(0xE0, SlotOne);
    ASSERT_GT(OneWireOpen(path_, PortCurrent), 999) << "a pty has no modem lines, and still opens";
    EXPECT_EQ(OneWireLastResult(), Ok);
    ASSERT_EQ(OneWireReset(PortCurrent), 1);
    EXPECT_EQ(OneWireLastResult(), Ok);
    ASSERT_EQ(OneWireWriteBytes(0xCC, 1, PortCurrent), 1);

    auto seen = Seen();
    ASSERT_EQ(seen.size(), 8u + 1 + 8) << "eight idle slots, the reset, one command byte";
    for (int i = 0; i < 8; ++i) EXPECT_EQ(seen[i], std::make_pair(SlotOne, speed_t{B115200}));
    EXPECT_EQ(seen[8], std::make_pair(ResetByte, speed_t{B9600}));
    for (size_t i = 9; i < seen.size(); ++i) EXPECT_EQ(seen[i].second, speed_t{B115200});
}

TEST_F(PtyAdapter, EmptyBusAndReadSlots) {
    Serve(ResetByte, 0xFE);  // no device; read slots come back with the lowest bit pulled down
    ASSERT_GT(OneWireOpen(path_, PortCurrent), 999);
    EXPECT_EQ(OneWireReset(PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse);
    uint8_t buffer[9] = {};
    ASSERT_EQ(OneWireReadBytes(buffer, 9, PortCurrent), 1);
    for (uint8_t byte : buffer) EXPECT_EQ(byte, 0x00);
}

TEST_F(PtyAdapter, NoAdapterIsAnExchangeError) {
    // Nobody answers on the master side.
    ASSERT_GT(OneWireOpen(path_, PortCurrent), 999);
    EXPECT_EQ(OneWireReset(PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    uint8_t buffer[2];
    EXPECT_EQ(OneWireReadBytes(buffer, 2, PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_EQ(OneWireClose(PortCurrent), 1);
    EXPECT_EQ(OneWireReset(PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

}  // namespace
}  // namespace kv
