// The simulator's own behaviour, where the meaning of the bus tests depends on it: what a
// reset and a slot echo, the bit order of what devices send, when echoes become visible,
// and the simulated clock that every timed bus test runs on.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>
#include <utility>

#include "onewire/ds18x20.h"
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
    a.touch(0x33);
    RomCode read{};
    for (auto& byte : read) byte = a.touch(0xFF);
    EXPECT_EQ(read, Rom28);
    // A read slot that a device answers with 0 comes back as something other than 0xFF.
    a.reset();
    a.touch(0x33);
    auto echo = a.exchange({0xFF}, 115200);  // bit 0 of family 0x28 is 0
    ASSERT_EQ(echo.size(), 1u);
    EXPECT_NE(echo[0], 0xFF);
}

// Reset, Match ROM and a function command, as raw slots.
void Address(Attached& a, const RomCode& rom, uint8_t command) {
    a.reset();
    a.touch(0x55);
    for (uint8_t byte : rom) a.touch(byte);
    a.touch(command);
}

std::vector<uint8_t> ReadPad(Attached& a, const RomCode& rom) {
    Address(a, rom, 0xBE);
    std::vector<uint8_t> pad;
    for (int i = 0; i < 9; ++i) pad.push_back(a.touch(0xFF));
    EXPECT_EQ(SimCrc8(pad.data(), 9), 0) << "a scratchpad followed by its CRC checks to 0";
    return pad;
}

TEST(SimDevices, ScratchpadsHoldThePowerOnValuesAndTheDs18s20Count) {
    SimClock clock(1'000'000, 0);
    ScopedTimeSource scope(&clock);
    Attached a;
    a.open();
    const RomCode s20 = SimMakeRom(0x10, 0x0008021B6F3A);
    a.bus->addDevice(Rom28);
    auto s = a.bus->addDevice(s20);
    // 85 °C, TH/TL as shipped, 12 bits; the DS18S20's count registers as at power-up.
    EXPECT_EQ(ReadPad(a, Rom28),
              (std::vector<uint8_t>{0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10, 0x1C}));
    EXPECT_EQ(ReadPad(a, s20),
              (std::vector<uint8_t>{0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10, 0x87}));

    // Software that reads the DS18S20 with extended resolution must get the temperature
    // back from TEMP_READ - 0.25 + (COUNT_PER_C - COUNT_REMAIN) / COUNT_PER_C.
    for (double celsius : {25.0, 25.5, 25.8, 0.1, -0.3, -10.3, 84.9}) {
        s->setTemperature(celsius);
        Address(a, s20, 0x44);
        clock.advanceMilliseconds(750);
        const auto pad = ReadPad(a, s20);
        const int raw = static_cast<int16_t>(pad[0] | pad[1] << 8);
        EXPECT_EQ(raw, std::lround(celsius * 2)) << celsius;
        const double extended = (raw >> 1) - 0.25 + (pad[7] - pad[6]) / static_cast<double>(pad[7]);
        EXPECT_NEAR(extended, celsius, 1.0 / 32) << celsius << " count remain " << int{pad[6]};
    }
}

TEST(SimDevices, WrittenSettingsLastUntilPowerOffUnlessCopiedToEeprom) {
    SimClock clock(1'000'000, 0);
    ScopedTimeSource scope(&clock);
    Attached a;
    a.open();
    auto device = a.bus->addDevice(Rom28);
    const uint8_t nineBits = 0x1F;
    auto write = [&] {
        Address(a, Rom28, 0x4E);
        for (uint8_t byte : {uint8_t{0x10}, uint8_t{0x20}, nineBits}) a.touch(byte);
    };
    auto powerCycle = [&] {
        a.bus->unplug(Rom28);
        a.bus->plug(device);
    };
    write();
    auto pad = ReadPad(a, Rom28);
    EXPECT_EQ(pad[2], 0x10);
    EXPECT_EQ(pad[3], 0x20);
    EXPECT_EQ(pad[4], nineBits);
    powerCycle();
    pad = ReadPad(a, Rom28);
    EXPECT_EQ(pad[2], 0x4B) << "TH comes back from the EEPROM";
    EXPECT_EQ(pad[4], 0x7F);

    write();
    Address(a, Rom28, 0x48);  // Copy Scratchpad
    powerCycle();
    pad = ReadPad(a, Rom28);
    EXPECT_EQ(pad[2], 0x10);
    EXPECT_EQ(pad[4], nineBits);
    // At 9 bits the conversion is over within 93.75 ms.
    device->setTemperature(21.5);
    Address(a, Rom28, 0x44);
    clock.advanceMicroseconds(93'750);
    pad = ReadPad(a, Rom28);
    EXPECT_EQ(pad[0] | pad[1] << 8, 21.5 * 16);
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
        void sleepMilliseconds(int32_t milliseconds) override {
            inner.sleepMilliseconds(milliseconds);
        }
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
    // A finer sleep moves time by exactly its length and is not one of the program's
    // millisecond sleeps; a negative sleep moves nothing.
    const int64_t before = clock.peekMicroseconds();
    clock.sleepMicroseconds(1'234);
    clock.sleepMilliseconds(-5);
    clock.sleepMicroseconds(-5);
    EXPECT_EQ(clock.peekMicroseconds(), before + 1'234);
    EXPECT_EQ(clock.sleptMilliseconds(), 10'000);

    const int64_t target = clock.peekMicroseconds() + 300'000;
    std::thread sleeper([&] {
        for (int i = 0; i < 3; ++i) clock.sleepMilliseconds(100);
    });
    EXPECT_TRUE(clock.waitUntilMicroseconds(target, std::chrono::seconds(10)));
    sleeper.join();
    EXPECT_FALSE(clock.waitUntilMicroseconds(clock.peekMicroseconds() + 1'000'000,
                                             std::chrono::milliseconds(20)));
}

}  // namespace
}  // namespace kv
