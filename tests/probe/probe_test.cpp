// kalorivox-probe as a user runs it: against a simulated bus served on a pseudo-terminal
// (in this process, or by the kalorivox-simpty tool), and against the DEMO port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "../sim/sim_test_support.h"
#include "probe_fixture.h"
#include "sim/demo_bus.h"
#include "tests/tools/run_program.h"

namespace kv {
namespace {

using test::Hex;
constexpr auto HangLimit = test::ProbeHangLimit;
using Probe = test::ProbeOnPty;

TEST_F(Probe, PrintsOneLinePerDeviceInSearchOrder) {
    const RomCode a = SimMakeRom(0x28, 0x0417A3C41EFF), b = SimMakeRom(0x28, 0x0316B2A07C5E),
                  c = SimMakeRom(0x28, 0x0000075A91D4), s = SimMakeRom(0x10, 0x0008021B6F3A),
                  other = SimMakeRom(0x01, 0x00000D4C22A1);
    bus->addThermometer(a, 21.5);
    bus->addThermometer(b, -10.125)->setCorruptScratchpadCrc(true);
    bus->addThermometer(c, 85.0, /*parasite=*/true);
    bus->addThermometer(s, -25.0);
    bus->addDevice(other);
    const auto run = probe();
    EXPECT_EQ(run.status, 0) << run.err;

    std::map<RomCode, std::string> tails = {
        {a, "DS18B20\texternal\t21.5000\tok"}, {b, "DS18B20\texternal\t-\tcrc"},
        {c, "DS18B20\tparasite\t85.0000\tok"}, {s, "DS18S20\texternal\t-25.0000\tok"},
        {other, "unknown\texternal\t-\t-"},
    };
    std::string expected;
    for (const RomCode& rom : test::InSearchOrder({a, b, c, s, other}))
        expected += RomCodeText(rom) + "\t" + tails[rom] + "\n";
    EXPECT_EQ(run.out, expected);
}

TEST_F(Probe, EmptyBusIsSearchedAndListsNothing) {
    const auto run = probe();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no device"), std::string::npos) << run.err;
}

TEST_F(Probe, NoAdapterFailsWithAMessage) {
    bus->addThermometer(SimMakeRom(0x28, 1), 20.0);
    bus->setAdapterPresent(false);
    const auto run = probe();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no echo from the adapter"), std::string::npos) << run.err;
}

TEST_F(Probe, LineStuckLowIsReportedAsShortedWithoutGhostDevices) {
    bus->addThermometer(SimMakeRom(0x28, 1), 20.0);
    bus->setStuckLow(true);
    const auto run = probe();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("looks shorted"), std::string::npos) << run.err;
}

TEST_F(Probe, NoisyBusEndsWithinItsBoundsWhateverItReads) {
    for (int i = 0; i < 6; ++i) bus->addThermometer(SimMakeRom(0x28, 0x1000 + i * 77), 20.0);
    bus->setNoise(0.003);  // enough to spoil some searches and readings, not all
    bus->setSeed(11);
    const auto run = probe();
    EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
    // Whatever was read, every line keeps its five fields, and no device shows twice.
    std::set<std::string> roms;
    for (size_t start = 0; start < run.out.size();) {
        const size_t end = run.out.find('\n', start);
        const std::string line = run.out.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
        EXPECT_TRUE(roms.insert(line.substr(0, 16)).second) << line;
        start = end + 1;
    }
}

TEST(ProbeCommand, UsageErrorsAndMissingPorts) {
    auto help = test::RunProgram({KV_PROBE_PATH, "--help"}, HangLimit);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: kalorivox-probe"), std::string::npos);
    auto none = test::RunProgram({KV_PROBE_PATH}, HangLimit);
    EXPECT_EQ(none.status, 1);
    auto missing = test::RunProgram({KV_PROBE_PATH, "ttyKalorivoxMissing9"}, HangLimit);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot open ttyKalorivoxMissing9"), std::string::npos)
        << missing.err;
}

TEST(ProbeCommand, DemoPortListsTheDemoSensors) {
    auto run = test::RunProgram({KV_PROBE_PATH, "DEMO"}, HangLimit);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<RomCode> demo;
    for (const auto& d : SimMakeDemoBus()->devices()) demo.push_back(d->rom());
    std::string romsInOutput;
    size_t lines = 0;
    for (size_t start = 0; start < run.out.size(); ++lines) {
        const size_t end = run.out.find('\n', start);
        romsInOutput += run.out.substr(start, RomCodeText(RomCode{}).size()) + " ";
        EXPECT_NE(run.out.substr(start, end - start).find("\tok"), std::string::npos);
        start = end + 1;
    }
    std::string expected;
    for (const RomCode& rom : test::InSearchOrder(demo)) expected += RomCodeText(rom) + " ";
    EXPECT_EQ(lines, 4u);
    EXPECT_EQ(romsInOutput, expected);
    EXPECT_NE(run.out.find("parasite"), std::string::npos);

    // With the power lines inverted the demo adapter (wired for high) stays unpowered.
    auto inverted = test::RunProgram({KV_PROBE_PATH, "--invert", "DEMO"}, HangLimit);
    EXPECT_EQ(inverted.status, 1);
    EXPECT_EQ(inverted.out, "");
}

// The pty tool as a separate program: it prints its terminal's path and serves the bus
// asked for on its command line.
TEST(ProbeCommand, ReadsTheBusOfThePtyTool) {
    auto server = test::StartProgram(
        {KV_SIMPTY_PATH, "--ds18s20", "10AABBCCDDEEFF:-0.5", "--other", "01AABBCCDDEEFF00"},
        HangLimit);
    ASSERT_EQ(server.firstLine.rfind("/dev/", 0), 0u) << server.firstLine;
    auto run = test::RunProgram({KV_PROBE_PATH, server.firstLine}, HangLimit);
    EXPECT_EQ(test::StopProgram(server), 0);
    EXPECT_EQ(run.status, 0) << run.err;
    // The tool takes codes in bus order; the probe writes them as the window does.
    EXPECT_EQ(run.out,
              "10-FFEEDDCCBBAA-E9\tDS18S20\texternal\t-0.5000\tok\n"
              "01-FFEEDDCCBBAA-00\tunknown\texternal\t-\t-\n");
}

// --inspect through the pty tool: thermometers of the origins their flags name, one JSON
// object each and none for a device of another family; on DEMO, a conclusion per sensor.
TEST(ProbeCommand, InspectsEveryThermometer) {
    auto server =
        test::StartProgram({KV_SIMPTY_PATH, "--ds18b20", "28FF64A1B2C3D4:21:origin=c", "--ds18b20",
                            "28AA1B2C3D4E5F:20:origin=b1:parasite", "--other", "01AABBCCDDEEFF00"},
                           HangLimit);
    ASSERT_EQ(server.firstLine.rfind("/dev/", 0), 0u) << server.firstLine;
    auto run = test::RunProgram({KV_PROBE_PATH, "--inspect", "--format", "json", server.firstLine},
                                HangLimit);
    EXPECT_EQ(test::StopProgram(server), 0);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    for (const char* family : {"\"clone_family\":\"C\"", "\"clone_family\":\"B1\""})
        EXPECT_NE(run.out.find(family), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\"restored\":false"), std::string::npos) << run.out;

    auto demo = test::RunProgram({KV_PROBE_PATH, "--inspect", "DEMO"}, HangLimit);
    EXPECT_EQ(demo.status, 0) << demo.err;
    size_t conclusions = 0;
    for (size_t at = 0; (at = demo.out.find("\n  conclusion ", at)) != std::string::npos; ++at)
        ++conclusions;
    EXPECT_EQ(conclusions, 4u) << demo.out;
    for (const char* said :
         {"matches clone family B2", "matches clone family A2", "consistent with a genuine part"})
        EXPECT_NE(demo.out.find(said), std::string::npos) << demo.out;
}

}  // namespace
}  // namespace kv
