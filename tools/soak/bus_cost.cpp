// Bus time of one common-conversion pass, measured on the worker itself running against a
// simulated bus whose echoes take the bytes' wire time: in simulated time, or in real time
// through a pseudo-terminal. The pass's 100 ms loop sleep and 800 ms conversion wait are
// left out; what remains is every transaction of the pass, set against its wire-time limit
// (the sum of the byte times of everything sent, the least any implementation could take).
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/monitor_worker.h"
#include "onewire/bus.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "onewire/search.h"
#include "onewire/search_walk.h"
#include "onewire/uart/encoding.h"
#include "runtime/utf.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "session/search_schedule.h"
#include "sim/posix/pty_server.h"
#include "sim/sim_bus.h"
#include "tools/soak/counting_clock.h"
#include "tools/soak/soak_run.h"
#include "tools/soak/soak_window.h"

namespace kv::soak {

namespace {

int BlockLimitMs(int bytes) {
    return bytes * BlockEchoPerByteMs + BlockEchoConstantMs;
}

// The sum of the echo time-outs of a pass's transactions: how long a pass may take when
// nothing echoes, before every transaction has given up.
// Each is a reset and one block: Skip ROM + Convert T (2 bytes), Match ROM + the code +
// Read Scratchpad + the nine bytes read (19).
double PassLimitMs(int thermometers) {
    const int conversion = ResetEchoLimitMs + BlockLimitMs(2);
    const int reading = ResetEchoLimitMs + BlockLimitMs(1 + 8 + 1 + 9);
    return conversion + thermometers * reading;
}

struct Boundary {
    int64_t now;
    int64_t slept;
    int64_t wireMicroseconds;
    uint64_t failures;
};

struct Cost {
    double busMs, wireMs, limitMs;
    double searchMs;    // one walk over the whole bus, as the worker's search makes it
    uint64_t failures;  // readings that failed or were corrupted while measuring
};

Cost Measure(int thermometers, int passes, bool pty) {
    std::u16string name = u"COST";
    auto bus = std::make_shared<SimBus>(3);
    bus->setWireTime(true);
    for (int i = 0; i < thermometers; ++i)
        bus->addThermometer(SimMakeRom(0x28, 0x100000 + static_cast<uint64_t>(i)), 20.0 + i * 0.25);
    std::unique_ptr<PtyServer> server;
    if (pty) {
        bus->setPowerSensing(false);  // a terminal has no modem lines
        server = std::make_unique<PtyServer>(bus);
        if (!server->open() || !server->start()) return {-1, -1, -1, -1, 0};
        name = Utf16FromUtf8(server->slavePath());
    } else {
        SimRegisterBus(name, bus);
    }
    BuildWorkerWindow(name);
    ControlBlockReset();
    ControlBlock.Interval = 1;
    MonitorWorkerStatisticsReset();

    CountingClock clock(/*simulated=*/!pty);
    std::mutex mutex;
    std::vector<Boundary> boundaries;
    uint64_t seenPassEnds = 0;
    clock.onLoopSleep([&](int64_t now, int64_t slept) {
        // The first loop sleep after a pass end starts the next pass.
        const uint64_t ends = MonitorWorkerStatistics().passEnds;
        if (ends == seenPassEnds) return;
        seenPassEnds = ends;
        std::lock_guard<std::mutex> lock(mutex);
        boundaries.push_back(
            {now, slept, server ? server->stats().wireMicroseconds : bus->stats().wireMicroseconds,
             MonitorWorkerStatistics().readFailures + MonitorWorkerStatistics().crcErrors +
                 MonitorWorkerStatistics().busFailures});
    });
    SetTimeSource(&clock);
    std::thread worker([] { MonitorWorker(0); });
    const size_t wanted = static_cast<size_t>(passes) + 2;  // the first pass follows the search
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard<std::mutex> lock(mutex);
        if (boundaries.size() >= wanted) break;
    }
    ControlBlock.StopRequested = 1;
    worker.join();
    SerialCloseAll();
    currentPort = PortNone;
    // The search the worker repeats while monitoring, on the same bus and clock: a walk
    // that expects the devices listed.
    double searchMs = -1;
    if (const int32_t port = OneWireOpen(name, PortDynamic)) {
        const std::vector<RomCode> listed = OneWireEnumerate(port).codes;
        SearchWalk walk;
        OneWireWalkBegin(walk, listed);
        const int64_t start = clock.nowMicroseconds();
        while (OneWireWalkStep(walk, port) == 1) {
        }
        const int64_t took = clock.nowMicroseconds() - start;
        if (walk.found.end == EnumerationEnd::Complete &&
            static_cast<int>(walk.found.codes.size()) == thermometers)
            searchMs = took / 1000.0;
        OneWireClose(port);
    }
    SetTimeSource(nullptr);
    if (server) {
        server->stop();
    } else {
        SerialUnregisterVirtualPort(name);
    }
    ui::ToolkitRelease();

    const Boundary& from = boundaries[1];
    const Boundary& to = boundaries[wanted - 1];
    const double n = static_cast<double>(wanted - 2);
    return {(to.now - from.now - (to.slept - from.slept)) / 1000.0 / n,
            (to.wireMicroseconds - from.wireMicroseconds) / 1000.0 / n, PassLimitMs(thermometers),
            searchMs, to.failures - from.failures};
}

}  // namespace

int RunBusCost(int passes, bool pty) {
    std::printf(
        "Common conversion, bus time per pass without the 100 ms loop sleep and the "
        "800 ms conversion wait; %s; %d passes each\n\n",
        pty ? "real time through a pseudo-terminal with the wire time emulated"
            : "simulated clock, echoes after their wire time",
        passes);
    std::printf(
        "| thermometers | bus time per pass | wire-time limit | ratio | "
        "sum of echo time-outs | failed readings | search of the bus | share of the "
        "running time at one search a minute |\n|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int thermometers : {1, 10, 50}) {
        const Cost cost = Measure(thermometers, passes, pty);
        if (cost.busMs < 0) {
            std::fprintf(stderr, "kalorivox-soak: no pseudo-terminal\n");
            return 1;
        }
        std::printf("| %d | %.2f ms | %.2f ms | %.2f | %.0f ms | %llu | %.1f ms | %.3f %% |\n",
                    thermometers, cost.busMs, cost.wireMs, cost.busMs / cost.wireMs, cost.limitMs,
                    static_cast<unsigned long long>(cost.failures), cost.searchMs,
                    100.0 * cost.searchMs / static_cast<double>(WalkPeriodMs));
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace kv::soak
