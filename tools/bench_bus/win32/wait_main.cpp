// Windows bench of the echo waits: monitors the thermometers on a COM port as the program
// does (Convert T to all, 800 ms, every reading, once a second) for a number of seconds,
// between two lines that tell a script when to read the process's CPU time from outside
// (Wine's own account of it is not to be trusted). --polled swaps the device's wait for the one it
// had before, a look at the driver's queue every millisecond, around the same device, so that both
// run side by side in one build. Not a test: tools/bench_bus/wine_cpu.sh runs it under Wine.
//   kv_bench_wait PORT SECONDS [--polled] [--low-cpu]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/transaction.h"
#include "runtime/clock.h"
#include "serial/device_path.h"
#include "serial/serial_device.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char16_t PolledPortName[] = u"POLLED";
constexpr int ConversionMs = 800;
constexpr int IntervalMs = 1000;
constexpr DWORD PollMs = 1;
constexpr int HoldAfterMs = 1000;

// The earlier wait: looks at the queue, sleeps a millisecond, looks again (the device keeps
// the system timer at 1 ms while it is open, as it did then).
class PolledWaits final : public kv::SerialDevice {
  public:
    explicit PolledWaits(std::unique_ptr<kv::SerialDevice> inner) : inner_(std::move(inner)) {}
    bool configure(int baud, int dataBits, int parity, double stopBits) override {
        return inner_->configure(baud, dataBits, parity, stopBits);
    }
    bool setLine(int line, bool level) override { return inner_->setLine(line, level); }
    int write(const uint8_t* data, int count) override { return inner_->write(data, count); }
    int read(uint8_t* data, int count) override { return inner_->read(data, count); }
    int inputCount() override { return inner_->inputCount(); }
    int waitInput(int count, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const int waiting = inner_->inputCount();
            if (waiting < 0 || waiting >= count || Clock::now() >= deadline) return waiting;
            Sleep(PollMs);
        }
    }
    bool gone() override { return inner_->gone(); }

  private:
    std::unique_ptr<kv::SerialDevice> inner_;
};

int Usage() {
    std::fprintf(stderr, "usage: kv_bench_wait PORT SECONDS [--polled] [--low-cpu]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string portName = argv[1];
    const int seconds = std::atoi(argv[2]);
    bool polled = false;
    bool lowCpu = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--polled") == 0) {
            polled = true;
        } else if (std::strcmp(argv[i], "--low-cpu") == 0) {
            lowCpu = true;
        } else {
            return Usage();
        }
    }
    if (seconds <= 0) return Usage();

    std::u16string name(portName.begin(), portName.end());
    if (polled) {
        std::string path;
        if (!kv::SerialDevicePath(name, path)) return Usage();
        kv::SerialRegisterVirtualPort(
            PolledPortName, [path]() -> std::unique_ptr<kv::SerialDevice> {
                auto device = kv::OpenPlatformSerialDevice(path);
                return device ? std::make_unique<PolledWaits>(std::move(device)) : nullptr;
            });
        name = PolledPortName;
    }
    kv::OneWireSetOptions(lowCpu ? kv::OptLowCpu : 0);
    const int32_t port = kv::OneWireOpen(name, kv::PortDynamic);
    if (port <= 0) {
        std::fprintf(stderr, "kv_bench_wait: %s does not open\n", portName.c_str());
        return 1;
    }
    const kv::Enumeration found = kv::OneWireEnumerate(port);
    if (found.codes.empty()) {
        std::fprintf(stderr, "kv_bench_wait: no device on %s\n", portName.c_str());
        return 1;
    }

    std::printf("measuring\n");
    std::fflush(stdout);
    const auto start = Clock::now();
    int readings = 0;
    int failed = 0;
    for (int second = 0; second < seconds; ++second) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(IntervalMs * second));
        if (!kv::OneWireStartConversion(nullptr, port)) {
            ++failed;
            continue;
        }
        kv::DelayMs(ConversionMs);
        for (const kv::RomCode& rom : found.codes) {
            uint8_t scratchpad[kv::ScratchpadSize];
            if (kv::OneWireReadDeviceScratchpad(rom.data(), scratchpad, port) &&
                kv::ScratchpadCrcOk(scratchpad)) {
                ++readings;
            } else {
                ++failed;
            }
        }
    }
    std::this_thread::sleep_until(start + std::chrono::milliseconds(IntervalMs * seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("measured %-8s OptLowCpu=%d  %zu sensors, %.0f s: %d readings, %d failed\n",
                polled ? "polled" : "sleeping", lowCpu ? 1 : 0, found.codes.size(), wall, readings,
                failed);
    std::fflush(stdout);
    // The script reads the CPU time once it sees the line: stay until it has.
    std::this_thread::sleep_for(std::chrono::milliseconds(HoldAfterMs));
    kv::OneWireClose(port);
    return failed == 0 ? 0 : 1;
}
