// One echo that a USB converter hands over late, after its exchange has given up: it must
// cost that exchange alone and never be taken for the echo of the next one. On a simulated
// bus with 16 ms echo latency and the UART's wire time, on the simulated clock.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/transaction.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv {
namespace {

constexpr char16_t PortName[] = u"LATEECHO";
constexpr int64_t LatencyUs = 16'000;
constexpr int64_t HeldUs = 46'000;  // past a reset's 32 ms and a slot's 36 ms

class LateEcho : public ::testing::Test {
  protected:
    void SetUp() override {
        OneWireSetOptions(0);
        std::mt19937_64 random(21);
        for (int i = 0; i < 10; ++i) {
            roms.push_back(
                SimMakeRom(i % 4 == 3 ? FamilyDs18s20 : FamilyDs18b20, random() & 0xFFFFFFFFFFFF));
            bus->addThermometer(roms.back(), 20.0 + i);
        }
        bus->setWireTime(true);
        bus->setEchoLatencyMicroseconds(LatencyUs);
        SimRegisterBus(PortName, bus);
        port = OneWireOpen(PortName, PortDynamic);
        ASSERT_GT(port, 0);
    }
    void TearDown() override {
        SerialCloseAll();
        SerialUnregisterVirtualPort(PortName);
    }
    int64_t echoesSoFar() const { return bus->stats().bytes; }

    // Converts all, then reads every thermometer once; the readings that failed.
    int failedReadings() {
        if (!OneWireStartConversion(nullptr, port)) return static_cast<int>(roms.size());
        clock.advanceMilliseconds(800);
        int failed = 0;
        for (const RomCode& rom : roms) {
            uint8_t pad[ScratchpadSize];
            const bool read = OneWireReadDeviceScratchpad(rom.data(), pad, port) == 1;
            failed += read && ScratchpadCrcOk(pad) ? 0 : 1;
        }
        return failed;
    }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>();
    std::vector<RomCode> roms;
    int32_t port = 0;
};

TEST_F(LateEcho, InASearchCostsOnePassAndTheSearchStillFindsEveryDevice) {
    EnumerationOptions options;
    options.passRetries = 1;
    const int64_t start = echoesSoFar();
    const Enumeration clean = OneWireEnumerate(port, options);
    ASSERT_EQ(clean.end, EnumerationEnd::Complete);
    ASSERT_EQ(clean.codes.size(), roms.size());
    const int64_t echoes = echoesSoFar() - start;
    // Held: a reset's echo, slots inside the block of a known path, single bits further on.
    for (int64_t at : {int64_t{0}, echoes / 7, echoes / 3, echoes / 2, echoes - 300}) {
        SCOPED_TRACE(at);
        bus->holdEcho(at, HeldUs);
        const Enumeration found = OneWireEnumerate(port, options);
        EXPECT_EQ(found.end, EnumerationEnd::Complete);
        EXPECT_TRUE(found.codes == clean.codes) << found.codes.size() << " devices";
        EXPECT_LE(found.repeatedPasses, 1);
        EXPECT_EQ(failedReadings(), 0) << "the bus is back in step after the search";
    }
}

TEST_F(LateEcho, InAReadingCostsThatReadingAlone) {
    ASSERT_EQ(failedReadings(), 0);
    // A pass is the conversion (a reset and 16 slots), then per thermometer a reset and one
    // block of 152 slots, whose limit is 74 ms. Held: the third reading's reset echo, and a
    // slot of its block past the block's limit.
    const int64_t third = (1 + 16) + 2 * (1 + 152);
    struct Held {
        int64_t at, us;
    };
    for (const Held held : {Held{third, HeldUs}, Held{third + 40, 90'000}}) {
        SCOPED_TRACE(held.at);
        bus->holdEcho(held.at, held.us);
        EXPECT_EQ(failedReadings(), 1);
        for (int pass = 0; pass < 3; ++pass) EXPECT_EQ(failedReadings(), 0);
    }
}

}  // namespace
}  // namespace kv
