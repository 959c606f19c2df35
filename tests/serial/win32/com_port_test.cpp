// The Windows serial device against a real COM port: a Linux pseudo-terminal that Wine maps
// as one, with tools/win32.sh starting the far ends. KV_WIN32_ECHO_PORT names the port of
// tests/serial/win32/echo_peer.py, KV_WIN32_BUS_PORT the port of kalorivox-simpty serving
// the bus of BusDevices. Without them (a bare run of the test program) the cases skip.
//
// Times are only checked loosely: "returned early" means well before the limit, "waited"
// means not before it. The machine may be loaded; the bytes decide, not the clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/result.h"
#include "onewire/transaction.h"
#include "runtime/clock.h"
#include "serial/port_presence.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

// The steering bytes of echo_peer.py.
constexpr uint8_t PeerLate = 0xF1;      // echoed 300 ms late
constexpr uint8_t PeerSwallow = 0xF2;   // never echoed
constexpr uint8_t PeerHangUp = 0xF3;    // hangs the terminal up
constexpr uint8_t PeerRawAgain = 0xF4;  // never echoed; the terminal's reads wait for a byte
constexpr int PeerLateMs = 300;

// What win32.sh has kalorivox-simpty serve: "--ds18b20 28A1B2C3D4E5F6:21.5
// --ds18s20 10112233445566:-10" (the CRC bytes computed by the server).
constexpr float BusTemperatures[] = {21.5f, -10.0f};
constexpr uint8_t BusFamilies[] = {FamilyDs18b20, FamilyDs18s20};
constexpr int ConversionMs = 800;

using Clock = std::chrono::steady_clock;

std::u16string PortFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || !*value) return {};
    return std::u16string(value, value + std::char_traits<char>::length(value));
}

int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComPort : public ::testing::Test {
  protected:
    void SetUp() override {
        name_ = PortFromEnvironment("KV_WIN32_ECHO_PORT");
        if (name_.empty()) GTEST_SKIP() << "KV_WIN32_ECHO_PORT names no port (run by win32.sh)";
        // After a hang-up the peer needs a moment to make its next terminal.
        for (int attempt = 0; attempt < 50 && id_ <= 0; ++attempt) {
            id_ = SerialOpen(PortDynamic, name_, 115200, 0, 8, 1.0, 0, 255, 255);
            if (id_ <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_GT(id_, 0) << "the echo port does not open";
    }
    void TearDown() override {
        if (id_ > 0) SerialClose(id_);
    }

    void send(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(SerialWrite(id_, bytes.data(), static_cast<int>(bytes.size())),
                  static_cast<int>(bytes.size()));
    }

    std::vector<uint8_t> take(int count) {
        std::vector<uint8_t> bytes(static_cast<size_t>(count));
        bytes.resize(static_cast<size_t>(SerialRead(id_, bytes.data(), count)));
        return bytes;
    }

    std::u16string name_;
    int32_t id_ = 0;
};

TEST_F(ComPort, WaitEndsWhenTheEchoIsThereNotAtTheLimit) {
    constexpr int LimitMs = 5000;
    send({0x5A});
    auto start = Clock::now();
    EXPECT_EQ(SerialWaitInput(id_, 1, LimitMs), 1);
    EXPECT_LT(MillisecondsSince(start), LimitMs / 2);
    EXPECT_EQ(take(1), std::vector<uint8_t>{0x5A});

    // An echo that comes while the wait sleeps wakes it.
    send({PeerLate});
    start = Clock::now();
    EXPECT_EQ(SerialWaitInput(id_, 1, LimitMs), 1);
    const int64_t took = MillisecondsSince(start);
    EXPECT_GE(took, PeerLateMs / 2) << "the echo cannot have been there before it was sent";
    EXPECT_LT(took, LimitMs / 2);
    EXPECT_EQ(SerialInputCount(id_), 1);
    EXPECT_EQ(take(1), std::vector<uint8_t>{PeerLate});
    EXPECT_EQ(SerialInputCount(id_), 0);
}

// Also when the terminal underneath was set raw again by its other side, as another program
// setting the line up leaves it (its reads then wait for a byte).
TEST_F(ComPort, WaitWithNothingComingEndsAtItsLimit) {
    for (uint8_t silent : {PeerSwallow, PeerRawAgain}) {
        for (int limitMs : {36, 250}) {
            send({silent});
            const auto start = Clock::now();
            EXPECT_EQ(SerialWaitInput(id_, 1, limitMs), 0);
            const int64_t took = MillisecondsSince(start);
            EXPECT_GE(took, limitMs - 1) << "a limit is never cut short";
            EXPECT_LT(took, limitMs + 1000);
        }
    }
    // The port still works: an echo comes and is read.
    send({0x5A});
    EXPECT_EQ(SerialWaitInput(id_, 1, 5000), 1);
    EXPECT_EQ(take(1), std::vector<uint8_t>{0x5A});
    // A zero limit only looks.
    const auto start = Clock::now();
    EXPECT_EQ(SerialWaitInput(id_, 1, 0), 0);
    EXPECT_LT(MillisecondsSince(start), 1000);
    EXPECT_FALSE(SerialDeviceGone(id_));
}

TEST_F(ComPort, BytesThatArriveDuringAWaitAreAllReadInOrder) {
    // 224 bytes come back in 14 packets a few milliseconds apart.
    std::vector<uint8_t> sent(224);
    std::iota(sent.begin(), sent.end(), uint8_t{0});
    send(sent);
    EXPECT_EQ(SerialWaitInput(id_, 224, 5000), 224);
    EXPECT_EQ(SerialInputCount(id_), 224);
    EXPECT_EQ(take(224), sent);

    // A wait for more than comes keeps what came; reads in pieces follow the order, taking
    // what the wait holds before what the driver still queues.
    send({sent.begin(), sent.begin() + 100});
    EXPECT_EQ(SerialWaitInput(id_, 150, 300), 100);
    EXPECT_EQ(SerialInputCount(id_), 100);
    send({sent.begin() + 100, sent.begin() + 120});
    EXPECT_EQ(SerialWaitInput(id_, 120, 5000), 120);
    std::vector<uint8_t> got = take(30);
    EXPECT_EQ(SerialWaitInput(id_, 90, 5000), 90);
    for (uint8_t byte : take(90)) got.push_back(byte);
    EXPECT_EQ(got, std::vector<uint8_t>(sent.begin(), sent.begin() + 120));
    EXPECT_EQ(SerialInputCount(id_), 0);

    // Bytes the driver still queues are read without any wait before.
    send({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(SerialInputCount(id_), 3);
    EXPECT_EQ(take(3), (std::vector<uint8_t>{1, 2, 3}));
}

// Last of the echo cases: the peer hangs up the terminal this port was opened on.
TEST_F(ComPort, HungUpTerminalEndsTheWaitAndIsGone) {
    constexpr int LimitMs = 5000;
    send({PeerHangUp});
    const auto start = Clock::now();
    int waited = 0;
    // The hang-up can come between two waits; each wait must end long before its limit.
    for (int i = 0; i < 3 && waited >= 0; ++i) waited = SerialWaitInput(id_, 1, LimitMs);
    EXPECT_EQ(waited, -1);
    EXPECT_LT(MillisecondsSince(start), LimitMs / 2);
    EXPECT_TRUE(SerialDeviceGone(id_));
}

TEST(ComPortBus, ThermometersAreFoundAndReadThroughTheComPort) {
    const std::u16string name = PortFromEnvironment("KV_WIN32_BUS_PORT");
    if (name.empty()) GTEST_SKIP() << "KV_WIN32_BUS_PORT names no port (run by win32.sh)";
    const int32_t port = OneWireOpen(name, PortDynamic);
    ASSERT_GT(port, 0) << "result " << OneWireLastResult();

    const Enumeration found = OneWireEnumerate(port);
    EXPECT_EQ(found.end, EnumerationEnd::Complete) << "result " << found.result;
    ASSERT_EQ(found.codes.size(), 2u);
    ASSERT_EQ(OneWireStartConversion(nullptr, port), 1) << "result " << OneWireLastResult();
    DelayMs(ConversionMs);
    for (size_t i = 0; i < found.codes.size(); ++i) {
        const RomCode& rom = found.codes[i];
        EXPECT_TRUE(RomCrcOk(rom.data()));
        uint8_t scratchpad[ScratchpadSize] = {};
        ASSERT_EQ(OneWireReadDeviceScratchpad(rom.data(), scratchpad, port), 1)
            << "result " << OneWireLastResult();
        EXPECT_TRUE(ScratchpadCrcOk(scratchpad));
        const size_t device = rom[0] == BusFamilies[0] ? 0 : 1;
        EXPECT_EQ(rom[0], BusFamilies[device]);
        EXPECT_FLOAT_EQ(DecodeTemperature(scratchpad, rom[0]), BusTemperatures[device]);
    }
    EXPECT_EQ(OneWireClose(port), 1);
}

}  // namespace
}  // namespace kv
