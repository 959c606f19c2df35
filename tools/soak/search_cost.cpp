// What the searches made while monitoring cost the readings: the worker itself, interval 1 s,
// common conversion, on a simulated bus of DS18B20 whose echoes take their wire time and
// the given latency (a USB converter), in simulated time or in real time through a
// pseudo-terminal. A sensor is plugged in at 20 % of the run and another pulled out at 70 %.
// Per case it prints: the share of the time the bus spent in search passes (counted by the
// simulated bus from the ROM command after each reset, so that any worker can be measured),
// the longest time between two sound readings (log lines) of a sensor that stayed, readings
// made and sound readings per minute, how long until the new sensor was listed and the
// pulled one marked, and sound readings whose value the sensor never measured.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/monitor_worker.h"
#include "monitor/reading_sink.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "session/search_schedule.h"
#include "sim/posix/pty_server.h"
#include "sim/sim_bus.h"
#include "tools/soak/counting_clock.h"
#include "tools/soak/soak_run.h"
#include "tools/soak/soak_window.h"

namespace kv::soak {

namespace {

constexpr double PlugAt = 0.2;  // of the run
constexpr double PullAt = 0.7;
constexpr double SecondsPerMinute = 60.0;
constexpr int64_t WindowUs = SearchBudgetWindowMs * 1000;

struct Case {
    int sensors;
    double noise;
};

struct Outcome {
    double searchShare = 0;        // of the time from the first pass end on
    double windowShare = 0;        // of the three minutes that held the most searching
    uint64_t searches = 0;         // as the worker counts them, 0 where it does not
    double longestGapS = 0;        // between two sound readings of a sensor that stayed
    double readsPerMinute = 0;     // thermometers read, sound or not
    double readingsPerMinute = 0;  // sound readings
    double listedAfterS = -1;      // the plugged sensor; -1: not within the run
    double markedAfterS = -1;      // the pulled sensor
    int64_t markedAfterPasses = -1;
    uint64_t falseReadings = 0;  // values the sensor never measured
    bool ok = true;
};

double Celsius(int i) {
    return 20.0 + 0.25 * i;  // exact in both families' steps
}

RomCode SensorRom(int i) {
    return SimMakeRom(FamilyDs18b20, 0x51C000 + static_cast<uint64_t>(i) * 0x2F1D);
}

Outcome Run(const Case& c, double seconds, int64_t latencyMs, bool pty) {
    std::u16string name = u"SEARCHCOST";
    auto bus = std::make_shared<SimBus>(7);
    bus->setWireTime(true);
    bus->setEchoLatencyMicroseconds(latencyMs * 1000);
    bus->setNoise(c.noise);
    std::map<RomCode, float> truth;
    for (int i = 0; i <= c.sensors; ++i) truth[SensorRom(i)] = static_cast<float>(Celsius(i));
    for (int i = 0; i < c.sensors; ++i) bus->addThermometer(SensorRom(i), Celsius(i));
    const int plugged = c.sensors, pulled = c.sensors / 2;
    auto newcomer = std::make_shared<SimDevice>(SensorRom(plugged));
    newcomer->setTemperature(Celsius(plugged));
    std::unique_ptr<PtyServer> server;
    if (pty) {
        bus->setPowerSensing(false);  // a terminal has no modem lines
        server = std::make_unique<PtyServer>(bus);
        if (!server->open() || !server->start()) {
            Outcome failed;
            failed.ok = false;
            return failed;
        }
        name = Utf16FromUtf8(server->slavePath());
    } else {
        SimRegisterBus(name, bus);
    }
    ui::HeadlessToolkit& toolkit = BuildWorkerWindow(name);
    ControlBlockReset();
    ControlBlock.Interval = 1;
    MonitorWorkerStatisticsReset();

    CountingClock clock(!pty);
    std::mutex mutex;
    std::map<RomCode, std::vector<int64_t>> soundAt;
    uint64_t falseReadings = 0;
    const int32_t consumer = ReadingSinkAdd([&](const SensorReading& reading) {
        std::lock_guard<std::mutex> lock(mutex);
        soundAt[reading.rom].push_back(clock.nowMicroseconds());
        const auto known = truth.find(reading.rom);
        if (known == truth.end() || known->second != reading.celsius) ++falseReadings;
    });

    // Everything below runs on the worker's thread, at its 100 ms sleeps.
    const int64_t start = clock.nowMicroseconds();
    const auto at = [&](double share) {
        return start + static_cast<int64_t>(seconds * share * 1e6);
    };
    int64_t measuredFrom = -1, searchedBefore = 0, listedAt = -1, markedAt = -1;
    uint64_t readsBefore = 0;
    std::vector<std::pair<int64_t, int64_t>> searched;  // (time, bus time searched until then)
    uint64_t pulledAtPass = 0, markedAtPass = 0;
    bool isPlugged = false, isPulled = false;
    const std::u16string pulledSerial = FormatRomCode(SensorRom(pulled));
    clock.onLoopSleep([&](int64_t now, int64_t) {
        if (measuredFrom < 0 && MonitorWorkerStatistics().passEnds > 0) {
            measuredFrom = now;
            searchedBefore = bus->stats().searchMicroseconds;
            readsBefore = MonitorWorkerStatistics().readings;
        }
        if (!isPlugged && now >= at(PlugAt)) {
            bus->plug(newcomer);
            isPlugged = true;
        }
        if (isPlugged && listedAt < 0 && MonitorWorkerStatistics().deviceCount > c.sensors)
            listedAt = now;
        if (!isPulled && now >= at(PullAt)) {
            bus->unplug(SensorRom(pulled));
            isPulled = true;
            pulledAtPass = MonitorWorkerStatistics().passEnds;
        }
        if (isPulled && markedAt < 0) {
            const ui::HeadlessControl table = toolkit.control(MainWindow, SensorTable);
            for (const auto& row : table.cells) {
                if (row.size() > ColumnStatus && row[1].rfind(pulledSerial, 0) == 0 &&
                    row[ColumnStatus].rfind(texts::NotAnsweringHead, 0) == 0) {
                    markedAt = now;
                    markedAtPass = MonitorWorkerStatistics().passEnds;
                }
            }
        }
        if (measuredFrom >= 0) searched.emplace_back(now, bus->stats().searchMicroseconds);
        if (now >= at(1.0)) ControlBlock.StopRequested = 1;
    });
    SetTimeSource(&clock);
    std::thread worker([] { MonitorWorker(0); });
    worker.join();
    const int64_t end = clock.nowMicroseconds();
    SetTimeSource(nullptr);
    ReadingSinkRemove(consumer);
    SerialCloseAll();
    currentPort = PortNone;
    if (server) {
        server->stop();
    } else {
        SerialUnregisterVirtualPort(name);
    }
    ui::ToolkitRelease();

    Outcome out;
    const double measured = static_cast<double>(end - measuredFrom);
    out.searchShare =
        static_cast<double>(bus->stats().searchMicroseconds - searchedBefore) / measured;
    out.searches = MonitorWorkerStatistics().searches;
    for (size_t from = 0, to = 0; from < searched.size(); ++from) {
        while (to + 1 < searched.size() &&
               searched[to + 1].first - searched[from].first <= WindowUs)
            ++to;
        const double share = static_cast<double>(searched[to].second - searched[from].second) /
                             static_cast<double>(WindowUs);
        out.windowShare = std::max(out.windowShare, share);
    }
    uint64_t readings = 0;
    for (const auto& [rom, times] : soundAt) {
        for (size_t i = 0; i < times.size(); ++i) {
            if (times[i] < measuredFrom) continue;
            ++readings;
            if (i == 0 || rom == SensorRom(plugged) || rom == SensorRom(pulled)) continue;
            out.longestGapS = std::max(out.longestGapS, (times[i] - times[i - 1]) / 1e6);
        }
    }
    const double minutes = measured / 1e6 / SecondsPerMinute;
    out.readingsPerMinute = static_cast<double>(readings) / minutes;
    out.readsPerMinute =
        static_cast<double>(MonitorWorkerStatistics().readings - readsBefore) / minutes;
    if (listedAt >= 0) out.listedAfterS = (listedAt - at(PlugAt)) / 1e6;
    if (markedAt >= 0) {
        out.markedAfterS = (markedAt - at(PullAt)) / 1e6;
        out.markedAfterPasses = static_cast<int64_t>(markedAtPass - pulledAtPass);
    }
    out.falseReadings = falseReadings;
    return out;
}

std::string Seconds(double s) {
    if (s < 0) return "not within the run";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

}  // namespace

int RunSearchCost(double seconds, int64_t latencyMs, bool pty) {
    std::printf(
        "Searches while monitoring: interval 1 s, common conversion, %.0f s per case, %lld ms "
        "latency, %s; a sensor plugged in at %.0f %% of the run, one pulled out at %.0f %%\n\n",
        seconds, static_cast<long long>(latencyMs),
        pty ? "real time through a pseudo-terminal" : "simulated clock", PlugAt * 100,
        PullAt * 100);
    std::printf(
        "| sensors | noise | searching | in the worst 3 min | searches | longest gap between log "
        "lines | read per minute | sound per minute | plugged listed after | pulled marked after "
        "| false readings |\n|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    // Per minute without noise, by sensors: read, sound.
    std::map<int, std::pair<double, double>> clean;
    for (const Case& c : {Case{10, 0.0}, Case{20, 0.0}, Case{10, 0.003}}) {
        const Outcome out = Run(c, seconds, latencyMs, pty);
        if (!out.ok) {
            std::fprintf(stderr, "kalorivox-soak: no pseudo-terminal\n");
            return 1;
        }
        if (c.noise == 0) clean[c.sensors] = {out.readsPerMinute, out.readingsPerMinute};
        const auto& [cleanRead, cleanSound] = clean[c.sensors];
        std::printf(
            "| %d | %g | %.1f %% | %.1f %% | %llu | %.1f s | %.0f (%.0f %%) | %.0f (%.0f %%) | %s "
            "| %s (%lld "
            "passes) | %llu |\n",
            c.sensors, c.noise, 100 * out.searchShare, 100 * out.windowShare,
            static_cast<unsigned long long>(out.searches), out.longestGapS, out.readsPerMinute,
            100 * out.readsPerMinute / cleanRead, out.readingsPerMinute,
            100 * out.readingsPerMinute / cleanSound, Seconds(out.listedAfterS).c_str(),
            Seconds(out.markedAfterS).c_str(), static_cast<long long>(out.markedAfterPasses),
            static_cast<unsigned long long>(out.falseReadings));
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace kv::soak
