// The simulator's own behaviour, where the meaning of the bus tests depends on it: what a
// reset and a slot echo, the bit order of what devices send, when echoes become visible,
// and the simulated clock that every timed bus test runs on.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <utility>

#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv {
namespace {

const RomCode Rom28 = SimMakeRom(0x28, 0x0000075A91D4);

struct Attached {
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>();
    std::unique_ptr<SerialDevice> port;

    void open() {
        port = bus->attach();
        ASSERT_NE(port, nullptr);
        port->setLine(SerialLineDtr, true);
        port->setLine(SerialLineRts, true);
    }
    // Sends the bytes at the given speed and collects every echo available right after.
    std::vector<uint8_t> exchange(std::vector<uint8_t> bytes, int baud) {
        port->configure(baud, 8, 0, 1.0);
        port->write(bytes.data(), static_cast<int>(bytes.size()));
        std::vector<uint8_t> echo(static_cast<size_t>(std::max(0, port->inputCount())));
        echo.resize(static_cast<size_t>(port->read(echo.data(), static_cast<int>(echo.size()))));
        return echo;
    }
    uint8_t reset() {
        auto echo = exchange({0xF0}, 9600);
        return echo.size() == 1 ? echo[0] : 0xAA;
    }
    // One byte as eight slots, least significant bit first; returns the bits read back.
    uint8_t touch(uint8_t value) {
        std::vector<uint8_t> slots;
        for (int k = 0; k < 8; ++k) slots.push_back(((value >> k) & 1) ? 0xFF : 0x00);
        auto echo = exchange(slots, 115200);
        uint8_t result = 0;
        for (size_t k = 0; k < echo.size() && k < 8; ++k)
            if (echo[k] == 0xFF) result |= static_cast<uint8_t>(1u << k);
        return result;
    }
};

TEST(SimAdapter, ResetEchoShowsPresenceEmptyBusDeadLineAndStuckLine) {
    Attached a;
    a.open();
    EXPECT_EQ(a.reset(), 0xF0) << "an empty bus leaves the reset byte as it was sent";
    a.bus->addDevice(Rom28);
    const uint8_t presence = a.reset();
    EXPECT_NE(presence, 0xF0);
    EXPECT_EQ(presence & 0x0F, 0x00) << "the reset pulse itself stays low";
    a.bus->setStuckLow(true);
    EXPECT_EQ(a.reset(), 0x00);
    EXPECT_EQ(a.exchange({0xFF, 0xFF}, 115200), (std::vector<uint8_t>{0x00, 0x00}));
    a.bus->setStuckLow(false);
    a.bus->setAdapterPresent(false);
    EXPECT_TRUE(a.exchange({0xF0}, 9600).empty()) << "without an adapter nothing echoes";
}

TEST(SimAdapter, PowerFollowsTheLinesAndTheWiringsPoweredLevel) {
    Attached a;
    a.bus->addDevice(Rom28);
    a.port = a.bus->attach();
    EXPECT_FALSE(a.bus->powered()) << "the lines start low";
    EXPECT_EQ(a.reset(), 0x00);
    a.port->setLine(SerialLineDtr, true);
    EXPECT_FALSE(a.bus->powered()) << "one line alone does not power the adapter";
    a.port->setLine(SerialLineRts, true);
    EXPECT_NE(a.reset(), 0x00);
    a.bus->setPoweredLevel(false);  // inverted wiring: powered with both lines low
    EXPECT_EQ(a.reset(), 0x00);
    a.port->setLine(SerialLineDtr, false);
    a.port->setLine(SerialLineRts, false);
    EXPECT_TRUE(a.bus->powered());
    EXPECT_NE(a.reset(), 0xF0);
}

TEST(SimAdapter, OnlyOneAttachmentAtATime) {
    auto bus = std::make_shared<SimBus>();
    auto first = bus->attach();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(bus->attach(), nullptr);
    first.reset();
    EXPECT_NE(bus->attach(), nullptr);
}

TEST(SimDevices, ReadRomSendsTheCodeLeastSignificantBitFirst) {
    Attached a;
    a.open();
    a.bus->addDevice(Rom28);
    a.reset();
    a.touch(ReadRomCommand);
    RomCode read{};
    for (auto& byte : read) byte = a.touch(0xFF);
    EXPECT_EQ(read, Rom28);
    // A read slot that a device answers with 0 comes back as something other than 0xFF.
    a.reset();
    a.touch(ReadRomCommand);
    auto echo = a.exchange({0xFF}, 115200);  // bit 0 of family 0x28 is 0
    ASSERT_EQ(echo.size(), 1u);
    EXPECT_NE(echo[0], 0xFF);
}

TEST(SimTiming, WireTimeAndLatencyDelayTheEchoOnTheInstalledClock) {
    SimClock clock(1'000'000, 0);  // time moves only when the test moves it
    ScopedTimeSource scope(&clock);
    Attached a;
    a.open();
    a.bus->setWireTime(true);
    a.port->configure(115200, 8, 0, 1.0);
    const std::vector<uint8_t> slots(8, 0xFF);
    a.port->write(slots.data(), 8);
    EXPECT_EQ(a.port->inputCount(), 0);
    clock.advanceMicroseconds(SimByteMicroseconds(115200) * 3);
    EXPECT_EQ(a.port->inputCount(), 3) << "one echo per 10 bit times on the wire";
    clock.advanceMicroseconds(SimByteMicroseconds(115200) * 5);
    EXPECT_EQ(a.port->inputCount(), 8);
    EXPECT_EQ(SimByteMicroseconds(9600), 1042);

    a.bus->dropInput();
    a.bus->setWireTime(false);
    a.bus->setEchoLatencyMicroseconds(5000);
    a.port->write(slots.data(), 1);
    clock.advanceMicroseconds(4999);
    EXPECT_EQ(a.port->inputCount(), 0);
    clock.advanceMicroseconds(1);
    EXPECT_EQ(a.port->inputCount(), 1);
}

// Tests script events on the clock ("at this moment the device leaves"); such an event runs
// inside a bus call and must be free to change the bus.
TEST(SimTiming, ATimeSourceMayActOnTheBus) {
    struct ActingClock final : TimeSource {
        SimClock inner;
        std::function<void()> action;
        int64_t nowMicroseconds() override {
            if (auto run = std::exchange(action, nullptr)) run();
            return inner.nowMicroseconds();
        }
        void sleepMilliseconds(int32_t milliseconds) override { inner.sleepMilliseconds(milliseconds); }
    } clock;
    ScopedTimeSource scope(&clock);
    Attached a;
    a.open();
    a.bus->addDevice(Rom28);
    clock.action = [&] { a.bus->unplug(Rom28); };
    EXPECT_EQ(a.reset(), 0xF0) << "the device left as the reset began";
}

TEST(SimTiming, NoiseIsReproducibleFromTheSeed) {
    auto run = [](uint64_t seed) {
        Attached a;
        a.open();
        a.bus->setNoise(0.2);
        a.bus->setSeed(seed);
        return a.exchange(std::vector<uint8_t>(64, 0xFF), 115200);
    };
    const auto first = run(7);
    EXPECT_EQ(first, run(7));
    EXPECT_NE(first, run(8));
    EXPECT_NE(first, std::vector<uint8_t>(64, 0xFF));
}

TEST(SimClockTest, SleepsAndReadingsMoveTimeAndWaitersWakeUp) {
    SimClock clock(0, 5);
    const int64_t t0 = clock.nowMicroseconds();
    EXPECT_EQ(clock.nowMicroseconds(), t0 + 5);
    const auto realStart = std::chrono::steady_clock::now();
    clock.sleepMilliseconds(10'000);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
    EXPECT_EQ(clock.sleptMilliseconds(), 10'000);
    EXPECT_GE(clock.peekMicroseconds(), t0 + 10'000'000);

    const int64_t target = clock.peekMicroseconds() + 300'000;
    std::thread sleeper([&] {
        for (int i = 0; i < 3; ++i) clock.sleepMilliseconds(100);
    });
    EXPECT_TRUE(clock.waitUntilMicroseconds(target, std::chrono::seconds(10)));
    sleeper.join();
    EXPECT_FALSE(clock.waitUntilMicroseconds(clock.peekMicroseconds() + 1'000'000, std::chrono::milliseconds(20)));
}

}  // namespace
}  // namespace kv
