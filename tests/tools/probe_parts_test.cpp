// The probe's pieces that need no bus: its command line, its number and time texts, and
// the DS18B20 configuration byte it writes.
#include <gtest/gtest.h>

#include "onewire/ds18x20.h"
#include "sim/sim_device.h"
#include "tools/probe/json_text.h"
#include "tools/probe/options.h"
#include "tools/probe/record_format.h"

namespace kv::probe {
namespace {

bool Parse(std::vector<const char*> args, Options& options, std::string& error) {
    args.insert(args.begin(), "kalorivox-probe");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(ProbeOptions, DefaultIsOnePassInTheProbesOwnLines) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"ttyUSB0"}, o, error)) << error;
    EXPECT_EQ(o.port, "ttyUSB0");
    EXPECT_EQ(o.count, 1);
    EXPECT_FALSE(o.repeats());
    EXPECT_EQ(o.format, Format::Lines);
    EXPECT_EQ(o.resolution, 0);
    EXPECT_TRUE(o.mqttHost.empty());
    EXPECT_EQ(o.topicPrefix, "kalorivox");
}

TEST(ProbeOptions, EveryRunsUntilStoppedAndCountBoundsIt) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--every", "60", "DEMO"}, o, error)) << error;
    EXPECT_EQ(o.everySeconds, 60);
    EXPECT_EQ(o.count, 0);
    Options counted;
    ASSERT_TRUE(Parse({"--count", "5", "DEMO"}, counted, error)) << error;
    EXPECT_EQ(counted.count, 5);
    EXPECT_EQ(counted.everySeconds, 0);
}

TEST(ProbeOptions, BrokerAddressForms) {
    struct Case {
        const char* text;
        std::string host;
        int port;
    };
    for (const Case& c : {Case{"broker", "broker", 1883}, Case{"10.0.0.2:8883", "10.0.0.2", 8883},
                          Case{"[::1]", "::1", 1883}, Case{"[fe80::1]:1884", "fe80::1", 1884}}) {
        Options o;
        std::string error;
        ASSERT_TRUE(Parse({"--mqtt", c.text, "DEMO"}, o, error)) << c.text << ": " << error;
        EXPECT_EQ(o.mqttHost, c.host);
        EXPECT_EQ(o.mqttPort, c.port);
    }
}

TEST(ProbeOptions, RefusesWhatItCannotUse) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"DEMO", "ttyS0"},
        {"--every", "0", "DEMO"},
        {"--every", "1.5", "DEMO"},
        {"--every", "DEMO"},
        {"--count", "-1", "DEMO"},
        {"--count", "", "DEMO"},
        {"--count", "18446744073709551617", "DEMO"},  // 2^64 + 1: wraps to 1 unchecked
        {"--every", "86401", "DEMO"},
        {"--format", "xml", "DEMO"},
        {"--resolution", "8", "DEMO"},
        {"--resolution", "13", "DEMO"},
        {"--save-resolution", "DEMO"},
        {"--mqtt", ":1883", "DEMO"},
        {"--mqtt", "host:65536", "DEMO"},
        {"--mqtt", "[::1", "DEMO"},
        {"--mqtt", "host", "--topic", "a/+/b", "DEMO"},
        {"--mqtt", "host", "--topic", "", "DEMO"},
        {"--mqtt", "host", "--topic", "a/", "DEMO"},
        {"--mqtt-password-file", "f", "--mqtt", "host", "DEMO"},
        {"--prometheus", "", "DEMO"},
        {"--verbose", "DEMO"},
        {"DEMO", "--every"},
        {"--inspect", "--every", "5", "DEMO"},
        {"--inspect", "--count", "2", "DEMO"},
        {"--inspect", "--format", "csv", "DEMO"},
        {"--inspect", "--resolution", "9", "DEMO"},
        {"--inspect", "--prometheus", "f", "DEMO"},
    };
    for (const auto& args : bad) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << (args.empty() ? "(nothing)" : args[0]);
        EXPECT_FALSE(error.empty());
    }
}

TEST(ProbeText, DecimalsAsPlainAsTheyCome) {
    EXPECT_EQ(DecimalText(21.5), "21.5");
    EXPECT_EQ(DecimalText(-0.25), "-0.25");
    EXPECT_EQ(DecimalText(85.0), "85");
    EXPECT_EQ(DecimalText(0.0), "0");
    EXPECT_EQ(DecimalText(-0.0), "0");
    EXPECT_EQ(DecimalText(-10.125), "-10.125");
    EXPECT_EQ(DecimalText(25.0625), "25.0625");
    EXPECT_EQ(DecimalText(-55.0), "-55");
    EXPECT_EQ(DecimalText(120.0), "120");
}

TEST(ProbeText, UtcTimesInIso8601) {
    using namespace std::chrono;
    EXPECT_EQ(IsoUtcText(sys_days{2026y / December / 7} + 14h + 3min + 9s + 999ms),
              "2026-12-07T14:03:09Z");
    EXPECT_EQ(IsoUtcText(sys_days{1970y / January / 1}), "1970-01-01T00:00:00Z");
    EXPECT_EQ(IsoUtcText(sys_days{2028y / February / 29} + 23h + 59min + 59s),
              "2028-02-29T23:59:59Z");
}

TEST(ProbeText, JsonStringsAreQuotedSafely) {
    EXPECT_EQ(JsonString("ok"), "\"ok\"");
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("tab\there\n"), "\"tab\\u0009here\\u000a\"");
    EXPECT_EQ(JsonString("°C"), "\"°C\"");
}

TEST(Ds18b20Config, ResolutionBitsRoundTripAndClamp) {
    EXPECT_EQ(ResolutionConfig(9), 0x1F);
    EXPECT_EQ(ResolutionConfig(10), 0x3F);
    EXPECT_EQ(ResolutionConfig(11), 0x5F);
    EXPECT_EQ(ResolutionConfig(12), 0x7F);
    for (int bits = MinResolutionBits; bits <= MaxResolutionBits; ++bits)
        EXPECT_EQ(ResolutionFromConfig(ResolutionConfig(bits)), bits);
    EXPECT_EQ(ResolutionConfig(4), 0x1F);
    EXPECT_EQ(ResolutionConfig(99), 0x7F);
    EXPECT_EQ(ResolutionFromConfig(0xFF), 12);  // the reserved bits play no part
}

TEST(Ds18b20Config, RomCrcOkChecksTheLastByte) {
    RomCode rom = SimMakeRom(0x28, 0x0417A3C41EFF);
    EXPECT_TRUE(RomCrcOk(rom.data()));
    rom[7] ^= 0x80;
    EXPECT_FALSE(RomCrcOk(rom.data()));
    rom = SimMakeRom(0x28, 0x0417A3C41EFF);
    rom[3] ^= 0x01;
    EXPECT_FALSE(RomCrcOk(rom.data()));
    EXPECT_FALSE(RomCrcOk(nullptr));
}

}  // namespace
}  // namespace kv::probe
