// The probe's records for spreadsheets and scripts, its Prometheus file, its repeating runs
// and the resolution it sets, on a simulated bus served on a pseudo-terminal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "../sim/sim_test_support.h"
#include "probe_fixture.h"
#include "prometheus_text.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using test::Hex;
using test::Lines;

constexpr char PromtoolPath[] = "/usr/bin/promtool";

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t at; (at = line.find(separator, start)) != std::string::npos; start = at + 1)
        fields.push_back(line.substr(start, at - start));
    fields.push_back(line.substr(start));
    return fields;
}

// 2026-12-07T14:03:09Z as a time point; false when the text is not exactly that form.
bool ParseIsoUtc(const std::string& text, std::chrono::system_clock::time_point& time) {
    static const std::regex Form(R"((\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})Z)");
    std::smatch m;
    if (!std::regex_match(text, m, Form)) return false;
    using namespace std::chrono;
    const year_month_day date{year{std::stoi(m[1])}, month{unsigned(std::stoi(m[2]))},
                              day{unsigned(std::stoi(m[3]))}};
    if (!date.ok()) return false;
    time = sys_days{date} + hours{std::stoi(m[4])} + minutes{std::stoi(m[5])} +
           seconds{std::stoi(m[6])};
    return true;
}

// One JSON object of strings, numbers and nulls on one line, keys in their order; the
// values keep their JSON form ("\"ok\"", "21.5", "null"), strings unescaped inside.
bool ParseFlatJson(const std::string& line, std::vector<std::pair<std::string, std::string>>& out) {
    size_t p = 0;
    auto string = [&](std::string& s) {
        if (line[p] != '"') return false;
        for (++p; p < line.size() && line[p] != '"'; ++p) {
            if (line[p] == '\\') ++p;
            s += line[p];
        }
        return p++ < line.size();
    };
    if (line.empty() || line[p++] != '{') return false;
    while (p < line.size() && line[p] != '}') {
        std::string key, value;
        if (!string(key) || line[p++] != ':') return false;
        if (line[p] == '"') {
            if (!string(value)) return false;
            value = "\"" + value + "\"";
        } else {
            const size_t end = line.find_first_of(",}", p);
            if (end == std::string::npos) return false;
            value = line.substr(p, end - p);
            p = end;
            static const std::regex Number(R"(-?\d+(\.\d+)?)");
            if (value != "null" && !std::regex_match(value, Number)) return false;
        }
        out.emplace_back(key, value);
        if (line[p] == ',') ++p;
    }
    return p + 1 == line.size();
}

struct Expected {
    RomCode rom;
    std::string family, resolution, celsius, state;
};

class ProbeExport : public test::ProbeOnPty {
  protected:
    // Both families, a sensor whose scratchpad CRC fails, a thermometer whose ROM code fails
    // its CRC, and a device that is no thermometer (it gets no record).
    void SetUp() override {
        badRom[7] ^= 0x01;
        bus->addThermometer(warm, 21.5);
        bus->addThermometer(older, -10.5);
        bus->addThermometer(spoilt, 30.0)->setCorruptScratchpadCrc(true);
        bus->addThermometer(badRom, 22.0);
        bus->addDevice(other);
        std::map<RomCode, Expected> byRom = {
            {warm, {warm, "DS18B20", "12", "21.5", "ok"}},
            {older, {older, "DS18S20", "", "-10.5", "ok"}},
            {spoilt, {spoilt, "DS18B20", "", "", "crc"}},
            {badRom, {badRom, "DS18B20", "12", "", "rom-crc"}},
        };
        for (const RomCode& rom : test::InSearchOrder({warm, older, spoilt, badRom, other}))
            if (byRom.count(rom)) expected.push_back(byRom[rom]);
    }

    // Runs the probe on the pseudo-terminal with these arguments, calling `watch` every few
    // milliseconds while it runs.
    test::ProgramRun probeWhile(std::vector<std::string> args, const std::function<void()>& watch) {
        std::atomic<bool> done{false};
        test::ProgramRun run;
        args.insert(args.begin(), KV_PROBE_PATH);
        args.push_back(serve());
        std::thread runner([&] {
            run = test::RunProgram(args, test::ProbeHangLimit);
            done = true;
        });
        while (!done) {
            watch();
            std::this_thread::sleep_for(5ms);
        }
        runner.join();
        return run;
    }

    const RomCode warm = SimMakeRom(0x28, 0x0417A3C41EFF), older = SimMakeRom(0x10, 0x0008021B6F3A),
                  spoilt = SimMakeRom(0x28, 0x00000000BEEF), other = SimMakeRom(0x01, 0x0D4C22A1);
    RomCode badRom = SimMakeRom(0x28, 0x0000001234AB);
    std::vector<Expected> expected;  // in search order
};

TEST_F(ProbeExport, CsvHasAHeaderAndOneRecordPerThermometer) {
    const auto before = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const auto run = probe({"--format", "csv"});
    const auto after = std::chrono::system_clock::now();
    EXPECT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 1 + expected.size()) << run.out;
    EXPECT_EQ(lines[0], "time,rom,family,power,resolution,celsius,state");
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto fields = Split(lines[i + 1], ',');
        ASSERT_EQ(fields.size(), 7u) << lines[i + 1];
        std::chrono::system_clock::time_point time;
        EXPECT_TRUE(ParseIsoUtc(fields[0], time)) << fields[0];
        EXPECT_TRUE(time >= before && time <= after) << fields[0];
        EXPECT_EQ(fields[1], RomCodeText(expected[i].rom));
        EXPECT_EQ(fields[2], expected[i].family);
        EXPECT_EQ(fields[3], "external");
        EXPECT_EQ(fields[4], expected[i].resolution) << fields[1];
        EXPECT_EQ(fields[5], expected[i].celsius) << fields[1];
        EXPECT_EQ(fields[6], expected[i].state) << fields[1];
    }
}

TEST_F(ProbeExport, JsonHasOneObjectPerLine) {
    const auto run = probe({"--format", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), expected.size()) << run.out;
    auto text = [](const std::string& s) { return s.empty() ? "null" : s; };
    for (size_t i = 0; i < expected.size(); ++i) {
        std::vector<std::pair<std::string, std::string>> object;
        ASSERT_TRUE(ParseFlatJson(lines[i], object)) << lines[i];
        ASSERT_EQ(object.size(), 7u) << lines[i];
        std::chrono::system_clock::time_point time;
        EXPECT_EQ(object[0].first, "time");
        EXPECT_TRUE(ParseIsoUtc(object[0].second.substr(1, object[0].second.size() - 2), time))
            << lines[i];
        const std::vector<std::pair<std::string, std::string>> rest = {
            {"rom", "\"" + RomCodeText(expected[i].rom) + "\""},
            {"family", "\"" + expected[i].family + "\""},
            {"power", "\"external\""},
            {"resolution", text(expected[i].resolution)},
            {"celsius", text(expected[i].celsius)},
            {"state", "\"" + expected[i].state + "\""},
        };
        EXPECT_EQ(std::vector(object.begin() + 1, object.end()), rest) << lines[i];
    }
}

// Passes follow at the interval, each a full set of records; a stop signal between passes
// ends the run with status 0 and no half-written record.
TEST_F(ProbeExport, RepeatsAtTheIntervalAndEndsOnSignal) {
    const auto run = probe({"--format", "tsv", "--every", "1", "--count", "3"});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3 * expected.size()) << run.out;
    std::vector<std::chrono::system_clock::time_point> times;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto fields = Split(lines[i], '\t');
        ASSERT_EQ(fields.size(), 7u) << lines[i];
        EXPECT_EQ(fields[1], RomCodeText(expected[i % expected.size()].rom));
        EXPECT_EQ(fields[6], expected[i % expected.size()].state);
        times.emplace_back();
        EXPECT_TRUE(ParseIsoUtc(fields[0], times.back())) << fields[0];
    }
    // Two intervals lie between the first pass and the third.
    EXPECT_GE(times.back() - times.front(), 1s);

    auto probe = startProbe({"--format", "tsv", "--every", "1"});
    EXPECT_FALSE(probe.firstLine.empty()) << "no record from the first pass";
    EXPECT_EQ(test::StopProgram(probe), 0);
}

TEST_F(ProbeExport, PrometheusFileIsStrictAndReplacedWhole) {
    char pattern[] = "/tmp/kv-prom-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern, path = folder + "/kalorivox.prom";
    constexpr int Passes = 4;
    // Whenever the file is read while the probe rewrites it, it is whole.
    std::set<ino_t> versions;
    int reads = 0;
    const auto run =
        probeWhile({"--every", "1", "--count", std::to_string(Passes), "--prometheus", path}, [&] {
            struct stat info {};
            std::ifstream file(path);
            if (!file || ::stat(path.c_str(), &info) != 0) return;
            std::stringstream text;
            text << file.rdbuf();
            test::PromFile parsed;
            std::string error;
            EXPECT_TRUE(test::ParsePrometheusText(text.str(), parsed, error)) << error;
            EXPECT_FALSE(std::isnan(parsed.value("kalorivox_pass_duration_seconds"))) << text.str();
            versions.insert(info.st_ino);
            ++reads;
        });
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(reads, 0);
    EXPECT_GE(versions.size(), 2u) << "each pass puts a new file in place";

    const std::string text = test::FileText(path);
    test::PromFile parsed;
    std::string error;
    ASSERT_TRUE(test::ParsePrometheusText(text, parsed, error)) << error << "\n" << text;
    EXPECT_EQ(parsed.types["kalorivox_temperature_celsius"], "gauge");
    EXPECT_EQ(parsed.types["kalorivox_reading_errors_total"], "counter");
    EXPECT_EQ(parsed.types["kalorivox_pass_duration_seconds"], "gauge");
    const std::string temperature = "kalorivox_temperature_celsius",
                      errors = "kalorivox_reading_errors_total";
    EXPECT_EQ(
        parsed.value(temperature,
                     {{"rom", Hex(warm)}, {"serial", RomCodeText(warm)}, {"family", "DS18B20"}}),
        21.5);
    EXPECT_EQ(
        parsed.value(temperature,
                     {{"rom", Hex(older)}, {"serial", RomCodeText(older)}, {"family", "DS18S20"}}),
        -10.5);
    int temperatures = 0;
    for (const auto& s : parsed.samples) temperatures += s.name == temperature;
    EXPECT_EQ(temperatures, 2) << "no value for the failing sensors";
    EXPECT_EQ(parsed.value(errors, {{"rom", Hex(warm)}, {"serial", RomCodeText(warm)}}), 0);
    EXPECT_EQ(parsed.value(errors, {{"rom", Hex(older)}, {"serial", RomCodeText(older)}}), 0);
    EXPECT_EQ(parsed.value(errors, {{"rom", Hex(spoilt)}, {"serial", RomCodeText(spoilt)}}),
              Passes);
    EXPECT_EQ(parsed.value(errors, {{"rom", Hex(badRom)}, {"serial", RomCodeText(badRom)}}),
              Passes);
    const double duration = parsed.value("kalorivox_pass_duration_seconds");
    EXPECT_GT(duration, 0.5);  // the conversion wait alone is 0.8 s
    EXPECT_LT(duration, test::ProbeHangLimit.count());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1)
        << "nothing left beside the file";
    std::filesystem::remove_all(folder);
}

// Names that the exposition format must escape reach the records and the metrics, and a
// names file changed while the probe runs renames the sensor from the next pass on. Every
// version of the Prometheus file seen while it is rewritten is whole and, where Debian's
// prometheus package is installed, passes `promtool check metrics`.
TEST_F(ProbeExport, NamesReachRecordsAndMetricsAndFollowTheirFile) {
    char pattern[] = "/tmp/kv-names-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern, names = folder + "/names", prom = folder + "/k.prom";
    std::ofstream(names) << "# cellar\n" << Hex(warm) << " = Котёл \"подача\" \\ 1\n";
    constexpr int Passes = 5;
    std::set<std::string> versions;
    const auto run =
        probeWhile({"--every", "1", "--count", std::to_string(Passes), "--format", "csv", "--names",
                    names, "--prometheus", prom},
                   [&] {  // renamed once two versions were seen
                       const std::string text = test::FileText(prom);
                       if (!text.empty() && versions.insert(text).second && versions.size() == 2)
                           std::ofstream(names) << Hex(warm) << " = Подача 2\n";
                   });
    EXPECT_EQ(run.status, 0) << run.err;
    const bool promtool = ::access(PromtoolPath, X_OK) == 0;
    if (!promtool) std::printf("%s is not installed: metrics not checked with it\n", PromtoolPath);
    std::set<std::string> labels;
    for (const std::string& version : versions) {
        test::PromFile parsed;
        std::string error;
        ASSERT_TRUE(test::ParsePrometheusText(version, parsed, error)) << error << "\n" << version;
        for (const auto& sample : parsed.samples)
            if (sample.labels.count("name")) labels.insert(sample.labels.at("name"));
        if (!promtool) continue;
        std::ofstream(folder + "/snapshot.prom") << version;
        const auto check = test::RunProgram(
            {"/bin/sh", "-c",
             std::string(PromtoolPath) + " check metrics < " + folder + "/snapshot.prom"},
            test::ProbeHangLimit);
        EXPECT_EQ(check.status, 0) << check.out << check.err << "\n" << version;
    }
    EXPECT_EQ(labels, (std::set<std::string>{"Котёл \\\"подача\\\" \\\\ 1", "Подача 2"}));

    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 1 + Passes * expected.size()) << run.out;
    EXPECT_EQ(lines[0], "time,rom,family,power,resolution,celsius,state,name");
    std::vector<std::string> namesOfWarm;
    for (const std::string& line : lines)
        if (line.find(RomCodeText(warm)) != std::string::npos)
            namesOfWarm.push_back(line.substr(line.find(",ok,") + 4));
    ASSERT_EQ(namesOfWarm.size(), size_t{Passes});
    EXPECT_EQ(namesOfWarm.front(), "\"Котёл \"\"подача\"\" \\ 1\"");
    EXPECT_EQ(namesOfWarm.back(), "Подача 2");
    for (const std::string& line : lines) {
        if (line.find(RomCodeText(older)) != std::string::npos) {
            EXPECT_EQ(line.back(), ',') << line;
        }
    }
    std::filesystem::remove_all(folder);
}

// A DS18B20 plugged back in after the Convert T answers with its power-on scratchpad
// (85.0 °C, byte 6 = 0x0C): that is no reading, and 85 never shows as a value.
TEST_F(ProbeExport, PowerOnValueIsNoReading) {
    bus->clearDevices();
    const RomCode rom = SimMakeRom(0x28, 0x0000075A91D4);
    auto device = bus->addThermometer(rom, 22.5);
    std::atomic<bool> done{false};
    test::ProgramRun run;
    const std::string port = serve();
    std::thread runner([&] {
        run = test::RunProgram(
            {KV_PROBE_PATH, "--format", "tsv", "--every", "1", "--count", "4", port},
            test::ProbeHangLimit);
        done = true;
    });
    // Re-plugged again and again: most passes find it freshly powered when they read it.
    while (!done) {
        std::this_thread::sleep_for(150ms);
        if (bus->unplug(rom)) bus->plug(device);
    }
    runner.join();
    int powerOn = 0;
    for (const auto& line : Lines(run.out)) {
        const auto fields = Split(line, '\t');
        ASSERT_EQ(fields.size(), 7u) << line;
        if (fields[6] == "power-on") {
            ++powerOn;
            EXPECT_EQ(fields[5], "") << line;
        }
        if (fields[6] == "ok") {
            EXPECT_EQ(fields[5], "22.5") << line;
        }
    }
    EXPECT_GT(powerOn, 0) << run.out;
}

// The resolution goes into the scratchpad only, so a part that loses power comes back with
// what its EEPROM holds, unless the user asked to store it.
TEST_F(ProbeExport, ResolutionStaysOutOfTheEepromUnlessSaved) {
    auto resolutions = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--format", "csv"});
        const auto run = probe(args);
        EXPECT_EQ(run.status, 0) << run.err;
        std::map<std::string, std::string> byRom;
        for (const auto& line : Lines(run.out)) {
            const auto fields = Split(line, ',');
            if (fields.size() == 7 && fields[0] != "time")
                byRom[fields[1]] = fields[4] + " " + fields[5];
        }
        return byRom;
    };
    auto powerCycle = [&] {
        for (const auto& device : bus->devices()) device->powerOn();
    };
    auto set = resolutions({"--resolution", "9"});
    EXPECT_EQ(set[RomCodeText(warm)], "9 21.5");
    EXPECT_EQ(set[RomCodeText(older)], " -10.5");
    powerCycle();
    EXPECT_EQ(resolutions({})[RomCodeText(warm)], "12 21.5");
    resolutions({"--resolution", "10", "--save-resolution"});
    powerCycle();
    EXPECT_EQ(resolutions({})[RomCodeText(warm)], "10 21.5");
}

}  // namespace
}  // namespace kv
