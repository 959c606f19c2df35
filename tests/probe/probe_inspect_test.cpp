// The probe's judgement of where a thermometer comes from: every published origin on a
// simulated bus and clock, a genuine part in every state it may be found in, and the rules
// that weigh the checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/rom_code_text.h"
#include "onewire/thermometer_family.h"
#include "onewire/transaction.h"
#include "onewire/uart/encoding.h"
#include "probe/inspect_run.h"
#include "probe/probe_bus.h"
#include "probe/stop_signal.h"
#include "runtime/clock.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "sim/sim_origins.h"
#include "tests/runtime/temp_folder.h"
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
    // A look that went through and left the part as found.
    InspectedSensor inspect(const RomCode& rom) {
        const InspectedSensor sensor = InspectSensor(rom, port);
        EXPECT_EQ(sensor.seen.result, Ok);
        EXPECT_TRUE(sensor.seen.restored);
        return sensor;
    }
};

// Each origin with its ROM pattern is named, with no converter latency; behind a converter
// at 16 ms the clones still are, and a genuine part is unknown until the latency is lowered,
// as its conversion time is then too coarse to confirm. No look sends Copy Scratchpad.
TEST_F(Origins, EachPublishedOriginIsNamed) {
    for (int64_t latencyMs : {0, 16}) {
        bus->clearDevices();
        bus->setEchoLatencyMicroseconds(latencyMs * 1000);
        uint64_t serial = 0x7A5C3E1F2D4B;
        for (const ThermometerOrigin& origin : ThermometerOrigins(FamilyDs18b20)) {
            const RomCode rom = SimOriginRom(origin, serial++);
            add(rom, origin.name, 21.0 + static_cast<double>(serial % 7) / 16.0);
            bus->recordWire(true);
            const InspectedSensor sensor = inspect(rom);
            const std::string said = ConclusionText(sensor.judgement);
            SCOPED_TRACE(std::string(origin.name) + " at " + std::to_string(latencyMs) + " ms");
            if (!origin.genuine) {
                EXPECT_EQ(said, "matches clone family " + std::string(origin.name));
            } else if (latencyMs == 0) {
                EXPECT_EQ(said, "consistent with a genuine part");
            } else {
                EXPECT_EQ(sensor.judgement.conclusion, Conclusion::Unknown) << said;
                EXPECT_NE(sensor.judgement.suggestion.find("latency"), std::string::npos);
            }
            for (const test::WireTransaction& t : test::WireTransactions(bus->wire()))
                EXPECT_NE(t.function, CopyScratchpadCommand);
        }
        const RomCode parasite = SimOriginRom(*SimFindOrigin("genuine"), 0x42);
        add(parasite, "genuine", 19.5, true);
        EXPECT_EQ(ConclusionText(inspect(parasite).judgement), "consistent with a genuine part")
            << "not polled, still known";
        const ThermometerOrigin& s20 = ThermometerOrigins(FamilyDs18s20).front();
        const RomCode s20Rom = SimMakeRom(FamilyDs18s20, 0x43);
        bus->addThermometer(s20Rom, 22.5)->setPart(SimOriginPart(s20));
        EXPECT_EQ(ConclusionText(inspect(s20Rom).judgement), "consistent with a genuine part");
    }
}

// A genuine part at any temperature, at any resolution, fresh from power-on or converted
// before, on either supply, at either latency, with a common or an old counter's ROM code, is
// never called a clone. It is called genuine whenever every check its supply allows could be
// made: not when a conversion time is too coarse (16 ms) or taken outside room temperature,
// nor on parasite power with the old counter's ROM code, which family A3 shares and which
// only the busy signal of a part with its own supply tells apart.
TEST_F(Origins, AGenuinePartIsGenuineOrUnknown) {
    const ThermometerOrigin& genuine = *SimFindOrigin("genuine");
    const RomCode roms[] = {SimOriginRom(genuine, 0x3C5A17), SimMakeRom(FamilyDs18b20, 0x5A43E1)};
    ASSERT_TRUE(RomFitsOrigin(*SimFindOrigin("A3"), roms[1])) << "the old counter's range";
    int inspected = 0;
    for (int64_t latencyMs : {0, 16}) {
        bus->setEchoLatencyMicroseconds(latencyMs * 1000);
        for (double celsius : {21.25, 85.0, -10.125, 0.0, 24.9375}) {
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
                            const OriginJudgement j = inspect(rom).judgement;
                            SCOPED_TRACE(RomCodeHex(rom) + " " + std::to_string(celsius) + " °C, " +
                                         std::to_string(bits) + " bits" +
                                         (parasite ? ", parasite" : "") +
                                         (converted ? ", converted before" : "") + ", " +
                                         std::to_string(latencyMs) + " ms: " + ConclusionText(j));
                            const bool timed = latencyMs == 0 && celsius >= 0 && celsius <= 30;
                            const bool told = parasite ? rom == roms[0] : timed;
                            EXPECT_EQ(j.conclusion,
                                      told ? Conclusion::Genuine : Conclusion::Unknown);
                            EXPECT_EQ(j.suggestion.empty(), told);
                            ++inspected;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(inspected, 2 * 5 * 2 * 2 * 2 * 2);
}

// Every combination of the evidence the judgement weighs: each origin's part as the
// inspection saw it, on either supply, at room temperature and at 45 °C, fresh and converted
// before, its own ROM code and (for families that something else than the ROM code and the
// timing gives away) one of the genuine pattern; then every subset of what the inspection
// saw after the first scratchpad, with the conversion times as seen and widened by 30 ms.
// No clone is ever called genuine; a genuine part is never called a clone, is genuine with
// everything seen, and unknown, with something to do about it, as soon as anything it
// needs is missing (a conversion that failed for want of power included).
TEST_F(Origins, NoEvidenceMakesACloneGenuineOrAGenuinePartAClone) {
    using Field = std::function<void(ThermometerInspection&)>;
    const std::vector<Field> drops = {
        [](ThermometerInspection& s) { s.stored.reset(); },
        [](ThermometerInspection& s) { s.written.reset(); },
        [](ThermometerInspection& s) { s.recalled.reset(); },
        [](ThermometerInspection& s) { s.converted.reset(); },
        [](ThermometerInspection& s) { s.fullTime.reset(); },
        [](ThermometerInspection& s) { s.reduced.reset(); },
        [](ThermometerInspection& s) { s.reducedTime.reset(); },
    };
    auto present = [](const ThermometerInspection& s, size_t field) {
        const bool has[] = {s.stored.has_value(),     s.written.has_value(),
                            s.recalled.has_value(),   s.converted.has_value(),
                            s.fullTime.has_value(),   s.reduced.has_value(),
                            s.reducedTime.has_value()};
        return has[field];
    };
    auto widen = [](std::optional<ConversionTime>& t, int32_t ms) {
        if (!t || !t->ended) return;
        t->busyMs = std::max(0, t->busyMs - ms);
        t->doneMs += ms;
    };
    const char* distinctWithoutTiming[] = {"B1", "B2", "C", "D1", "D2", "E", "F", "G"};
    int64_t judged = 0, genuineSaid = 0;
    uint64_t serial = 0x1D2C3B;
    for (const ThermometerOrigin& origin : ThermometerOrigins(FamilyDs18b20)) {
        std::vector<RomCode> roms = {SimOriginRom(origin, serial++)};
        for (const char* name : distinctWithoutTiming)
            if (std::string(name) == origin.name)
                roms.push_back(SimOriginRom(*SimFindOrigin("genuine"), serial++));
        for (const RomCode& rom : roms) {
            for (bool parasite : {false, true}) {
                for (double celsius : {21.3125, 45.0}) {
                    for (bool converted : {false, true}) {
                        bus->clearDevices();
                        add(rom, origin.name, celsius, parasite);
                        if (converted) {
                            ASSERT_EQ(OneWireStartConversion(rom.data(), port), 1);
                            DelayMs(FullConversionWaitMs);
                        }
                        const ThermometerInspection full = inspect(rom).seen;
                        if (origin.genuine && full.converted) {
                            // A conversion that failed for want of power: 127.94 °C, byte 6
                            // left at 0C.
                            ThermometerInspection failed = full;
                            (*failed.converted)[0] = 0xFF;
                            (*failed.converted)[1] = 0x07;
                            (*failed.converted)[ScratchpadCountRemain] = 0x0C;
                            EXPECT_EQ(JudgeOrigin(failed).conclusion, Conclusion::Unknown);
                        }
                        for (uint32_t subset = 0; subset < (1u << drops.size()); ++subset) {
                            for (int32_t widening : {0, 30}) {
                                ThermometerInspection seen = full;
                                bool dropped = false;
                                for (size_t f = 0; f < drops.size(); ++f) {
                                    if (!(subset & (1u << f))) continue;
                                    dropped = dropped || present(seen, f);
                                    drops[f](seen);
                                }
                                if (dropped) seen.result = ExchangeError;
                                widen(seen.fullTime, widening);
                                widen(seen.reducedTime, widening);
                                const OriginJudgement j = JudgeOrigin(seen);
                                ++judged;
                                SCOPED_TRACE(std::string(origin.name) + " " + RomCodeHex(rom) +
                                             (parasite ? " parasite " : " ") +
                                             std::to_string(celsius) + " °C subset " +
                                             std::to_string(subset) + " widened " +
                                             std::to_string(widening) + ": " + ConclusionText(j));
                                if (!origin.genuine) {
                                    ASSERT_NE(j.conclusion, Conclusion::Genuine);
                                    continue;
                                }
                                ASSERT_NE(j.conclusion, Conclusion::Clone);
                                const bool complete =
                                    !dropped && (parasite || (widening == 0 && celsius <= 30));
                                ASSERT_EQ(j.conclusion,
                                          complete ? Conclusion::Genuine : Conclusion::Unknown);
                                if (complete) {
                                    ++genuineSaid;
                                } else {
                                    ASSERT_FALSE(j.reason.empty());
                                    ASSERT_FALSE(j.suggestion.empty());
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(genuineSaid, 0);
    EXPECT_EQ(judged, (13 + 8) * 2 * 2 * 2 * 128 * 2);
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

// B1 (589-728 ms) and B2 (587-697 ms) differ only in their ROM codes. A conversion time
// known only to lie between 660 and 705 ms fits B1's span but not surely B2's: that favours
// neither, and the ROM code still names each.
TEST_F(Origins, AWiderSpanNamesNoFamily) {
    for (const char* origin : {"B1", "B2"}) {
        bus->clearDevices();
        const RomCode rom = SimOriginRom(*SimFindOrigin(origin), 0x5C2B91);
        add(rom, origin, 21.9);
        ThermometerInspection seen = inspect(rom).seen;
        ASSERT_TRUE(seen.fullTime && seen.fullTime->ended);
        seen.fullTime->busyMs = 660;
        seen.fullTime->doneMs = 705;
        EXPECT_EQ(ConclusionText(JudgeOrigin(seen)), "matches clone family " + std::string(origin));
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

// The simulated clock, and a stop signal at the first pause it is asked for.
class StopAtFirstPause final : public TimeSource {
  public:
    explicit StopAtFirstPause(SimClock& clock) : clock_(clock) {}
    int64_t nowMicroseconds() override { return clock_.nowMicroseconds(); }
    void sleepMilliseconds(int32_t milliseconds) override {
        SetStopRequested(true);
        clock_.sleepMilliseconds(milliseconds);
    }
    void sleepMicroseconds(int64_t microseconds) override {
        clock_.sleepMicroseconds(microseconds);
    }

  private:
    SimClock& clock_;
};

// A stop during the first part's conversion ends its look, which still puts its scratchpad
// back, and every other part found is listed as not inspected, none of them converted.
TEST_F(Origins, AStopListsEveryPartFound) {
    std::vector<std::shared_ptr<SimDevice>> parts;
    uint64_t serial = 0x4B3A29;
    for (const char* origin : {"genuine", "C", "D2"})
        parts.push_back(add(SimOriginRom(*SimFindOrigin(origin), serial++), origin, 20.5));
    Options options;
    options.port = "ORIGINS";
    options.inspect = true;
    const testing::TempFolder folder;
    std::FILE* out = std::fopen(folder.File("inspect.txt").c_str(), "w+b");
    ASSERT_NE(out, nullptr);
    OneWireClose(port);
    ProbeBus bus(options);
    ASSERT_TRUE(bus.open());
    int status = 0;
    {
        StopAtFirstPause stopping(clock);
        ScopedTimeSource stop(&stopping);
        status = RunInspection(options, bus, out);
    }
    bus.close();
    SetStopRequested(false);
    std::string text(1 << 16, '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    EXPECT_EQ(status, 1);
    int inspected = 0;
    for (const auto& part : parts) {
        const std::string rom = RomCodeText(part->rom());
        if (text.find(rom + "  DS18B20\n") != std::string::npos) {
            ++inspected;
            EXPECT_NE(text.find("  stopped "), std::string::npos) << text;
            EXPECT_NE(text.find("  put back                 yes"), std::string::npos) << text;
            continue;
        }
        EXPECT_NE(text.find(rom + "  stopped: not inspected"), std::string::npos) << text;
        EXPECT_EQ(part->conversions(), 0);
    }
    EXPECT_EQ(inspected, 1) << text;
}

}  // namespace
}  // namespace kv::probe
