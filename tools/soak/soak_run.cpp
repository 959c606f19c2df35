#include "tools/soak/soak_run.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/event_log.h"
#include "monitor/monitor_worker.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "monitor/worker_stats.h"
#include "runtime/text_file.h"
#include "runtime/threads.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "sim/demo_bus.h"
#include "tools/soak/counting_clock.h"
#include "tools/soak/soak_window.h"

namespace kv::soak {

namespace {

namespace fs = std::filesystem;

struct Totals {
    uint64_t passEnds, readings, crcErrors, readFailures, busFailures, logRecords, powerOnValues,
        searches, spoiledSearches;
};

Totals Snapshot() {
    return {MonitorStats.passEnds,      MonitorStats.readings,    MonitorStats.crcErrors,
            MonitorStats.readFailures,  MonitorStats.busFailures, MonitorStats.logRecords,
            MonitorStats.powerOnValues, MonitorStats.searches,    MonitorStats.spoiledSearches};
}

void PrintTotals(const char* label, const Totals& t) {
    std::printf(
        "%-10s pass ends %8llu  readings %8llu  CRC errors %6llu  read failures %5llu  "
        "bus failures %5llu  logged %8llu  power-on %4llu  searches %5llu (spoiled %llu)\n",
        label, (unsigned long long)t.passEnds, (unsigned long long)t.readings,
        (unsigned long long)t.crcErrors, (unsigned long long)t.readFailures,
        (unsigned long long)t.busFailures, (unsigned long long)t.logRecords,
        (unsigned long long)t.powerOnValues, (unsigned long long)t.searches,
        (unsigned long long)t.spoiledSearches);
}

Totals Minus(const Totals& a, const Totals& b) {
    return {a.passEnds - b.passEnds,
            a.readings - b.readings,
            a.crcErrors - b.crcErrors,
            a.readFailures - b.readFailures,
            a.busFailures - b.busFailures,
            a.logRecords - b.logRecords,
            a.powerOnValues - b.powerOnValues,
            a.searches - b.searches,
            a.spoiledSearches - b.spoiledSearches};
}

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
    uint64_t outsideDemoBand = 0;
    uint64_t powerOnValues = 0;  // 85.0 °C from a DS18B20: its power-on scratchpad as a reading
    // 85.0 °C from a DS18S20, whose power-on scratchpad cannot be told from a reading: known,
    // counted apart, and not in the band check.
    uint64_t ds18s20At85 = 0;
    bool mark = false;
};

LogCheck CheckLog(const fs::path& path, const std::set<std::string>& roms) {
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
        if (!roms.count(rom)) ++check.unknownRom;
        if (text == "85.0" && rom.rfind("10-", 0) == 0) {
            ++check.ds18s20At85;
            continue;
        }
        if (text == "85.0") ++check.powerOnValues;
        const double celsius = std::stod(text);
        // The demo sensors drift within a few degrees of 18 to 24 °C.
        if (celsius < 15.0 || celsius > 28.0) ++check.outsideDemoBand;
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
    std::set<std::string> roms;
    for (const auto& device : bus->devices())
        roms.insert(Utf8FromUtf16(FormatRomCode(device->rom())));

    BuildWorkerWindow(DemoPortName);
    CountingClock clock(options.simulated);
    SetTimeSource(&clock);
    ControlBlockReset();
    ControlBlock.Interval = static_cast<uint16_t>(options.interval);
    ControlBlock.Log = 1;
    ControlBlock.ConvertOnly = 1;
    MonitorStatsReset();

    std::printf("soak: DEMO bus, %zu devices, noise %g, %s time, %.0f s, log %s\n", roms.size(),
                options.noise, options.simulated ? "simulated" : "real", options.seconds,
                logPath.c_str());
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
    const LogCheck log = CheckLog(logPath, roms);
    std::printf(
        "log: %llu lines (mark %s), malformed %llu, unknown ROM %llu, outside 15..28 °C "
        "%llu\n",
        (unsigned long long)log.lines, log.mark ? "yes" : "NO", (unsigned long long)log.malformed,
        (unsigned long long)log.unknownRom, (unsigned long long)log.outsideDemoBand);
    std::printf("RSS: %ld kB after warm-up, %ld kB at the end, %ld kB at most\n", rssStart, rssEnd,
                rssMax);
    std::printf("worker ended: %s\n", ended ? "yes" : "NO");
    std::printf(
        "sensors unplugged or plugged back: %llu, 85.0 lines: DS18B20 %llu, DS18S20 %llu "
        "(its power-on value cannot be told from a reading)\n",
        (unsigned long long)replugs, (unsigned long long)log.powerOnValues,
        (unsigned long long)log.ds18s20At85);

    bool ok = ended && log.mark && log.malformed == 0 && log.unknownRom == 0 &&
              log.outsideDemoBand == 0 && log.lines == total.logRecords &&
              total.logRecords == total.readings - total.crcErrors - total.powerOnValues &&
              atSwitch.readings > 0 && total.readings > atSwitch.readings;
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
