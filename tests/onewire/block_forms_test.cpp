// The block forms of the transactions and of the search against the one-slot forms, on two
// identical simulated buses and the simulated clock: the same slots must go onto the line at
// the same speeds, with the same results and result codes, in fewer round trips.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "onewire/transaction.h"
#include "onewire/uart/encoding.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv {
namespace {

constexpr char16_t SlotsName[] = u"BYSLOTS";
constexpr char16_t BlocksName[] = u"INBLOCKS";

using Wire = std::vector<SimBus::WireByte>;
// Called on the bus after the pass that delivered the given (1-based) device.
using BetweenPasses = std::function<void(SimBus&, int pass)>;

std::vector<RomCode> RandomRoms(int count, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<RomCode> roms;
    for (int i = 0; i < count; ++i)
        roms.push_back(
            SimMakeRom(i % 3 == 2 ? FamilyDs18s20 : FamilyDs18b20, random() & 0xFFFFFFFFFFFF));
    return roms;
}

struct Outcome {
    std::vector<RomCode> found;
    int32_t code = Ok;  // the result code of the call that ended the run
    Wire wire;
    int64_t roundTrips = 0;
};

class BlockForms : public ::testing::Test {
  protected:
    void SetUp() override { OneWireSetOptions(0); }
    void TearDown() override {
        SerialCloseAll();
        SerialUnregisterVirtualPort(SlotsName);
        SerialUnregisterVirtualPort(BlocksName);
    }

    // Two buses with the same devices, each open as a port; the wire is recorded from here.
    void Build(const std::vector<RomCode>& roms) {
        for (auto* bus : {&slots_, &blocks_}) {
            *bus = std::make_shared<SimBus>();
            for (size_t i = 0; i < roms.size(); ++i)
                (*bus)->addThermometer(roms[i], 20.0 + static_cast<double>(i), i % 4 == 1);
        }
        SimRegisterBus(SlotsName, slots_);
        SimRegisterBus(BlocksName, blocks_);
        slotsPort_ = OneWireOpen(SlotsName, PortDynamic);
        blocksPort_ = OneWireOpen(BlocksName, PortDynamic);
        ASSERT_GT(slotsPort_, 0);
        ASSERT_GT(blocksPort_, 0);
        for (auto& bus : {slots_, blocks_}) {
            bus->recordWire(true);
            bus->resetStats();
        }
    }

    // Runs `operation` on one bus and collects what it did there.
    Outcome Run(SimBus& bus, const std::function<void(Outcome&)>& operation) {
        bus.recordWire(true);
        bus.resetStats();
        Outcome outcome;
        operation(outcome);
        outcome.wire = bus.wire();
        outcome.roundTrips = bus.stats().writes;
        return outcome;
    }

    Outcome Enumerate(bool inBlocks, const BetweenPasses& between = {}) {
        SimBus& bus = inBlocks ? *blocks_ : *slots_;
        int32_t port = inBlocks ? blocksPort_ : slotsPort_;
        return Run(bus, [&](Outcome& out) {
            OneWireSearchReset();
            RomCode rom{};
            for (int pass = 1; pass <= 300; ++pass) {
                int found = inBlocks ? OneWireSearchNext(rom.data(), port)
                                     : OneWireSearchNextBySlots(rom.data(), port);
                out.code = OneWireLastResult();
                if (found != 1) break;
                out.found.push_back(rom);
                if (between) between(bus, pass);
            }
        });
    }

    void ExpectSameEnumeration(const BetweenPasses& between = {}) {
        const Outcome bySlots = Enumerate(false, between);
        const Outcome inBlocks = Enumerate(true, between);
        EXPECT_EQ(inBlocks.found, bySlots.found);
        EXPECT_EQ(inBlocks.code, bySlots.code);
        EXPECT_TRUE(inBlocks.wire == bySlots.wire) << "the slots on the wire differ";
        EXPECT_LT(inBlocks.roundTrips * 2, bySlots.roundTrips);
    }

    SimClock clock_;
    ScopedTimeSource time_{&clock_};
    std::shared_ptr<SimBus> slots_, blocks_;
    int32_t slotsPort_ = 0, blocksPort_ = 0;
};

TEST_F(BlockForms, ReadingConversionAndSupplyQuestionPutTheSameSlotsOnTheWire) {
    const auto roms = RandomRoms(3, 11);  // two DS18B20 (the second parasite), one DS18S20
    Build(roms);
    auto same = [&](const char* what, const std::function<void(Outcome&, int32_t)>& oneSlot,
                    const std::function<void(Outcome&, int32_t)>& block, int64_t trips) {
        SCOPED_TRACE(what);
        const Outcome a = Run(*slots_, [&](Outcome& out) { oneSlot(out, slotsPort_); });
        const Outcome b = Run(*blocks_, [&](Outcome& out) { block(out, blocksPort_); });
        EXPECT_TRUE(a.wire == b.wire) << "the slots on the wire differ";
        EXPECT_EQ(a.found, b.found);
        EXPECT_EQ(a.code, b.code);
        EXPECT_EQ(b.code, Ok);
        EXPECT_EQ(b.roundTrips, 2) << "the reset and one block";
        EXPECT_EQ(a.roundTrips, trips);
    };
    // The scratchpad and the supply answer travel in `found` so that they are compared too.
    auto keep = [](Outcome& out, const uint8_t* bytes, size_t n) {
        RomCode copy{};
        std::copy(bytes, bytes + n, copy.begin());
        out.found.push_back(copy);
    };
    same(
        "conversion of all",
        [](Outcome& out, int32_t port) {
            OneWireSkipRom(port) && OneWireConvert(0, port);
            out.code = OneWireLastResult();
        },
        [](Outcome& out, int32_t port) {
            OneWireStartConversion(nullptr, port);
            out.code = OneWireLastResult();
        },
        3);
    clock_.advanceMilliseconds(800);
    for (const RomCode& rom : roms) {
        same(
            "conversion of one",
            [&](Outcome& out, int32_t port) {
                OneWireMatchRom(rom.data(), port) && OneWireConvert(0, port);
                out.code = OneWireLastResult();
            },
            [&](Outcome& out, int32_t port) {
                OneWireStartConversion(rom.data(), port);
                out.code = OneWireLastResult();
            },
            4);
        clock_.advanceMilliseconds(800);
        same(
            "reading",
            [&](Outcome& out, int32_t port) {
                uint8_t pad[ScratchpadSize] = {};
                OneWireMatchRom(rom.data(), port) && OneWireReadScratchpad(pad, port);
                out.code = OneWireLastResult();
                keep(out, pad, 8);
                keep(out, pad + 8, 1);
            },
            [&](Outcome& out, int32_t port) {
                uint8_t pad[ScratchpadSize] = {};
                OneWireReadDeviceScratchpad(rom.data(), pad, port);
                out.code = OneWireLastResult();
                keep(out, pad, 8);
                keep(out, pad + 8, 1);
                EXPECT_TRUE(ScratchpadCrcOk(pad));
            },
            5);
        same(
            "supply question",
            [&](Outcome& out, int32_t port) {
                OneWireMatchRom(rom.data(), port);
                uint8_t answer = static_cast<uint8_t>(OneWireReadPowerSupply(port));
                out.code = OneWireLastResult();
                keep(out, &answer, 1);
            },
            [&](Outcome& out, int32_t port) {
                uint8_t answer =
                    static_cast<uint8_t>(OneWireReadDevicePowerSupply(rom.data(), port));
                out.code = OneWireLastResult();
                keep(out, &answer, 1);
            },
            5);
    }
    // The parasite part answers 0 to the supply question, the others 1.
    uint8_t external[3];
    for (int i = 0; i < 3; ++i)
        external[i] =
            static_cast<uint8_t>(OneWireReadDevicePowerSupply(roms[i].data(), blocksPort_));
    EXPECT_EQ(std::vector<uint8_t>(external, external + 3), (std::vector<uint8_t>{1, 0, 1}));
}

TEST_F(BlockForms, EnumerationsPutTheSameSlotsOnTheWire) {
    for (int count : {1, 2, 10, 64}) {
        SCOPED_TRACE(count);
        Build(RandomRoms(count, 100 + count));
        const Outcome bySlots = Enumerate(false);
        const Outcome inBlocks = Enumerate(true);
        EXPECT_EQ(bySlots.found.size(), static_cast<size_t>(count));
        EXPECT_EQ(inBlocks.found, bySlots.found);
        EXPECT_EQ(inBlocks.code, NoData);
        EXPECT_EQ(bySlots.code, NoData);
        EXPECT_TRUE(inBlocks.wire == bySlots.wire) << "the slots on the wire differ";
        // A pass is a reset, a block up to the previous pass's last discrepancy, then one
        // round trip per bit: 66 for the first pass, fewer for every later one.
        EXPECT_LE(inBlocks.roundTrips, 66 * count);
        EXPECT_EQ(bySlots.roundTrips, (1 + 1 + 3 * 64) * count);
        TearDown();
    }
}

TEST_F(BlockForms, DevicesAddedOrRemovedBetweenPassesGiveTheSameSlotsAndResults) {
    const auto roms = RandomRoms(12, 7);
    const auto extra = RandomRoms(4, 8);
    struct Change {
        const char* what;
        BetweenPasses between;
    };
    const Change changes[] = {
        {"the device just delivered leaves",
         [&](SimBus& bus, int pass) {
             if (pass == 3 || pass == 4) bus.unplug(bus.devices().front()->rom());
         }},
        {"devices arrive",
         [&](SimBus& bus, int pass) {
             if (pass <= 4) bus.addThermometer(extra[static_cast<size_t>(pass) - 1], 21.0);
         }},
        {"a device not yet delivered leaves, another arrives",
         [&](SimBus& bus, int pass) {
             if (pass != 2) return;
             bus.unplug(bus.devices().back()->rom());
             bus.addThermometer(extra[0], 22.0);
         }},
        {"everything leaves",
         [&](SimBus& bus, int pass) {
             if (pass == 5) bus.clearDevices();
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        Build(roms);
        ExpectSameEnumeration(change.between);
        TearDown();
    }
}

TEST_F(BlockForms, DevicesLeavingThePreviousPathAreFollowedAsSlotBySlot) {
    // Three DS18B20 whose serial numbers split at bit 9: two below (0 there), one above.
    // The first pass delivers the lower of the two below and leaves its last discrepancy
    // at bit 17. Then all three leave and a fourth arrives with a 1 at bit 9: the next
    // pass's fixed path leads nowhere, and the block form must walk again to follow the
    // device that is there, as the slot-by-slot pass does.
    const RomCode low1 = SimMakeRom(FamilyDs18b20, 0x000000000010);
    const RomCode low2 = SimMakeRom(FamilyDs18b20, 0x000000000110);
    const RomCode high = SimMakeRom(FamilyDs18b20, 0x000000000011);
    const BetweenPasses leave = [&](SimBus& bus, int pass) {
        if (pass != 1) return;
        bus.unplug(low1);
        bus.unplug(low2);
        bus.unplug(high);
        bus.addThermometer(SimMakeRom(FamilyDs18b20, 0x000000000001), 20.0);
    };
    Build({low1, low2, high});
    const Outcome bySlots = Enumerate(false, leave);
    const Outcome inBlocks = Enumerate(true, leave);
    EXPECT_GE(bySlots.found.size(), 2u);
    EXPECT_EQ(inBlocks.found, bySlots.found);
    EXPECT_EQ(inBlocks.code, bySlots.code);
}

TEST_F(BlockForms, ABusFailingMidBlockEndsWithTheSameCodeAfterTheSameSlots) {
    const auto roms = RandomRoms(5, 3);
    // Budgets of echoes that run out inside the first pass's block, inside later passes
    // and inside a reading; the reset byte counts as one.
    for (int64_t budget : {1, 5, 9, 10, 40, 70, 73, 150, 200, 250, 260, 400, 500}) {
        SCOPED_TRACE(budget);
        Build(roms);
        slots_->setEchoBudget(budget);
        blocks_->setEchoBudget(budget);
        const Outcome bySlots = Enumerate(false);
        const Outcome inBlocks = Enumerate(true);
        EXPECT_EQ(inBlocks.found, bySlots.found);
        EXPECT_EQ(inBlocks.code, bySlots.code);
        EXPECT_EQ(inBlocks.code, ExchangeError);
        // The block form sent the rest of its block before it could see the failure.
        ASSERT_LE(bySlots.wire.size(), inBlocks.wire.size());
        EXPECT_TRUE(Wire(inBlocks.wire.begin(),
                         inBlocks.wire.begin() + static_cast<long>(bySlots.wire.size())) ==
                    bySlots.wire);
        TearDown();
    }
    for (int64_t budget : {0, 1, 30, 80, 151, 152}) {
        SCOPED_TRACE(budget);
        Build(roms);
        slots_->setEchoBudget(budget);
        blocks_->setEchoBudget(budget);
        uint8_t a[ScratchpadSize], b[ScratchpadSize];
        const int bySlots =
            OneWireMatchRom(roms[0].data(), slotsPort_) && OneWireReadScratchpad(a, slotsPort_);
        const int32_t slotsCode = OneWireLastResult();
        EXPECT_EQ(OneWireReadDeviceScratchpad(roms[0].data(), b, blocksPort_), bySlots);
        EXPECT_EQ(OneWireLastResult(), slotsCode);
        EXPECT_EQ(slotsCode, ExchangeError);
        TearDown();
    }
}

TEST_F(BlockForms, TimeLimitsHoldForSilentSlowAndStuckAdapters) {
    const auto roms = RandomRoms(2, 5);
    auto elapsedMs = [&](const std::function<void()>& operation) {
        const int64_t start = clock_.peekMicroseconds();
        operation();
        return static_cast<double>(clock_.peekMicroseconds() - start) / 1000.0;
    };
    uint8_t pad[ScratchpadSize];
    RomCode rom{};

    // Silent: every operation ends at the reset's 32 ms with ExchangeError.
    Build(roms);
    blocks_->setAdapterPresent(false);
    for (auto op : std::vector<std::function<void()>>{
             [&] { OneWireReadDeviceScratchpad(roms[0].data(), pad, blocksPort_); },
             [&] { OneWireStartConversion(nullptr, blocksPort_); },
             [&] {
                 OneWireSearchReset();
                 OneWireSearchNext(rom.data(), blocksPort_);
             }}) {
        const double ms = elapsedMs(op);
        EXPECT_EQ(OneWireLastResult(), ExchangeError);
        EXPECT_GE(ms, ResetEchoLimitMs);
        EXPECT_LT(ms, ResetEchoLimitMs + 1);
    }
    // Silent after the reset: the block's own limit, 2 ms per byte plus 36 (19 bytes).
    blocks_->setAdapterPresent(true);
    blocks_->setEchoBudget(1);
    const double block =
        elapsedMs([&] { OneWireReadDeviceScratchpad(roms[0].data(), pad, blocksPort_); });
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_GE(block, 2 * 19 + 36);
    EXPECT_LT(block, 2 * 19 + 36 + 1 + 1) << "the reset's echo came at once";
    TearDown();

    // 50 ms: past the reset's 32 ms and a slot's 36 ms, so nothing gets through, and every
    // operation gives up at its own limit.
    Build(roms);
    blocks_->setEchoLatencyMicroseconds(50'000);
    const double reset = elapsedMs([&] { OneWireReset(blocksPort_); });
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_LT(reset, ResetEchoLimitMs + 1);
    clock_.advanceMilliseconds(100);
    uint8_t bits[3] = {1, 1, 1};
    const double exchange =
        elapsedMs([&] { OneWireTouchBits(bits, OneWireResolvePort(blocksPort_)); });
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_GE(exchange, SlotEchoLimitMs);
    EXPECT_LT(exchange, SlotEchoLimitMs + 1);
    TearDown();

    // A line held low answers at once: all zeros, each operation far inside its limit.
    Build(roms);
    blocks_->setStuckLow(true);
    const double read = elapsedMs(
        [&] { EXPECT_EQ(OneWireReadDeviceScratchpad(roms[0].data(), pad, blocksPort_), 1); });
    EXPECT_EQ(std::vector<uint8_t>(pad, pad + ScratchpadSize), std::vector<uint8_t>(9, 0));
    EXPECT_LT(read, 2 * 19 + 36);
    OneWireSearchReset();
    const double search =
        elapsedMs([&] { EXPECT_EQ(OneWireSearchNext(rom.data(), blocksPort_), 1); });
    EXPECT_EQ(rom, RomCode{});
    EXPECT_LT(search, 100);
}

}  // namespace
}  // namespace kv
