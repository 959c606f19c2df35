// The probe's pieces that need no bus: its command line, its number and time texts, and
// the DS18B20 configuration byte it writes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "monitor/sensor_names.h"
#include "onewire/ds18x20.h"
#include "onewire/rom_code_text.h"
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
        {"--inspect", "--quiet", "DEMO"},
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

TEST(ProbeNames, BothRomFormsCommentsAndTheLineOfAMistake) {
    const RomCode a = SimMakeRom(0x28, 0x0417A3C41EFF), b = SimMakeRom(0x10, 0x0008021B6F3A);
    std::string lower = RomCodeHex(a);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    NameMap names;
    std::string error;
    ASSERT_TRUE(ParseSensorNames("\xEF\xBB\xBF# heating\n\n" + lower + " = Котёл подача\r\n  " +
                                     RomCodeText(b) + "=  Back, \"room\" = 2  \n# end",
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
             {good + "\n" + RomCodeText(a) + " = twice", 3},
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

// What the writer puts on its output (a file, as standard output may be) over a few passes,
// each pass's text separately.
std::vector<std::string> Written(Format format, bool quiet, const SensorList& devices,
                                 const std::vector<std::vector<Reading>>& passes) {
    std::FILE* out = std::tmpfile();
    std::vector<std::string> texts;
    RecordWriter writer(format, out, false, quiet);
    std::string all;
    for (const auto& readings : passes) {
        Pass pass;
        pass.readings = readings;
        writer.write(devices, pass);
        std::string now;
        char block[4096];
        for (ssize_t got; (got = ::pread(::fileno(out), block, sizeof block,
                                         static_cast<off_t>(now.size()))) > 0;)
            now.append(block, static_cast<size_t>(got));
        texts.push_back(now.substr(all.size()));
        all = now;
    }
    std::fclose(out);
    return texts;
}

// --quiet: a sensor's line when it is first listed and when its state changes, never for a
// new temperature in the same state; without it, every device at every pass. Either way the
// ROM code is written as the window writes it.
TEST(ProbeText, QuietWritesOnlyWhatChanged) {
    const RomCode a = SimMakeRom(0x28, 0x0417A3C41EFF), b = SimMakeRom(0x10, 0x0008021B6F3A),
                  c = SimMakeRom(0x01, 0x000000ABCDEF);
    auto reading = [](const RomCode& rom, float celsius, Verdict verdict) {
        Reading r;
        r.rom = rom;
        r.celsius = celsius;
        r.verdict = verdict;
        r.power = "external";
        return r;
    };
    SensorList devices;
    using Supply = SensorRecord::Supply;
    for (const auto& [rom, power] : {std::pair{a, Supply::External}, std::pair{b, Supply::Parasite},
                                     std::pair{c, Supply::External}}) {
        SensorRecord* record = devices.append();
        record->Rom = rom;
        record->Power = power;
    }
    const std::vector<std::vector<Reading>> passes = {
        {reading(a, 21.5f, Verdict::Ok), reading(b, 22, Verdict::Ok)},
        {reading(a, 21.5625f, Verdict::Ok), reading(b, 22.5f, Verdict::Ok)},
        {reading(a, 21.5625f, Verdict::ScratchpadCrc), reading(b, 23, Verdict::Ok)},
        {reading(a, 21.625f, Verdict::Ok), reading(b, 23, Verdict::Ok)},
    };
    const auto quiet = Written(Format::Lines, true, devices, passes);
    ASSERT_EQ(quiet.size(), 4u);
    EXPECT_EQ(RomCodeText(a).rfind("28-0417A3C41EFF-", 0), 0u);
    EXPECT_EQ(quiet[0], RomCodeText(a) + "\tDS18B20\texternal\t21.5000\tok\n" + RomCodeText(b) +
                            "\tDS18S20\tparasite\t22.0000\tok\n" + RomCodeText(c) +
                            "\tunknown\texternal\t-\t-\n");
    EXPECT_EQ(quiet[1], "");
    EXPECT_EQ(quiet[2], RomCodeText(a) + "\tDS18B20\texternal\t-\tcrc\n");
    EXPECT_EQ(quiet[3], RomCodeText(a) + "\tDS18B20\texternal\t21.6250\tok\n");
    const auto every = Written(Format::Lines, false, devices, passes);
    for (const std::string& text : every) EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);

    const auto csv = Written(Format::Csv, true, devices, passes);
    EXPECT_EQ(csv[0].substr(0, csv[0].find('\n')), HeaderText(Format::Csv, false));
    EXPECT_EQ(std::count(csv[0].begin(), csv[0].end(), '\n'), 3) << "the header and two records";
    EXPECT_EQ(csv[1], "");
    EXPECT_NE(csv[2].find("," + RomCodeText(a) + ",DS18B20,external,,,crc"), std::string::npos)
        << csv[2];
    EXPECT_EQ(std::count(csv[3].begin(), csv[3].end(), '\n'), 1);
}

}  // namespace
}  // namespace kv::probe
