// The bounded enumeration against simulated buses: how it ends tells a whole list from a
// spoiled one, and its guards hold where the bare search would run on.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv {
namespace {

constexpr char16_t PortName[] = u"ENUMTEST";

std::vector<RomCode> InSearchOrder(std::vector<RomCode> codes) {
    std::sort(codes.begin(), codes.end(), [](const RomCode& a, const RomCode& b) {
        for (int n = 0; n < 64; ++n) {
            const int x = (a[n / 8] >> (n % 8)) & 1, y = (b[n / 8] >> (n % 8)) & 1;
            if (x != y) return x < y;
        }
        return false;
    });
    return codes;
}

class Enumerate : public ::testing::Test {
  protected:
    void TearDown() override {
        SerialCloseAll();
        SerialUnregisterVirtualPort(PortName);
    }
    int32_t open() {
        SimRegisterBus(PortName, bus);
        return OneWireOpen(PortName, PortDynamic);
    }
    std::vector<RomCode> addFive() {
        std::vector<RomCode> codes;
        for (uint64_t i = 0; i < 5; ++i) {
            codes.push_back(SimMakeRom(0x28, 0x00A0B0C0D000 + i * 0x1111));
            bus->addThermometer(codes.back(), 20.0);
        }
        return InSearchOrder(codes);
    }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>(7);
};

TEST_F(Enumerate, EndsCompleteOnAWholeBusAndTellsAnEmptyBusAndAHeldLine) {
    const auto codes = addFive();
    const int32_t port = open();
    // The thread's own search, one device in: the enumeration searches with a state of its
    // own and leaves this one where it stands.
    RomCode rom{};
    OneWireSearchReset();
    ASSERT_EQ(OneWireSearchNext(rom.data(), port), 1);
    const SearchState mine = OneWireState();
    Enumeration found = OneWireEnumerate(port);
    EXPECT_EQ(found.end, EnumerationEnd::Complete);
    EXPECT_TRUE(EnumerationIsWhole(found));
    EXPECT_EQ(found.result, NoData);
    EXPECT_EQ(found.codes, codes);
    EXPECT_EQ(OneWireState().lastDiscrepancy, mine.lastDiscrepancy);
    EXPECT_EQ(OneWireState().lastDeviceFlag, 0);
    ASSERT_EQ(OneWireSearchNext(rom.data(), port), 1);
    EXPECT_EQ(rom, codes[1]);

    bus->setStuckLow(true);
    found = OneWireEnumerate(port);
    EXPECT_EQ(found.end, EnumerationEnd::LineHeldLow);
    EXPECT_FALSE(EnumerationIsWhole(found));
    EXPECT_TRUE(found.codes.empty()) << "the all-zero code is the line, not a device";

    bus->setStuckLow(false);
    bus->clearDevices();
    found = OneWireEnumerate(port);
    EXPECT_EQ(found.end, EnumerationEnd::NoDevices);
    EXPECT_TRUE(EnumerationIsWhole(found));
    EXPECT_EQ(found.result, NoResponse);
}

TEST_F(Enumerate, LimitAndInterruptionKeepWhatCameBefore) {
    const auto codes = addFive();
    const int32_t port = open();
    EnumerationOptions options;
    options.limit = 3;
    Enumeration found = OneWireEnumerate(port, options);
    EXPECT_EQ(found.end, EnumerationEnd::Limit);
    EXPECT_EQ(found.codes, std::vector<RomCode>(codes.begin(), codes.begin() + 3));

    options.limit = 5;
    EXPECT_EQ(OneWireEnumerate(port, options).end, EnumerationEnd::Complete)
        << "exactly the limit is still a whole bus";

    int asked = 0;
    options.keepGoing = [&] { return ++asked < 2; };
    found = OneWireEnumerate(port, options);
    EXPECT_EQ(found.end, EnumerationEnd::Interrupted);
    EXPECT_EQ(found.codes.size(), 2u) << "asked before the second and the third pass";
}

// A device that leaves between two passes turns the next pass back onto the path of the
// first: the bare search delivers the first code again and calls it the last device.
TEST_F(Enumerate, ACodeDeliveredTwiceEndsABareEnumerationAndIsLeftBehindWithARetry) {
    const RomCode low = SimMakeRom(0x28, 0x000000000010);
    const RomCode high = SimMakeRom(0x28, 0x000000000011);  // differs first in byte 1, bit 0
    bus->addThermometer(low, 20.0);
    bus->addThermometer(high, 20.0);
    const int32_t port = open();
    int passes = 0;
    EnumerationOptions options;
    options.keepGoing = [&] {
        if (++passes == 1) bus->unplug(InSearchOrder({low, high})[1]);
        return true;
    };
    const Enumeration found = OneWireEnumerate(port, options);
    EXPECT_EQ(found.end, EnumerationEnd::RepeatedCode);
    EXPECT_FALSE(EnumerationIsWhole(found));
    EXPECT_EQ(found.codes, std::vector<RomCode>{InSearchOrder({low, high})[0]});

    // With a retry, the repeated pass's own state, which leaves the empty branch out, goes
    // on: the list is whole without the device that left (repeating the pass from where it
    // started would only deliver the same code again).
    bus->addThermometer(InSearchOrder({low, high})[1], 20.0);
    passes = 0;
    options.passRetries = 1;
    const Enumeration moved = OneWireEnumerate(port, options);
    EXPECT_EQ(moved.end, EnumerationEnd::Complete);
    EXPECT_EQ(moved.codes, std::vector<RomCode>{InSearchOrder({low, high})[0]});
    EXPECT_EQ(moved.repeatedPasses, 1);
}

// A flipped bit usually ends a pass on SearchError; repeating just that pass from the state
// before it saves the passes already made. A flip that turns the path silently (a
// discrepancy read as agreement, or agreement read as one) cannot be caught by the pass;
// most such enumerations then end spoiled rather than complete.
TEST_F(Enumerate, NoiseSpoilsPassesAndRetriesFromTheSameStateMendMany) {
    const auto codes = addFive();
    const int32_t port = open();
    bus->setSeed(11);
    bus->setNoise(1e-3);
    EnumerationOptions retrying;
    retrying.passRetries = 3;
    int bareWhole = 0, retryingWhole = 0, repeated = 0;
    for (int run = 0; run < 40; ++run) {
        for (const EnumerationOptions& options : {EnumerationOptions{}, retrying}) {
            const Enumeration found = OneWireEnumerate(port, options);
            const bool whole = found.end == EnumerationEnd::Complete;
            (options.passRetries > 0 ? retryingWhole : bareWhole) += whole;
            repeated += found.repeatedPasses;
            if (whole) {
                EXPECT_EQ(found.codes, codes);
            } else {
                EXPECT_TRUE(found.end == EnumerationEnd::BusError ||
                            found.end == EnumerationEnd::RepeatedCode);
                // What came before the spoiled pass is true, and in its place; only a code
                // whose last bit a flip turned comes out false, and its CRC tells it.
                std::vector<RomCode> sound;
                std::copy_if(found.codes.begin(), found.codes.end(), std::back_inserter(sound),
                             [](const RomCode& rom) { return RomCrcOk(rom.data()); });
                ASSERT_LE(sound.size(), codes.size());
                EXPECT_TRUE(std::equal(sound.begin(), sound.end(), codes.begin()));
            }
        }
    }
    EXPECT_GT(repeated, 0);
    EXPECT_GT(retryingWhole, bareWhole + 4) << "bare " << bareWhole;
}

}  // namespace
}  // namespace kv
