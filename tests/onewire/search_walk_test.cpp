// The search taken one pass at a time, on simulated buses and the simulated clock: other bus
// work between its steps does not disturb it, a walk that expects the devices of an earlier
// search costs two round trips a device, and either way devices that come and go between
// steps end in the list a walk without expectations gives.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search_walk.h"
#include "onewire/transaction.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv {
namespace {

constexpr char16_t PlainName[] = u"WALKPLAIN";
constexpr char16_t ExpectingName[] = u"WALKEXPECT";

std::vector<RomCode> RandomRoms(int count, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<RomCode> roms;
    for (int i = 0; i < count; ++i)
        roms.push_back(SimMakeRom(FamilyDs18b20, random() & 0xFFFFFFFFFFFF));
    return roms;
}

// Called on the bus after the given (1-based) step.
using BetweenSteps = std::function<void(SimBus&, int step)>;

class Walk : public ::testing::Test {
  protected:
    void TearDown() override {
        SerialCloseAll();
        SerialUnregisterVirtualPort(PlainName);
        SerialUnregisterVirtualPort(ExpectingName);
    }
    int32_t Open(std::shared_ptr<SimBus>& bus, const char16_t* name,
                 const std::vector<RomCode>& roms) {
        bus = std::make_shared<SimBus>();
        for (const RomCode& rom : roms) bus->addThermometer(rom, 21.0);
        SimRegisterBus(name, bus);
        return OneWireOpen(name, PortDynamic);
    }
    // Walks to its end; `between` runs after every step that leaves the walk going.
    Enumeration Run(SimBus& bus, int32_t port, std::vector<RomCode> expected,
                    const BetweenSteps& between, int& steps) {
        SearchWalk walk;
        EnumerationOptions options;
        options.passRetries = 2;
        OneWireWalkBegin(walk, std::move(expected), options);
        bus.resetStats();
        for (steps = 1; OneWireWalkStep(walk, port) == 1 && steps < 300; ++steps) {
            if (between) between(bus, steps);
        }
        EXPECT_TRUE(walk.done);
        return walk.found;
    }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> plain, expecting;
};

TEST_F(Walk, TakesOnePassAStepWhateverTheBusDoesBetweenSteps) {
    const auto roms = RandomRoms(12, 4);
    const int32_t port = Open(plain, PlainName, roms);
    ASSERT_GT(port, 0);
    plain->setWireTime(true);
    const Enumeration whole = OneWireEnumerate(port);
    ASSERT_EQ(whole.end, EnumerationEnd::Complete);

    int steps = 0;
    const Enumeration walked = Run(
        *plain, port, {},
        [&](SimBus& bus, int) {
            EXPECT_EQ(bus.stats().resetBytes, 1) << "one pass, one reset";
            const int64_t searched = bus.stats().searchMicroseconds;
            EXPECT_GT(searched, 0);
            ASSERT_TRUE(OneWireStartConversion(nullptr, port));
            clock.advanceMilliseconds(800);
            uint8_t pad[ScratchpadSize];
            EXPECT_TRUE(OneWireReadDeviceScratchpad(roms[0].data(), pad, port));
            EXPECT_EQ(bus.stats().searchMicroseconds, searched) << "readings are no search";
            bus.resetStats();
        },
        steps);
    EXPECT_EQ(walked.end, EnumerationEnd::Complete);
    EXPECT_EQ(walked.codes, whole.codes);
    EXPECT_EQ(steps, 12) << "the last device's step also ends the walk";
}

TEST_F(Walk, ExpectingTheListCostsTwoRoundTripsADeviceAndFollowsChangesAsAPlainWalk) {
    const auto roms = RandomRoms(10, 9);
    const auto extra = RandomRoms(3, 10);
    const int32_t port = Open(expecting, ExpectingName, roms);
    const Enumeration known = OneWireEnumerate(port);
    int steps = 0;
    const Enumeration again = Run(*expecting, port, known.codes, {}, steps);
    EXPECT_EQ(again.codes, known.codes);
    EXPECT_EQ(again.end, EnumerationEnd::Complete);
    EXPECT_EQ(expecting->stats().writes, 2 * 10) << "a reset and one block a device";
    // One gone from the middle: its pass reads three blocks, then expects the next device.
    ASSERT_TRUE(expecting->unplug(known.codes[5]));
    const Enumeration gone = Run(*expecting, port, known.codes, {}, steps);
    std::vector<RomCode> left = known.codes;
    left.erase(left.begin() + 5);
    EXPECT_EQ(gone.codes, left);
    EXPECT_EQ(gone.end, EnumerationEnd::Complete);
    EXPECT_EQ(expecting->stats().writes, 2 * 9 + 2 * 3);
    TearDown();

    struct Change {
        const char* what;
        std::vector<RomCode> present;  // on the bus when the walk starts
        BetweenSteps between;
    };
    const std::vector<RomCode> swapped = {roms[0], roms[2], roms[3], roms[4], roms[5],
                                          roms[6], roms[7], roms[8], roms[9], extra[0]};
    const Change changes[] = {
        {"one gone and one new before the walk", swapped, {}},
        {"devices arrive between steps", roms,
         [&](SimBus& bus, int step) {
             if (step <= 3) bus.addThermometer(extra[static_cast<size_t>(step) - 1], 22.0);
         }},
        {"the device just delivered leaves, then one not yet delivered", roms,
         [&](SimBus& bus, int step) {
             if (step == 2) bus.unplug(bus.devices().front()->rom());
             if (step == 4) bus.unplug(bus.devices().back()->rom());
         }},
        {"everything leaves", roms,
         [&](SimBus& bus, int step) {
             if (step == 5) bus.clearDevices();
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        const int32_t plainPort = Open(plain, PlainName, change.present);
        const int32_t expectingPort = Open(expecting, ExpectingName, change.present);
        int plainSteps = 0, expectingSteps = 0;
        const Enumeration byBits = Run(*plain, plainPort, {}, change.between, plainSteps);
        const Enumeration byList =
            Run(*expecting, expectingPort, known.codes, change.between, expectingSteps);
        EXPECT_EQ(byList.codes, byBits.codes);
        EXPECT_EQ(byList.end, byBits.end);
        EXPECT_EQ(byList.repeatedPasses, byBits.repeatedPasses);
        EXPECT_LT(expecting->stats().writes, plain->stats().writes);
        TearDown();
    }
}

// A disturbed line spoils a slot now and then. A walk that expects the list reads a spoiled
// block again and takes the answers of its blocks together, and a pass sent down a branch
// that a disturbance made up moves on; such walks end whole where plain ones are spoiled.
TEST_F(Walk, ExpectingTheListRidesOutANoisyLine) {
    const auto roms = RandomRoms(10, 12);
    const int32_t port = Open(expecting, ExpectingName, roms);
    const Enumeration known = OneWireEnumerate(port);
    expecting->setSeed(5);
    expecting->setNoise(0.003);
    int plainWhole = 0, expectingWhole = 0, steps = 0;
    for (int run = 0; run < 20; ++run) {
        for (const bool expect : {false, true}) {
            const Enumeration found =
                Run(*expecting, port, expect ? known.codes : std::vector<RomCode>{}, {}, steps);
            if (found.end != EnumerationEnd::Complete) continue;
            (expect ? expectingWhole : plainWhole) += 1;
            EXPECT_EQ(found.codes, known.codes) << (expect ? "expecting" : "plain");
        }
    }
    EXPECT_GE(expectingWhole, 18);
    EXPECT_LE(plainWhole, 10);
}

}  // namespace
}  // namespace kv
