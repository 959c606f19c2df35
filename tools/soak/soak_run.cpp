#include "tools/soak/soak_run.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/event_log.h"
#include "monitor/monitor_worker.h"
#include "monitor/reading_sink.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "onewire/ds18x20.h"
#include "runtime/text_file.h"
#include "runtime/threads.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "sim/demo_bus.h"
#include "sim/sim_device.h"
#include "tools/soak/counting_clock.h"
#include "tools/soak/soak_window.h"

namespace kv::soak {

namespace {

namespace fs = std::filesystem;

struct Totals {
    uint64_t passEnds, readings, okReadings, crcErrors, readFailures, busFailures, logRecords,
        powerOnValues, confirmations, retries, reconversions, searches, spoiledSearches;
};

Totals Snapshot() {
    return {MonitorWorkerStatistics().passEnds,       MonitorWorkerStatistics().readings,
            MonitorWorkerStatistics().okReadings,     MonitorWorkerStatistics().crcErrors,
            MonitorWorkerStatistics().readFailures,   MonitorWorkerStatistics().busFailures,
            MonitorWorkerStatistics().logRecords,     MonitorWorkerStatistics().powerOnValues,
            MonitorWorkerStatistics().confirmations,  MonitorWorkerStatistics().retries,
            MonitorWorkerStatistics().reconversions,  MonitorWorkerStatistics().searches,
            MonitorWorkerStatistics().spoiledSearches};
}

// A count as printf's %llu takes it.
unsigned long long n(uint64_t v) {
    return static_cast<unsigned long long>(v);
}

void PrintTotals(const char* label, const Totals& t) {
    std::printf(
        "%-10s pass ends %8llu  readings %8llu (ok %8llu)  CRC errors %6llu  read failures "
        "%5llu  bus failures %5llu  logged %8llu  power-on %4llu (confirmations %4llu)  "
        "retries %5llu  reconversions %3llu  searches %5llu (spoiled %llu)\n",
        label, n(t.passEnds), n(t.readings), n(t.okReadings), n(t.crcErrors), n(t.readFailures),
        n(t.busFailures), n(t.logRecords), n(t.powerOnValues), n(t.confirmations), n(t.retries),
        n(t.reconversions), n(t.searches), n(t.spoiledSearches));
}

Totals Minus(const Totals& a, const Totals& b) {
    return {a.passEnds - b.passEnds,
            a.readings - b.readings,
            a.okReadings - b.okReadings,
            a.crcErrors - b.crcErrors,
            a.readFailures - b.readFailures,
            a.busFailures - b.busFailures,
            a.logRecords - b.logRecords,
            a.powerOnValues - b.powerOnValues,
            a.confirmations - b.confirmations,
            a.retries - b.retries,
            a.reconversions - b.reconversions,
            a.searches - b.searches,
            a.spoiledSearches - b.spoiledSearches};
}

// What each simulated sensor really measured, by its ROM code's text.
class Truth {
  public:
    explicit Truth(const std::vector<std::shared_ptr<SimDevice>>& devices) {
        for (const auto& device : devices) devices_[FormatRomCode(device->rom())] = device;
    }
    bool knows(const std::u16string& rom) const { return devices_.count(rom) != 0; }
    // Whether the value (exactly, or as its one-decimal text) is one the sensor converted.
    bool measured(const std::u16string& rom, float celsius) const {
        return anyConverted(rom, [&](float value) { return value == celsius; });
    }
    bool measured(const std::u16string& rom, const std::u16string& text) const {
        return anyConverted(rom, [&](float value) { return TemperatureText(value) == text; });
    }

  private:
    template <typename Match>
    bool anyConverted(const std::u16string& rom, Match match) const {
        const auto found = devices_.find(rom);
        if (found == devices_.end()) return false;
        const RomCode& code = found->second->rom();
        for (const int16_t raw : found->second->convertedRaws()) {
            Scratchpad pad{};
            pad[0] = static_cast<uint8_t>(raw & 0xFF);
            pad[1] = static_cast<uint8_t>((raw >> 8) & 0xFF);
            if (match(DecodeTemperature(pad.data(), code[0]))) return true;
        }
        return false;
    }
    std::map<std::u16string, std::shared_ptr<SimDevice>> devices_;
};

// "[dd/mm/yyyy hh:ii:ss]  <ROM code>  —  <t> °C": the ROM code and the temperature text.
bool ParseRecord(std::string_view line, std::string& rom, std::string& celsius) {
    constexpr std::string_view stamp = "[00/00/0000 00:00:00]  ";
    constexpr std::string_view dash = "  \xE2\x80\x94  ";
    constexpr std::string_view degrees =
        " \xC2\xB0"
        "C\r";
    constexpr size_t romLength = 18;
    if (line.size() < stamp.size() + romLength + dash.size() + degrees.size()) return false;
    for (size_t i = 0; i < stamp.size(); ++i) {
        const char c = line[i];
        if (stamp[i] == '0' ? (c < '0' || c > '9') : c != stamp[i]) return false;
    }
    line.remove_prefix(stamp.size());
    rom = std::string(line.substr(0, romLength));
    line.remove_prefix(romLength);
    if (line.substr(0, dash.size()) != dash) return false;
    line.remove_prefix(dash.size());
    if (line.size() < degrees.size() || line.substr(line.size() - degrees.size()) != degrees)
        return false;
    celsius = std::string(line.substr(0, line.size() - degrees.size()));
    const size_t point = celsius.find('.');
    return !celsius.empty() && point != std::string::npos && point + 2 == celsius.size() &&
           celsius.find_first_not_of("-0123456789.") == std::string::npos;
}

struct LogCheck {
    uint64_t lines = 0;
    uint64_t malformed = 0;
    uint64_t unknownRom = 0;
    uint64_t notMeasured = 0;  // a value its sensor never converted
    bool mark = false;
};

LogCheck CheckLog(const fs::path& path, const Truth& truth) {
    LogCheck check;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first) {
            check.mark = line.rfind("\xEF\xBB\xBF", 0) == 0;
            if (check.mark) line.erase(0, 3);
            first = false;
        }
        ++check.lines;
        std::string rom, text;
        if (!ParseRecord(line, rom, text)) {
            ++check.malformed;
            continue;
        }
        const std::u16string romText = Utf16FromUtf8(rom);
        if (!truth.knows(romText)) {
            ++check.unknownRom;
        } else if (!truth.measured(romText,
                                   Utf16FromUtf8(text) + std::u16string(texts::DegreesSuffix))) {
            ++check.notMeasured;
        }
    }
    return check;
}

}  // namespace

int RunSoak(const SoakOptions& options) {
    fs::path folder = options.folder.empty()
                          ? fs::temp_directory_path() / ("kv-soak-" + std::to_string(getpid()))
                          : fs::path(options.folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    const fs::path logPath = folder / Utf8FromUtf16(texts::LogFileName);
    fs::remove(logPath);

    auto bus = SimMakeDemoBus();
    bus->setSeed(options.seed);
    bus->setNoise(options.noise);
    SimRegisterBus(DemoPortName, bus);
    const Truth truth(bus->devices());
    // Every reading handed on beside the log must be a value its sensor converted.
    std::atomic<uint64_t> published{0}, publishedFalse{0};
    const int32_t consumer = ReadingSinkAdd([&](const SensorReading& reading) {
        ++published;
        if (!truth.measured(FormatRomCode(reading.rom), reading.celsius)) ++publishedFalse;
    });

    BuildWorkerWindow(DemoPortName);
    CountingClock clock(options.simulated);
    SetTimeSource(&clock);
    ControlBlockReset();
    ControlBlock.Interval = static_cast<uint16_t>(options.interval);
    ControlBlock.Log = 1;
    ControlBlock.ConvertOnly = 1;
    MonitorWorkerStatisticsReset();

    std::printf("soak: DEMO bus, %zu devices, noise %g, %s time, %.0f s, log %s\n",
                bus->devices().size(), options.noise, options.simulated ? "simulated" : "real",
                options.seconds, logPath.c_str());
    std::fflush(stdout);

    ThreadTableInit();
    const auto start = clock.nowMicroseconds();
    const auto elapsed = [&] { return (clock.nowMicroseconds() - start) / 1e6; };
    // The switch to common conversion and the stop go by the worker's own clock: in simulated
    // time the worker runs far ahead of this thread, which a loaded machine may keep from
    // looking for a long stretch of that time.
    Totals atSwitch{};
    std::atomic<bool> switched{false};
    // Unplugging and plugging back happens in the worker's 100 ms sleeps, so at any point of
    // a pass: in a conversion wait (the power-on value), between two readings, before a search.
    const auto sensors = bus->devices();
    std::vector<bool> unplugged(sensors.size(), false);
    std::mt19937_64 replugRandom(options.seed);
    double nextReplug = options.replugSeconds;
    uint64_t replugs = 0;
    clock.onLoopSleep([&](int64_t now, int64_t) {
        const double t = (now - start) / 1e6;
        if (t >= options.seconds) ControlBlock.StopRequested = 1;
        if (options.replugSeconds > 0 && t >= nextReplug) {
            nextReplug = t + options.replugSeconds *
                                 std::uniform_real_distribution<double>(0.5, 1.5)(replugRandom);
            const size_t which = replugRandom() % sensors.size();
            if (unplugged[which]) {
                bus->plug(sensors[which]);
            } else {
                bus->unplug(sensors[which]->rom());
            }
            unplugged[which] = !unplugged[which];
            ++replugs;
        }
        if (switched.load(std::memory_order_relaxed) || t < options.seconds / 2) return;
        atSwitch = Snapshot();
        ControlBlock.ConvertOnly = 0;
        switched.store(true, std::memory_order_release);
    });
    const int worker = ThreadStart(MonitorWorker, 0);
    if (worker == 0) {
        std::fprintf(stderr, "soak: cannot start the worker\n");
        return 2;
    }

    long rssStart = -1, rssMax = 0;
    double nextReport = 60;
    while (elapsed() < options.seconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.simulated ? 5 : 200));
        const double t = elapsed();
        const long rss = ResidentKilobytes();
        if (rssStart < 0 && t >= options.seconds * 0.05) rssStart = rss;  // after warm-up
        if (rss > rssMax) rssMax = rss;
        if (t >= nextReport) {
            std::printf("  t=%6.0f s  %s  RSS %ld kB  ", t,
                        switched.load(std::memory_order_acquire) ? "common  " : "separate", rss);
            PrintTotals("", Snapshot());
            std::fflush(stdout);
            nextReport += 60;
        }
    }
    ControlBlock.StopRequested = 1;
    const int ended = ThreadWait(worker, 5000);
    if (!switched.load(std::memory_order_acquire)) atSwitch = Snapshot();
    const long rssEnd = ResidentKilobytes();
    TextFileClose(LogFileNumber);
    ThreadTableFree();
    SetTimeSource(nullptr);

    const Totals total = Snapshot();
    PrintTotals("separate", atSwitch);
    PrintTotals("common", Minus(total, atSwitch));
    PrintTotals("total", total);
    ReadingSinkRemove(consumer);
    const LogCheck log = CheckLog(logPath, truth);
    std::printf(
        "log: %llu lines (mark %s), malformed %llu, unknown ROM %llu, never measured %llu\n",
        n(log.lines), log.mark ? "yes" : "NO", n(log.malformed), n(log.unknownRom),
        n(log.notMeasured));
    std::printf("published: %llu readings, never measured %llu\n", n(published), n(publishedFalse));
    std::printf("RSS: %ld kB after warm-up, %ld kB at the end, %ld kB at most\n", rssStart, rssEnd,
                rssMax);
    std::printf("worker ended: %s\n", ended ? "yes" : "NO");
    std::printf("sensors unplugged or plugged back: %llu\n", n(replugs));

    bool ok = ended && log.mark && log.malformed == 0 && log.unknownRom == 0 &&
              log.notMeasured == 0 && log.lines == total.logRecords &&
              total.logRecords == total.okReadings && published == total.okReadings &&
              publishedFalse == 0 && atSwitch.readings > 0 && total.readings > atSwitch.readings;
    // Growth beyond a few hundred kilobytes over the run would be a leak, not noise. Under
    // AddressSanitizer freed memory sits in quarantine and the leak check runs at exit instead.
#if !defined(__SANITIZE_ADDRESS__)
    if (rssStart > 0 && rssEnd - rssStart > 512) ok = false;
#endif
    std::printf("soak: %s\n", ok ? "PASS" : "FAIL");
    if (options.folder.empty()) {
        fs::current_path("/");
        fs::remove_all(folder);
    }
    return ok ? 0 : 1;
}

}  // namespace kv::soak
