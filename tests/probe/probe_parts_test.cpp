// The probe's pieces that need no bus: its command line, its number and time texts, and
// the DS18B20 configuration byte it writes.
#include <gtest/gtest.h>

#include "monitor/sensor_names.h"
#include "onewire/ds18x20.h"
#include "probe/mqtt_topics.h"
#include "probe/options.h"
#include "probe/record_format.h"
#include "runtime/json_text.h"
#include "sim/sim_device.h"

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
    for (const Case& c :
         {Case{"127.0.0.1", "127.0.0.1", 1883}, Case{"127.0.0.2:8883", "127.0.0.2", 8883},
          Case{"[::1]", "::1", 1883}, Case{"[::1]:1884", "::1", 1884}}) {
        Options o;
        std::string error;
        ASSERT_TRUE(Parse({"--mqtt", c.text, "DEMO"}, o, error)) << c.text << ": " << error;
        EXPECT_EQ(o.mqttHost, c.host);
        EXPECT_EQ(o.mqttPort, c.port);
    }
}

TEST(ProbeOptions, LivePageAndNode) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--every", "1", "--http", "8080", "--limits", "-10:25", "--mqtt",
                       "127.0.0.1", "--node", "cellar-pi", "DEMO"},
                      o, error))
        << error;
    EXPECT_EQ(o.httpAddress, "127.0.0.1");
    EXPECT_EQ(o.httpPort, 8080);
    EXPECT_TRUE(o.limitsOn);
    EXPECT_EQ(o.thermoMin, -10);
    EXPECT_EQ(o.thermoMax, 25);
    EXPECT_EQ(o.node, "cellar-pi");
    EXPECT_EQ(DefaultNode("boiler.local", "usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0"),
              "boiler_local_usb-FTDI_FT232R_A50285BI-if00-port0");
    EXPECT_EQ(DefaultNode("pi", "", "/dev/pts/3"), "pi_pts_3");
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
        {"--mqtt", "127.0.0.1:65536", "DEMO"},
        {"--mqtt", "[::1", "DEMO"},
        {"--mqtt", "127.0.0.1", "--topic", "a/+/b", "DEMO"},
        {"--mqtt", "127.0.0.1", "--topic", "", "DEMO"},
        {"--mqtt", "127.0.0.1", "--topic", "a/", "DEMO"},
        {"--mqtt-password-file", "f", "--mqtt", "127.0.0.1", "DEMO"},
        {"--prometheus", "", "DEMO"},
        {"--verbose", "DEMO"},
        {"DEMO", "--every"},
        {"--inspect", "--every", "5", "DEMO"},
        {"--inspect", "--count", "2", "DEMO"},
        {"--inspect", "--format", "csv", "DEMO"},
        {"--inspect", "--resolution", "9", "DEMO"},
        {"--inspect", "--prometheus", "f", "DEMO"},
        {"--http", "8080", "DEMO"},  // a page of one pass
        {"--every", "1", "--http", "localhost:8080", "DEMO"},
        {"--every", "1", "--http", "0", "DEMO"},
        {"--every", "1", "--limits", "20:22", "DEMO"},
        {"--every", "1", "--http", "8080", "--limits", "22:20", "DEMO"},
        {"--every", "1", "--http", "8080", "--limits", "-60:20", "DEMO"},
        {"--every", "1", "--http-token-file", "t", "DEMO"},
        {"--every", "1", "--node", "pi", "DEMO"},
        {"--every", "1", "--mqtt", "127.0.0.1", "--node", "a/b", "DEMO"},
        {"--every", "1", "--mqtt", "127.0.0.1", "--node", "", "DEMO"},
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

// The window's form of a ROM code: family, serial most significant byte first, CRC.
std::string WindowForm(const RomCode& rom) {
    const std::string hex = RomCodeHex(rom);
    std::string serial;
    for (int i = 6; i >= 1; --i) serial += hex.substr(static_cast<size_t>(2 * i), 2);
    return hex.substr(0, 2) + "-" + serial + "-" + hex.substr(14, 2);
}

TEST(ProbeNames, BothRomFormsCommentsAndTheLineOfAMistake) {
    const RomCode a = SimMakeRom(0x28, 0x0417A3C41EFF), b = SimMakeRom(0x10, 0x0008021B6F3A);
    std::string lower = RomCodeHex(a);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    NameMap names;
    std::string error;
    ASSERT_TRUE(ParseSensorNames("\xEF\xBB\xBF# heating\n\n" + lower + " = Котёл подача\r\n  " +
                                     WindowForm(b) + "=  Back, \"room\" = 2  \n# end",
                                 names, error))
        << error;
    EXPECT_EQ(names, (NameMap{{a, "Котёл подача"}, {b, "Back, \"room\" = 2"}}));

    RomCode spoilt = a;
    spoilt[7] ^= 1;
    const std::string good = RomCodeHex(a) + " = x\n";
    for (const auto& [text, line] : std::vector<std::pair<std::string, int>>{
             {"28FF1EC4 = short", 1},
             {"# fine\n" + RomCodeHex(a) + " no separator", 2},
             {good + RomCodeHex(b) + " = ", 2},
             {RomCodeHex(spoilt) + " = typo", 1},
             {good + "\n" + WindowForm(a) + " = twice", 3},
             {good + RomCodeHex(b) + " = a\tb", 2},
             {good + good.substr(0, 19) + "\xFF\xFE", 2},
             {"28_0417A3C41EFF_50 = underscores", 1},
         }) {
        NameMap kept = {{a, "kept"}};
        EXPECT_FALSE(ParseSensorNames(text, kept, error)) << text;
        EXPECT_EQ(error.rfind("line " + std::to_string(line) + ": ", 0), 0u)
            << text << ": " << error;
        EXPECT_EQ(kept, (NameMap{{a, "kept"}})) << "a file with a mistake changes nothing";
    }
}

TEST(ProbeText, NamedRecordsQuoteWhatNeedsIt) {
    Reading r;
    r.rom = SimMakeRom(0x28, 0x0417A3C41EFF);
    r.verdict = Verdict::Ok;
    r.celsius = 21.5f;
    r.power = "external";
    r.name = "Котёл, \"подача\"";
    EXPECT_EQ(HeaderText(Format::Csv, true), HeaderText(Format::Csv, false) + ",name");
    const std::string csv = RecordText(Format::Csv, r, true);
    EXPECT_EQ(csv, RecordText(Format::Csv, r, false) + ",\"Котёл, \"\"подача\"\"\"");
    const std::string json = RecordText(Format::Json, r, true);
    const std::string named = ",\"name\":\"Котёл, \\\"подача\\\"\"}";
    EXPECT_EQ(json.substr(json.size() - named.size()), named);
    EXPECT_EQ(RecordText(Format::Tsv, r, true), RecordText(Format::Tsv, r, false) + "\t" + r.name);
    r.name.clear();
    EXPECT_EQ(RecordText(Format::Csv, r, true), RecordText(Format::Csv, r, false) + ",");
    EXPECT_NE(RecordText(Format::Json, r, true).find(",\"name\":null}"), std::string::npos);
}

}  // namespace
}  // namespace kv::probe
