// Bus benchmark: the real serial and 1-Wire code against a simulated bus served on a
// pseudo-terminal with the UART's wire time emulated (10 bit times per byte) and, in turn,
// each echo latency asked for (0 ms: a motherboard UART; 16 ms: a USB converter at its
// default latency timer, echoes held in 62-byte packets). For 1, 10 and 50 devices it times a
// full enumeration, one reset, one reading (reset + Match ROM + Read Scratchpad) and a pass
// (Convert T to all, then every reading), counts their round trips and the calling thread's
// CPU time, and sets each against its wire-time limit: the sum of the byte times of
// everything sent, the least any implementation of the same exchange could take.
//
//   kv_bench_bus [--repeat N] [--latency 0,16] [--devices 1,10,50] [--compare] [--simulated]
// --compare adds the one-operation-at-a-time forms (the slot-by-slot search on up to 10
// devices, the reading as five round trips) for a side-by-side view. --simulated runs the
// same bus in-process on a simulated clock instead: the bus code's own waits and round
// trips count, the machine's load and the pseudo-terminal do not (no CPU figures then).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "onewire/search_walk.h"
#include "onewire/transaction.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "sim/posix/pty_server.h"
#include "sim/sim_clock.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char16_t SimulatedPortName[] = u"BENCH";

// Beyond this many devices the slot-by-slot search would take minutes at 16 ms.
constexpr int CompareSearchDeviceLimit = 10;

struct Measure {
    double microseconds = 0;  // median per unit (per device for the enumeration)
    double roundTrips = 0;
    double wireMicroseconds = 0;
    double cpuMicroseconds = 0;  // the calling thread's CPU time per unit; -1 not measured
    bool ok = true;
};

double ThreadCpuMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// Where the round trips and the wire time are counted, and the clock the figures are
// taken with: the pseudo-terminal's server in real time, or the bus itself on a simulated
// clock.
struct Counter {
    kv::PtyServer* server = nullptr;
    kv::SimBus* bus = nullptr;
    kv::SimClock* clock = nullptr;

    void reset() {
        if (server) server->resetStats();
        if (bus) bus->resetStats();
    }
    double roundTrips() const {
        return static_cast<double>(server ? server->stats().roundTrips : bus->stats().writes);
    }
    double wireMicroseconds() const {
        return static_cast<double>(server ? server->stats().wireMicroseconds
                                          : bus->stats().wireMicroseconds);
    }
    double nowMicroseconds() const {
        if (clock) return static_cast<double>(clock->peekMicroseconds());
        return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count();
    }
};

struct Bench {
    Counter counter;
    int32_t port;

    // Runs the operation `repeat` times and divides by `units` per run.
    template <typename Op>
    Measure run(int repeat, double units, Op op) {
        Measure m;
        counter.reset();
        std::vector<double> times;
        const double cpuStart = ThreadCpuMicroseconds();
        for (int i = 0; i < repeat; ++i) {
            const double start = counter.nowMicroseconds();
            m.ok = op() && m.ok;
            times.push_back((counter.nowMicroseconds() - start) / units);
        }
        const double n = repeat * units;
        m.cpuMicroseconds = counter.clock ? -1 : (ThreadCpuMicroseconds() - cpuStart) / n;
        // The median keeps a busy machine's scheduling hiccups out of the figure.
        std::sort(times.begin(), times.end());
        m.microseconds = times[times.size() / 2];
        m.roundTrips = counter.roundTrips() / n;
        m.wireMicroseconds = counter.wireMicroseconds() / n;
        return m;
    }
};

void Row(const char* what, int latencyMs, int devices, const Measure& m) {
    char cpu[32] = "-";  // not measured on a simulated clock
    if (m.cpuMicroseconds >= 0) std::snprintf(cpu, sizeof cpu, "%.3f", m.cpuMicroseconds / 1000.0);
    std::printf("| %-38s | %3d | %4d | %10.2f | %7.1f | %8.2f | %6.2f | %8s |%s\n", what, latencyMs,
                devices, m.microseconds / 1000.0, m.roundTrips, m.wireMicroseconds / 1000.0,
                m.microseconds / m.wireMicroseconds, cpu, m.ok ? "" : " (failed)");
}

std::vector<int> ParseList(const char* text) {
    std::vector<int> values;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');)
        if (!item.empty() && std::atoi(item.c_str()) >= 0)
            values.push_back(std::atoi(item.c_str()));
    return values;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 10;
    bool compare = false;
    bool simulated = false;
    std::vector<int> sizes = {1, 10, 50};
    std::vector<int> latencies = {0, 16};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--compare") {
            compare = true;
        } else if (arg == "--simulated") {
            simulated = true;
        } else if (arg == "--devices" && i + 1 < argc) {
            sizes = ParseList(argv[++i]);
        } else if (arg == "--latency" && i + 1 < argc) {
            latencies = ParseList(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: kv_bench_bus [--repeat N] [--latency 0,16] [--devices 1,10,50] "
                         "[--compare] [--simulated]\n");
            return arg == "--help" ? 0 : 1;
        }
    }
    std::printf("Wire time emulated %s; %d repetitions per figure.\n\n",
                simulated ? "in-process on a simulated clock" : "on a pseudo-terminal", repeat);
    std::printf("| %-38s | %3s | %4s | %10s | %7s | %8s | %6s | %8s |\n", "operation", "lat",
                "devs", "median ms", "trips", "wire ms", "ratio", "CPU ms");
    std::printf(
        "|%s|%s|%s|%s|%s|%s|%s|%s|\n", std::string(40, '-').c_str(), std::string(5, '-').c_str(),
        std::string(6, '-').c_str(), std::string(12, '-').c_str(), std::string(9, '-').c_str(),
        std::string(10, '-').c_str(), std::string(8, '-').c_str(), std::string(10, '-').c_str());

    int failures = 0;
    for (int latencyMs : latencies) {
        for (int devices : sizes) {
            std::mt19937_64 random(2026);
            auto bus = std::make_shared<kv::SimBus>();
            std::vector<kv::RomCode> roms;
            for (int i = 0; i < devices; ++i) {
                roms.push_back(kv::SimMakeRom(i % 4 == 3 ? kv::FamilyDs18s20 : kv::FamilyDs18b20,
                                              random() & 0xFFFFFFFFFFFF));
                bus->addThermometer(roms.back(), 20.0 + i * 0.0625);
            }
            bus->setWireTime(true);
            bus->setEchoLatencyMicroseconds(int64_t{latencyMs} * 1000);
            kv::PtyServer server(bus);
            kv::SimClock clock;
            std::unique_ptr<kv::ScopedTimeSource> time;
            std::u16string name = SimulatedPortName;
            Counter counter{nullptr, bus.get(), &clock};
            if (simulated) {
                time = std::make_unique<kv::ScopedTimeSource>(&clock);
                kv::SimRegisterBus(name, bus);
            } else {
                std::string error;
                if (!server.open(&error) || !server.start()) {
                    std::fprintf(stderr, "kv_bench_bus: %s\n", error.c_str());
                    return 1;
                }
                name = kv::U16(server.slavePath());
                counter = Counter{&server, nullptr, nullptr};
            }
            kv::OneWireSetOptions(0);
            const int32_t port = kv::OneWireOpen(name, kv::PortDynamic);
            if (!port) {
                std::fprintf(stderr, "kv_bench_bus: cannot open the bus\n");
                return 1;
            }
            Bench bench{counter, port};
            auto row = [&](const char* what, const Measure& m) {
                Row(what, latencyMs, devices, m);
                failures += m.ok ? 0 : 1;
            };
            const int enumerations = std::max(1, repeat / devices);
            row("enumeration, per device", bench.run(enumerations, devices, [&] {
                const kv::Enumeration found = kv::OneWireEnumerate(port);
                return static_cast<int>(found.codes.size()) == devices &&
                       found.end == kv::EnumerationEnd::Complete;
            }));
            const std::vector<kv::RomCode> listed = kv::OneWireEnumerate(port).codes;
            row("  a walk expecting the list, per device", bench.run(enumerations, devices, [&] {
                kv::SearchWalk walk;
                kv::OneWireWalkBegin(walk, listed);
                while (kv::OneWireWalkStep(walk, port) == 1) {
                }
                return walk.found.codes == listed && walk.found.end == kv::EnumerationEnd::Complete;
            }));
            if (compare && devices <= CompareSearchDeviceLimit) {
                row("  slot by slot, per device", bench.run(1, devices, [&] {
                    kv::OneWireSearchReset();
                    kv::RomCode rom{};
                    int found = 0;
                    while (kv::OneWireSearchNextBySlots(rom.data(), port) == 1) ++found;
                    return found == devices && kv::OneWireLastResult() == kv::NoData;
                }));
            }
            row("reset", bench.run(repeat, 1, [&] { return kv::OneWireReset(port) == 1; }));
            size_t next = 0;
            row("reading (reset + 152 slots)", bench.run(repeat, 1, [&] {
                uint8_t pad[kv::ScratchpadSize];
                const kv::RomCode& rom = roms[next++ % roms.size()];
                return kv::OneWireReadDeviceScratchpad(rom.data(), pad, port) &&
                       kv::ScratchpadCrcOk(pad);
            }));
            if (compare) {
                row("  Match ROM + Read Scratchpad", bench.run(repeat, 1, [&] {
                    uint8_t pad[kv::ScratchpadSize];
                    const kv::RomCode& rom = roms[next++ % roms.size()];
                    return kv::OneWireMatchRom(rom.data(), port) &&
                           kv::OneWireReadScratchpad(pad, port) && kv::ScratchpadCrcOk(pad);
                }));
            }
            // The bus work of one pass of common conversion; the 800 ms conversion wait
            // between the two halves is the worker's and is left out.
            auto pass = [&] {
                bool ok = kv::OneWireStartConversion(nullptr, port) == 1;
                for (const kv::RomCode& rom : roms) {
                    uint8_t pad[kv::ScratchpadSize];
                    ok = kv::OneWireReadDeviceScratchpad(rom.data(), pad, port) && ok;
                }
                return ok;
            };
            const int passes = std::max(1, repeat / std::max(1, devices / 5));
            row("pass (Convert T + every reading)", bench.run(passes, 1, pass));
            kv::OneWireSetOptions(kv::OptLowCpu);
            row("  the same with OptLowCpu", bench.run(passes, 1, pass));
            kv::OneWireSetOptions(0);
            kv::OneWireClose(port);
            server.stop();
            if (simulated) kv::SerialUnregisterVirtualPort(name);
        }
    }
    return failures == 0 ? 0 : 1;
}
