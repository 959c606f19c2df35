// Bus benchmark: the real serial and 1-Wire code against a simulated bus served on a
// pseudo-terminal with the UART's wire time emulated (10 bit times per byte). For 1, 10 and
// 50 devices it times a full enumeration, one reset, and Match ROM + Read Scratchpad, counts
// their round trips, and sets each against its wire-time limit: the sum of the byte times
// of everything sent, the least any implementation of the same exchange could take. The
// ratio is the median time over that limit.
//
//   kv_bench_bus [--repeat N] [--low-cpu] [--detail] [--devices 1,10,50]
// --detail adds the pieces: single-byte and 8-byte writes and one read slot.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "sim/posix/pty_server.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Measure {
    double microseconds = 0;  // median per unit (per device for the enumeration)
    double meanMicroseconds = 0;
    double roundTrips = 0;
    double wireMicroseconds = 0;
    bool ok = true;
};

struct Bench {
    kv::PtyServer& server;
    int32_t port;

    // Runs the operation `repeat` times and divides by `units` per run.
    template <typename Op>
    Measure run(int repeat, double units, Op op) {
        Measure m;
        server.resetStats();
        std::vector<double> times;
        for (int i = 0; i < repeat; ++i) {
            const auto start = Clock::now();
            m.ok = op() && m.ok;
            times.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count() / units);
        }
        const auto stats = server.stats();
        const double n = repeat * units;
        // The median keeps a busy machine's scheduling hiccups out of the figure; the mean
        // shows them.
        std::sort(times.begin(), times.end());
        m.microseconds = times[times.size() / 2];
        for (double t : times) m.meanMicroseconds += t / repeat;
        m.roundTrips = static_cast<double>(stats.roundTrips) / n;
        m.wireMicroseconds = static_cast<double>(stats.wireMicroseconds) / n;
        return m;
    }
};

void Row(const char* what, int devices, const Measure& m) {
    std::printf("| %-34s | %7d | %11.3f | %9.3f | %11.1f | %9.3f | %5.2f |%s\n", what, devices,
                m.microseconds / 1000.0, m.meanMicroseconds / 1000.0, m.roundTrips,
                m.wireMicroseconds / 1000.0, m.microseconds / m.wireMicroseconds,
                m.ok ? "" : " (failed)");
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 20;
    bool lowCpu = false;
    bool detail = false;
    std::vector<int> sizes = {1, 10, 50};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--detail") {
            detail = true;
        } else if (arg == "--low-cpu") {
            lowCpu = true;
        } else if (arg == "--devices" && i + 1 < argc) {
            sizes.clear();
            std::stringstream list(argv[++i]);
            for (std::string item; std::getline(list, item, ',');)
                if (std::atoi(item.c_str()) > 0) sizes.push_back(std::atoi(item.c_str()));
        } else {
            std::fprintf(
                stderr,
                "usage: kv_bench_bus [--repeat N] [--low-cpu] [--detail] [--devices 1,10,50]\n");
            return arg == "--help" ? 0 : 1;
        }
    }
    kv::OneWireSetOptions(lowCpu ? kv::OptLowCpu : 0);
    std::printf("Wire time emulated on a pseudo-terminal; %d repetitions per figure%s.\n\n", repeat,
                lowCpu ? ", OptLowCpu set" : "");
    std::printf("| %-34s | %7s | %11s | %9s | %11s | %9s | %5s |\n", "operation", "devices",
                "median (ms)", "mean (ms)", "round trips", "wire (ms)", "ratio");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(),
                std::string(9, '-').c_str(), std::string(13, '-').c_str(),
                std::string(11, '-').c_str(), std::string(13, '-').c_str(),
                std::string(11, '-').c_str(), std::string(7, '-').c_str());

    std::mt19937_64 random(2026);
    int failures = 0;
    for (int devices : sizes) {
        auto bus = std::make_shared<kv::SimBus>();
        std::vector<kv::RomCode> roms;
        for (int i = 0; i < devices; ++i) {
            roms.push_back(kv::SimMakeRom(i % 4 == 3 ? kv::FamilyDs18s20 : kv::FamilyDs18b20,
                                          random() & 0xFFFFFFFFFFFF));
            bus->addThermometer(roms.back(), 20.0 + i * 0.0625);
        }
        bus->setWireTime(true);
        kv::PtyServer server(bus);
        std::string error;
        if (!server.open(&error) || !server.start()) {
            std::fprintf(stderr, "kv_bench_bus: %s\n", error.c_str());
            return 1;
        }
        const int32_t port = kv::OneWireOpen(kv::U16(server.slavePath()), kv::PortDynamic);
        if (!port) {
            std::fprintf(stderr, "kv_bench_bus: cannot open %s\n", server.slavePath().c_str());
            return 1;
        }
        Bench bench{server, port};
        const int enumerations = std::max(1, repeat / std::max(1, devices / 5));
        const Measure search = bench.run(enumerations, devices, [&] {
            const kv::Enumeration found = kv::OneWireEnumerate(port);
            return static_cast<int>(found.codes.size()) == devices &&
                   found.end == kv::EnumerationEnd::Complete;
        });
        const Measure reset = bench.run(repeat * 5, 1, [&] { return kv::OneWireReset(port) == 1; });
        size_t next = 0;
        const Measure read = bench.run(repeat * 5, 1, [&] {
            uint8_t pad[kv::ScratchpadSize];
            const kv::RomCode& rom = roms[next++ % roms.size()];
            return kv::OneWireMatchRom(rom.data(), port) && kv::OneWireReadScratchpad(pad, port) &&
                   kv::ScratchpadCrcOk(pad);
        });
        const Measure block = bench.run(repeat * 5, 1, [&] {
            uint8_t bytes[kv::ScratchpadSize];
            return kv::OneWireReadBytes(bytes, kv::ScratchpadSize, port) == 1;
        });
        Row("enumeration, per device", devices, search);
        Row("reset", devices, reset);
        Row("Match ROM + Read Scratchpad", devices, read);
        Row("block read of 9 bytes (72 slots)", devices, block);
        failures += !search.ok + !reset.ok + !read.ok + !block.ok;
        if (detail) {
            const Measure one =
                bench.run(repeat * 5, 1, [&] { return kv::OneWireWriteBytes(0xBE, 1, port) == 1; });
            const Measure eight = bench.run(
                repeat * 5, 1, [&] { return kv::OneWireWriteBytes(roms[0].data(), 8, port) == 1; });
            const Measure slot = bench.run(repeat * 20, 1, [&] {
                kv::OneWireReadBit(kv::OneWireResolvePort(port), kv::SlotComplete);
                return kv::OneWireLastResult() == kv::Ok;
            });
            Row("  write 1 byte (8 slots)", devices, one);
            Row("  write 8 bytes (64 slots)", devices, eight);
            Row("  single read slot", devices, slot);
        }
        kv::OneWireClose(port);
        server.stop();
    }
    return failures == 0 ? 0 : 1;
}
