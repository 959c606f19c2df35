// The close look at a thermometer on a simulated bus and clock: what it may send the part,
// that it leaves the part as it found it, and how well it times a conversion.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "onewire/bus.h"
#include "onewire/conversion_time.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/thermometer_inspection.h"
#include "onewire/transaction.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "sim/sim_origins.h"
#include "tests/sim/sim_port_fixture.h"
#include "tests/sim/sim_test_support.h"

namespace kv {
namespace {

constexpr char16_t PortName[] = u"INSPECT";
constexpr int64_t Ms = 1000;

class Inspection : public test::SimPortTest {
  protected:
    Inspection() : SimPortTest(PortName, 3) {}
    std::shared_ptr<SimDevice> add(const char* origin, uint64_t serial, double celsius,
                                   bool parasite = false) {
        const ThermometerOrigin& o = *SimFindOrigin(origin);
        auto device = bus->addThermometer(SimOriginRom(o, serial), celsius, parasite);
        device->setPart(SimOriginPart(o));
        return device;
    }

    MeasureWait wait = [](int32_t ms) {
        DelayMs(ms);
        return true;
    };
};

// Every kind of part, each found with a scratchpad that differs from its EEPROM: afterwards
// the scratchpad's writable bytes and the EEPROM are what they were, and the wire carried
// datasheet commands only, Copy Scratchpad never. Only a part with its own supply is polled
// after Convert T.
TEST_F(Inspection, LeavesEveryPartAsFoundWithDatasheetCommandsOnly) {
    std::vector<std::shared_ptr<SimDevice>> parts = {
        add("genuine", 1, 21.5), add("genuine", 2, -10.125, true), add("c", 3, 30.0),
        add("d1", 4, 25.5), add("b1", 5, 4.0), add("a3", 8, 19.0), add("e", 9, 23.0),
        // No busy signal, no EEPROM, always 12 bits.
        add("f", 10, 27.5),
        // No parasite power: every conversion browns it out to its power-on state.
        add("d2", 6, 18.0, true)};
    parts.push_back(bus->addThermometer(SimMakeRom(FamilyDs18s20, 7), 22.5));
    for (auto& part : parts) {
        const RomCode rom = part->rom();
        const bool b20 = rom[0] == FamilyDs18b20;
        const uint8_t found[] = {0x1E, static_cast<uint8_t>(-5), 0x3F};  // 10 bits
        ASSERT_EQ(OneWireWriteDeviceScratchpad(rom.data(), found, b20 ? 3 : 2, port), 1);
        const std::vector<uint8_t> before = part->scratchpadNow(), eeprom = part->eepromNow();

        bus->recordWire(true);
        const ThermometerInspection seen = OneWireInspectThermometer(rom, port, wait);
        bus->recordWire(false);

        SCOPED_TRACE(RomCodeHex(rom));
        EXPECT_EQ(seen.result, Ok);
        EXPECT_TRUE(seen.restored);
        ASSERT_TRUE(seen.first && seen.stored && seen.written && seen.recalled && seen.converted);
        const std::vector<uint8_t> after = part->scratchpadNow();
        EXPECT_EQ(std::vector<uint8_t>(after.begin() + 2, after.begin() + (b20 ? 5 : 4)),
                  std::vector<uint8_t>(before.begin() + 2, before.begin() + (b20 ? 5 : 4)));
        EXPECT_EQ(part->eepromNow(), eeprom);
        // A part with an EEPROM recalls it over what was found and over the bytes written,
        // one without (E, F) keeps them.
        const bool recalls = (*seen.stored)[ScratchpadTh] != 0x1E;
        EXPECT_EQ(recalls, !(rom == parts[6]->rom() || rom == parts[7]->rom()));
        EXPECT_EQ((*seen.written)[ScratchpadTh], seen.probe[0]);
        EXPECT_EQ((*seen.recalled)[ScratchpadTh], recalls ? eeprom[0] : seen.probe[0]);
        EXPECT_EQ(seen.reducedBits != 0, b20);

        const std::set<int> allowed = {ReadPowerSupplyCommand, ReadScratchpadCommand,
                                       RecallEepromCommand, WriteScratchpadCommand,
                                       ConvertTCommand};
        int conversions = 0;
        for (const test::WireTransaction& t : test::WireTransactions(bus->wire())) {
            EXPECT_EQ(t.romCommand, MatchRomCommand);
            EXPECT_EQ(t.rom, rom) << "no other device is addressed";
            EXPECT_TRUE(allowed.count(t.function)) << "command " << t.function;
            EXPECT_NE(t.function, CopyScratchpadCommand);
            if (t.function != ConvertTCommand) continue;
            ++conversions;
            EXPECT_EQ(t.slotsAfter > 0, *seen.external) << "polled only with its own supply";
        }
        EXPECT_EQ(conversions, *seen.external && b20 ? 2 : 1);
    }
}

// However late the echoes come, the conversion's true length lies after busyMs and by
// doneMs: the command's own round trips, a poll's and a last echo widen the span by up to
// four latencies, beside the command's wire time and a poll's spacing.
// The slot right after Convert T finds a part busy at once, an A3 part not yet, and an F part
// never signals at all.
TEST_F(Inspection, ConversionTimeBracketsTheTrueLengthAtAnyLatency) {
    for (const char* origin : {"d1", "c", "a2", "genuine", "a3", "f"}) {
        for (int64_t latencyMs : {0, 16}) {
            bus->clearDevices();
            bus->setEchoLatencyMicroseconds(latencyMs * Ms);
            auto part = add(origin, 9, 20.0);
            ConversionTime t;
            ASSERT_EQ(OneWireTimeConversion(part->rom(), port, wait, t), 1);
            SCOPED_TRACE(std::string(origin) + " at " + std::to_string(latencyMs) + " ms");
            const SimPart sim = SimOriginPart(*SimFindOrigin(origin));
            EXPECT_EQ(t.busyAtOnce, sim.busy == BusySignal::AtOnce);
            if (sim.busy == BusySignal::None) {
                EXPECT_TRUE(t.noBusySignal);
                EXPECT_FALSE(t.ended);
                continue;
            }
            const int64_t trueMs = sim.conversionUs / Ms;
            EXPECT_TRUE(t.ended);
            EXPECT_LE(t.busyMs, trueMs);
            EXPECT_GE(t.doneMs, trueMs);
            EXPECT_LE(t.doneMs - t.busyMs, 4 * latencyMs + 8 + 2 * ConversionPollSpacingMs + 2);
        }
    }
    bus->setEchoLatencyMicroseconds(0);
}

// A stop during a conversion ends the look at once, and the part is still put back.
TEST_F(Inspection, AStopStillPutsTheScratchpadBack) {
    for (bool parasite : {false, true}) {
        bus->clearDevices();
        auto part = add("genuine", 11, 20.0, parasite);
        const uint8_t found[] = {0x20, 0x10, 0x5F};
        ASSERT_EQ(OneWireWriteDeviceScratchpad(part->rom().data(), found, 3, port), 1);
        const ThermometerInspection seen =
            OneWireInspectThermometer(part->rom(), port, [](int32_t) { return false; });
        EXPECT_TRUE(seen.cutShort);
        EXPECT_FALSE(seen.converted);
        EXPECT_TRUE(seen.restored);
        EXPECT_EQ(part->scratchpadNow()[4], 0x5F);
    }
}

}  // namespace
}  // namespace kv
