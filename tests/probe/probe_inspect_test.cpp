// The probe's judgement of where a thermometer comes from: every published origin on a
// simulated bus and clock, a genuine part in every state it may be found in, and the rules
// that weigh the checks.
#include <gtest/gtest.h>

#include <memory>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "onewire/transaction.h"
#include "probe/inspect_run.h"
#include "runtime/clock.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "sim/sim_origins.h"
#include "tests/sim/sim_port_fixture.h"
#include "tests/sim/sim_test_support.h"

namespace kv::probe {
namespace {

constexpr char16_t PortName[] = u"ORIGINS";

class Origins : public test::SimPortTest {
  protected:
    Origins() : SimPortTest(PortName, 5) {}
    std::shared_ptr<SimDevice> add(const RomCode& rom, const char* origin, double celsius,
                                   bool parasite = false) {
        auto device = bus->addThermometer(rom, celsius, parasite);
        device->setPart(SimOriginPart(*SimFindOrigin(origin)));
        return device;
    }
    std::string conclusion(const RomCode& rom) {
        const InspectedSensor sensor = InspectSensor(rom, port);
        EXPECT_EQ(sensor.seen.result, Ok);
        EXPECT_TRUE(sensor.seen.restored);
        const OriginJudgement& j = sensor.judgement;
        if (j.conclusion == Conclusion::Clone) return j.clone->name;
        return j.conclusion == Conclusion::Genuine ? "genuine" : "unknown: " + j.reason;
    }
};

// Each origin with its ROM pattern, behind a converter without and with the usual latency;
// the whole look sends no Copy Scratchpad.
TEST_F(Origins, EachPublishedOriginIsNamed) {
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"genuine", "genuine"}, {"b1", "B1"}, {"b2", "B2"}, {"c", "C"},
        {"d1", "D1"},           {"d2", "D2"}, {"a2", "A2"},
    };
    for (int64_t latencyMs : {0, 16}) {
        bus->clearDevices();
        bus->setEchoLatencyMicroseconds(latencyMs * 1000);
        uint64_t serial = 0x7A5C3E1F2D4B;
        for (const auto& [origin, name] : expected) {
            const RomCode rom = SimOriginRom(*SimFindOrigin(origin), serial++);
            add(rom, origin, 21.0 + static_cast<double>(serial % 7) / 16.0);
            bus->recordWire(true);
            EXPECT_EQ(conclusion(rom), name) << origin << " at " << latencyMs << " ms";
            for (const test::WireTransaction& t : test::WireTransactions(bus->wire()))
                EXPECT_NE(t.function, CopyScratchpadCommand);
        }
        const RomCode parasite = SimOriginRom(*SimFindOrigin("genuine"), 0x42);
        add(parasite, "genuine", 19.5, true);
        EXPECT_EQ(conclusion(parasite), "genuine") << "not polled, still known";
        const RomCode s20 = SimMakeRom(FamilyDs18s20, 0x43);
        bus->addThermometer(s20, 22.5);
        EXPECT_EQ(conclusion(s20), "genuine");
    }
}

// A genuine part at any temperature (a count of 0x0C in byte 6 included), at any resolution,
// fresh from power-on or converted before, on either supply and at either latency, is never
// called a clone, not even with a ROM code of a clone's pattern: with a genuine part's ROM
// pattern it is called genuine.
TEST_F(Origins, AGenuinePartIsNeverCalledAClone) {
    const ThermometerOrigin& genuine = *SimFindOrigin("genuine");
    const RomCode roms[] = {
        SimOriginRom(genuine, 0x3C5A17),
        SimOriginRom(genuine, 0x64FF),            // also of family B2's and C's patterns
        SimMakeRom(FamilyDs18b20, 0x2B7A9E11AA),  // byte 1 of family B1's, bytes 5-6 not 00 00
    };
    int inspected = 0;
    for (int64_t latencyMs : {0, 16}) {
        bus->setEchoLatencyMicroseconds(latencyMs * 1000);
        for (double celsius : {21.25, 85.0, -10.125, 0.0, 125.0, 24.9375}) {
            for (int bits : {9, 12}) {
                for (bool parasite : {false, true}) {
                    for (bool converted : {false, true}) {
                        for (const RomCode& rom : roms) {
                            bus->clearDevices();
                            add(rom, "genuine", celsius, parasite)->setResolution(bits);
                            if (converted) {
                                ASSERT_EQ(OneWireStartConversion(rom.data(), port), 1);
                                DelayMs(FullConversionWaitMs);
                            }
                            const std::string said = conclusion(rom);
                            SCOPED_TRACE(RomCodeHex(rom) + " " + std::to_string(celsius) + " °C, " +
                                         std::to_string(bits) + " bits" +
                                         (parasite ? ", parasite" : "") +
                                         (converted ? ", converted before" : ""));
                            if (rom[5] == 0 && rom[6] == 0)
                                EXPECT_EQ(said, "genuine");
                            else
                                EXPECT_TRUE(said == "genuine" || said.starts_with("unknown"))
                                    << said;
                            ++inspected;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(inspected, 2 * 6 * 2 * 2 * 2 * 3);
}

// The rules on their own: the ROM code settles only what the other checks leave open, a part
// that takes a resolution in its register but not in its conversion time has not taken it,
// and a part that could not be read or showed nothing telling is unknown.
TEST(OriginVerdict, WeighsTheChecks) {
    ThermometerInspection seen;
    seen.rom = SimOriginRom(*SimFindOrigin("b2"), 0xA1B2C3D4E5F6);
    EXPECT_EQ(JudgeOrigin(seen).conclusion, Conclusion::Unknown) << "nothing read";
    EXPECT_NE(JudgeOrigin(seen).reason.find("could not be read"), std::string::npos);

    seen.first = Scratchpad{0x51, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0F, 0x10, 0x00};
    seen.external = true;
    OriginJudgement j = JudgeOrigin(seen);
    EXPECT_EQ(j.conclusion, Conclusion::Unknown) << "a ROM pattern alone tells nothing";
    EXPECT_NE(j.reason.find("too little"), std::string::npos) << j.reason;

    // Everything genuine but a clone's ROM code and a conversion that fits that clone too.
    seen.converted = seen.first;
    seen.fullTime = ConversionTime{true, false, 595, 600};
    j = JudgeOrigin(seen);
    EXPECT_EQ(j.conclusion, Conclusion::Unknown);
    EXPECT_NE(j.reason.find("clone family B2"), std::string::npos) << j.reason;
    seen.rom = SimOriginRom(*SimFindOrigin("genuine"), 0x1234);
    EXPECT_EQ(JudgeOrigin(seen).conclusion, Conclusion::Genuine);

    // Both B1 and B2 would take 700 ms; the ROM code settles it, and says so.
    seen.rom = SimOriginRom(*SimFindOrigin("b2"), 0xA1B2C3D4E5F6);
    seen.fullTime = ConversionTime{true, false, 640, 660};
    j = JudgeOrigin(seen);
    ASSERT_EQ(j.conclusion, Conclusion::Clone);
    EXPECT_STREQ(j.clone->name, "B2");
    EXPECT_EQ(j.decidedBy, (std::vector<Check>{Check::ConversionTime}));
    EXPECT_EQ(j.notGenuine, (std::vector<Check>{Check::ConversionTime}));
    seen.converted->at(0) = 0x54;  // byte 6 0x0F is not what a genuine part leaves for 0x4
    seen.rom = SimMakeRom(FamilyDs18b20, 0x0102030405);  // neither B1's pattern nor B2's
    EXPECT_EQ(JudgeOrigin(seen).conclusion, Conclusion::Unknown) << JudgeOrigin(seen).reason;

    // 9 bits read back, but converting at them as long as at 12.
    seen.reducedBits = MinResolutionBits;
    seen.reduced = Scratchpad{0x50, 0x01, 0x4B, 0x46, 0x1F, 0xFF, 0x10, 0x10, 0x00};
    seen.fullTime = ConversionTime{true, false, 28, 30};
    seen.reducedTime = ConversionTime{true, false, 28, 30};
    EXPECT_EQ(ResolutionHonoured(seen), false);
    seen.reducedTime = ConversionTime{true, false, 2, 4};
    EXPECT_EQ(ResolutionHonoured(seen), true);
    seen.reduced->at(ScratchpadConfig) = 0x7F;
    EXPECT_EQ(ResolutionHonoured(seen), false) << "12 bits read back";
}

// --- the published rules against every simulated family, behind a converter with and
// without latency, and with the bus failing at each step ---

namespace cases {

// Echoes up to the reset that opens each transaction of a look at `rom`, as a clean look
// put them on the wire.
std::vector<int64_t> TransactionStarts(SimBus& bus, const RomCode& rom, int32_t port) {
    bus.recordWire(true);
    InspectSensor(rom, port);
    bus.recordWire(false);
    std::vector<int64_t> starts;
    const std::vector<SimBus::WireByte> wire = bus.wire();
    for (size_t i = 0; i < wire.size(); ++i)
        if (wire[i].baud == ResetBaud) starts.push_back(static_cast<int64_t>(i));
    return starts;
}

std::string Said(const InspectedSensor& sensor) {
    return ConclusionText(sensor.judgement);
}

}  // namespace cases

// A family-A3 part has the old counter's ROM code and behaves like a genuine part but for
// its late busy signal after Convert T: at no latency is it called genuine.
TEST_F(Origins, AnA3PartIsNotGenuineAtAnyLatency) {
    for (int64_t latencyMs : {0, 16}) {
        bus->clearDevices();
        bus->setEchoLatencyMicroseconds(latencyMs * 1000);
        const RomCode rom = SimOriginRom(*SimFindOrigin("A3"), 0x5A43E1);
        add(rom, "A3", 21.3);
        const InspectedSensor sensor = InspectSensor(rom, port);
        EXPECT_NE(sensor.judgement.conclusion, Conclusion::Genuine)
            << latencyMs << " ms: " << cases::Said(sensor);
    }
}

// One exchange that fails at any step of the look, behind either converter: no clone is
// called genuine, and a genuine part is never called a clone.
TEST_F(Origins, AnExchangeErrorNeverMakesAPartGenuine) {
    uint64_t serial = 0x3A7C51;
    for (const ThermometerOrigin& origin : ThermometerOrigins(FamilyDs18b20)) {
        for (int64_t latencyMs : {0, 16}) {
            bus->clearDevices();
            bus->setEchoLatencyMicroseconds(latencyMs * 1000);
            const RomCode rom = SimOriginRom(origin, serial++);
            auto part = add(rom, origin.name, 22.6);
            for (int64_t at : cases::TransactionStarts(*bus, rom, port)) {
                part->setPart(SimOriginPart(origin));  // fresh from power-up each time
                bus->holdEcho(at, 100'000);
                const InspectedSensor sensor = InspectSensor(rom, port);
                SCOPED_TRACE(std::string(origin.name) + " at " + std::to_string(latencyMs) +
                             " ms, echo " + std::to_string(at) + " held: " + cases::Said(sensor));
                const Conclusion never = origin.genuine ? Conclusion::Clone : Conclusion::Genuine;
                EXPECT_NE(sensor.judgement.conclusion, never);
                bus->holdEcho(-1, 0);
                DelayMs(200);  // the held echo is long gone
            }
        }
    }
}

// The adapter stalls for 0.4 s after the part's first scratchpad read: what was seen up to
// then (an 85 °C power-up scratchpad, which clones show as well) decides nothing.
TEST_F(Origins, AStallAfterTheFirstReadLeavesTheAnswerOpen) {
    uint64_t serial = 0x2C4E6A;
    for (const ThermometerOrigin& origin : ThermometerOrigins(FamilyDs18b20)) {
        bus->clearDevices();
        const RomCode rom = SimOriginRom(origin, serial++);
        auto part = add(rom, origin.name, 20.4);
        const std::vector<int64_t> starts = cases::TransactionStarts(*bus, rom, port);
        ASSERT_GE(starts.size(), 3u);
        part->setPart(SimOriginPart(origin));
        bus->holdEcho(starts[2], 400'000);  // the reset after Read Power Supply and Read Scratchpad
        const InspectedSensor sensor = InspectSensor(rom, port);
        SCOPED_TRACE(std::string(origin.name) + ": " + cases::Said(sensor));
        EXPECT_NE(sensor.seen.result, Ok);
        if (origin.genuine) {
            EXPECT_EQ(sensor.judgement.conclusion, Conclusion::Unknown);
        } else {
            EXPECT_NE(sensor.judgement.conclusion, Conclusion::Genuine);
        }
        bus->holdEcho(-1, 0);
        DelayMs(500);
    }
}

// B1 and B2 both write the third byte of Write Scratchpad into byte 6; only the ROM code
// tells them apart, and B1's is 28-AA-...
TEST_F(Origins, B1IsNamedB1) {
    for (int64_t latencyMs : {0, 16}) {
        bus->clearDevices();
        bus->setEchoLatencyMicroseconds(latencyMs * 1000);
        const RomCode b1 = SimOriginRom(*SimFindOrigin("B1"), 0x61553C);
        ASSERT_EQ(b1[1], 0xAA);
        add(b1, "B1", 23.1);
        EXPECT_EQ(cases::Said(InspectSensor(b1, port)), "matches clone family B1")
            << latencyMs << " ms";
    }
}

// The research's own family-D1 example ROM code is a clone's, whatever the part does: with
// a genuine part's behaviour it is not called genuine, with D1's it is named D1.
TEST_F(Origins, TheResearchD1ExampleRomIsAClone) {
    RomCode rom{};
    ASSERT_TRUE(SimParseRom("28481B77911702", rom));
    ASSERT_EQ(rom[7], 0x55) << "the example's own CRC byte";
    for (const char* behaviour : {"genuine", "D1"}) {
        bus->clearDevices();
        add(rom, behaviour, 21.7);
        const InspectedSensor sensor = InspectSensor(rom, port);
        EXPECT_NE(sensor.judgement.conclusion, Conclusion::Genuine) << cases::Said(sensor);
        if (std::string(behaviour) == "D1") {
            EXPECT_EQ(cases::Said(sensor), "matches clone family D1");
        }
    }
}

}  // namespace
}  // namespace kv::probe
