// kalorivox-simpty: serves a simulated 1-Wire bus on a pseudo-terminal and prints the
// path of its slave side, which any serial program (kalorivox-probe, the monitor) opens
// like a real port. Runs until interrupted.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "onewire/ds18x20.h"
#include "runtime/clock.h"
#include "sim/demo_bus.h"
#include "sim/posix/pty_server.h"
#include "sim/sim_origins.h"

namespace {

constexpr char Usage[] =
    "usage: kalorivox-simpty [options]\n"
    "Serves a simulated 1-Wire bus (passive UART adapter) on a pseudo-terminal and\n"
    "prints the terminal's path. Stops on Ctrl-C or SIGTERM.\n"
    "\n"
    "Devices (without any of these the demo bus is served):\n"
    "  --demo                   three DS18B20 (one parasite-powered) and one DS18S20\n"
    "  --mixed                  one DS18B20 of every origin below, with its ROM pattern, a\n"
    "                           genuine one on parasite power, and a DS18S20\n"
    "  --ds18b20 ROM:C[:flags]  a DS18B20 at C degrees Celsius\n"
    "  --ds18s20 ROM:C[:flags]  a DS18S20 at C degrees Celsius\n"
    "  --other ROM              a device of another family (answers ROM commands only)\n"
    "  --empty                  no device at all\n"
    "    ROM is 16 hex digits in bus order, family byte first, taken as given (a wrong\n"
    "    CRC byte stays wrong), or 14 digits to have the CRC byte computed.\n"
    "    flags, separated by ':': parasite (two-wire hook-up), badcrc (the scratchpad's\n"
    "    CRC byte is sent wrong), origin=NAME (a DS18B20 that behaves as published tests\n"
    "    found the genuine part or a clone family to: genuine, a2, a3, b1, b1v2, b2, c,\n"
    "    d1, d2, e, f, g, h),\n"
    "    away (not plugged in at start; SIGUSR1 plugs every such device in, and out\n"
    "    again at the next SIGUSR1)\n"
    "Faults:\n"
    "  --no-adapter             the port opens but nothing echoes\n"
    "  --stuck-low              the data line is held low (every echo 0x00)\n"
    "  --noise P                every echoed bit flips with probability P\n"
    "  --stray P                after an echo an extra byte arrives with probability P\n"
    "  --seed N                 seed of noise and stray bytes (default 1)\n"
    "  --latency MS             echoes come back like through a USB converter: held in\n"
    "                           packets of 62 that go when full or MS milliseconds after\n"
    "                           their first echo (at most 10000; FTDI's default is 16)\n"
    "Timing and access:\n"
    "  --wire-time              echoes take the bytes' time on the wire (10 bits each)\n"
    "  --link PATH              also make PATH a symbolic link to the terminal (an earlier\n"
    "                           link there is replaced, any other file is left alone)\n"
    "  --idle-log FILE          note in FILE every stretch of more than a second without a\n"
    "                           byte from the client, as it ends, and at the end the time of\n"
    "                           the first and the last byte and the longest stretch\n"
    "  --help                   this text\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "kalorivox-simpty: %s\n", message.c_str());
    return 1;
}

// Beyond this an echo would outlast every time limit of the bus many times over.
constexpr double MaxLatencyMs = 10'000;

// strtod also takes "nan" and "inf", which no probability, delay or temperature can be.
bool ParseDouble(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

// The link goes where nothing is, or over an earlier symbolic link (say, of a run that was
// killed); a file or directory of the user's at that path is never removed.
bool PlaceLink(const std::string& target, const std::string& link, std::string& error) {
    struct stat info {};
    if (::lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            error = "cannot link " + link + ": it exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Only while the link still leads to this run's terminal: someone may have put another
// in its place meanwhile.
void RemoveLink(const std::string& target, const std::string& link) {
    std::string seen(target.size() + 1, '\0');
    const ssize_t n = ::readlink(link.c_str(), seen.data(), seen.size());
    if (n >= 0 && static_cast<size_t>(n) == target.size() &&
        seen.compare(0, target.size(), target) == 0)
        ::unlink(link.c_str());
}

// What the client wrote when: every stretch without a byte longer than IdleNoteMs, in
// seconds since the tool started. Told as it ends, so a log of a run that is killed has it.
class IdleLog {
  public:
    static constexpr int64_t IdleNoteMs = 1000;

    explicit IdleLog(std::FILE* file) : file_(file), start_(kv::MicrosecondClock()) {}
    ~IdleLog() { std::fclose(file_); }

    // On the serving thread.
    void bytes(int64_t at, int count) {
        if (first_ < 0) {
            first_ = at;
            std::fprintf(file_, "first byte at %.3f s\n", seconds(at));
        } else if (at - last_ > IdleNoteMs * 1000) {
            std::fprintf(file_, "idle %.3f s, from %.3f s to %.3f s\n", (at - last_) / 1e6,
                         seconds(last_), seconds(at));
        }
        if (first_ >= 0 && last_ >= 0) longest_ = std::max(longest_, at - last_);
        last_ = at;
        bytes_ += count;
        std::fflush(file_);
    }
    // Once the serving thread has stopped.
    void end() {
        const int64_t now = kv::MicrosecondClock();
        if (first_ < 0) {
            std::fprintf(file_, "no byte in %.3f s\n", seconds(now));
        } else {
            std::fprintf(file_,
                         "%lld bytes, the last at %.3f s (%.3f s before the end); the longest "
                         "stretch without a byte %.3f s\n",
                         static_cast<long long>(bytes_), seconds(last_), (now - last_) / 1e6,
                         longest_ / 1e6);
        }
        std::fflush(file_);
    }

  private:
    double seconds(int64_t at) const { return (at - start_) / 1e6; }

    std::FILE* file_;
    int64_t start_;
    int64_t first_ = -1;
    int64_t last_ = -1;
    int64_t longest_ = 0;
    int64_t bytes_ = 0;
};

// "ROM:C[:flags]" for a thermometer of the given family.
using Devices = std::vector<std::shared_ptr<kv::SimDevice>>;

// `away` collects the devices that start unplugged.
bool AddThermometer(kv::SimBus& bus, uint8_t family, const std::string& text, Devices& away,
                    std::string& error) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        error = "expected ROM:CELSIUS, got '" + text + "'";
        return false;
    }
    kv::RomCode rom{};
    if (!kv::SimParseRom(text.substr(0, colon).c_str(), rom) || rom[0] != family) {
        char expected[8];
        std::snprintf(expected, sizeof expected, "%02X", family);
        error =
            "bad ROM code in '" + text + "' (14 or 16 hex digits starting with " + expected + ")";
        return false;
    }
    std::string rest = text.substr(colon + 1);
    std::string flags;
    if (const size_t next = rest.find(':'); next != std::string::npos) {
        flags = rest.substr(next + 1) + ":";
        rest.resize(next);
    }
    double celsius = 0;
    if (!ParseDouble(rest.c_str(), celsius)) {
        error = "bad temperature in '" + text + "'";
        return false;
    }
    auto device = bus.addThermometer(rom, celsius);
    for (size_t start = 0; start < flags.size();) {
        const size_t end = flags.find(':', start);
        const std::string flag = flags.substr(start, end - start);
        start = end + 1;
        constexpr std::string_view OriginFlag = "origin=";
        if (flag == "parasite") {
            device->setParasite(true);
        } else if (flag == "badcrc") {
            device->setCorruptScratchpadCrc(true);
        } else if (flag == "away") {
            away.push_back(device);
        } else if (flag.starts_with(OriginFlag) && family == kv::FamilyDs18b20) {
            const kv::ThermometerOrigin* origin = kv::SimFindOrigin(flag.substr(OriginFlag.size()));
            if (!origin) {
                error = "unknown origin in '" + flag + "'";
                return false;
            }
            device->setPart(kv::SimOriginPart(*origin));
        } else if (!flag.empty()) {
            error = "unknown device flag '" + flag + "'";
            return false;
        }
    }
    return true;
}

// One DS18B20 of each origin at a room temperature, a genuine one on parasite power and a
// DS18S20: a bus to try --inspect on.
void AddMixed(kv::SimBus& bus) {
    // Every byte of the serial set, so that only an origin's own pattern fixes any.
    constexpr uint64_t FirstSerial = 0x5E3C0A1B2C3D;
    uint64_t serial = FirstSerial;
    double celsius = 21.0;
    for (const kv::ThermometerOrigin& origin : kv::ThermometerOrigins(kv::FamilyDs18b20)) {
        auto device = bus.addThermometer(kv::SimOriginRom(origin, serial++), celsius);
        device->setPart(kv::SimOriginPart(origin));
        celsius += 0.3125;
    }
    const kv::ThermometerOrigin& genuine = *kv::SimFindOrigin("genuine");
    bus.addThermometer(kv::SimOriginRom(genuine, serial++), 19.5, true)
        ->setPart(kv::SimOriginPart(genuine));
    bus.addThermometer(kv::SimMakeRom(kv::FamilyDs18s20, serial), 22.5)
        ->setPart(kv::SimOriginPart(kv::ThermometerOrigins(kv::FamilyDs18s20).front()));
}

}  // namespace

int main(int argc, char** argv) {
    auto bus = std::make_shared<kv::SimBus>();
    bool demo = false, mixed = false, anyDevice = false, empty = false;
    Devices away;
    double noise = 0, stray = 0, latencyMs = 0;
    unsigned long long seed = 1;
    bool noAdapter = false, stuckLow = false, wireTime = false;
    std::string link, idleLog;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        std::string error;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--demo") {
            demo = true;
        } else if (arg == "--mixed") {
            mixed = true;
        } else if (arg == "--empty") {
            empty = true;
        } else if (arg == "--ds18b20" || arg == "--ds18s20") {
            if (!value(v)) return Fail(arg + " needs ROM:CELSIUS");
            if (!AddThermometer(*bus, arg == "--ds18b20" ? kv::FamilyDs18b20 : kv::FamilyDs18s20, v,
                                away, error))
                return Fail(error);
            anyDevice = true;
        } else if (arg == "--other") {
            kv::RomCode rom{};
            if (!value(v) || !kv::SimParseRom(v, rom))
                return Fail("--other needs a ROM code of 14 or 16 hex digits");
            // The family byte makes a thermometer of any device that carries it.
            if (kv::IsThermometerFamily(rom[0]))
                return Fail("--other is for families other than 10 and 28");
            bus->addDevice(rom);
            anyDevice = true;
        } else if (arg == "--no-adapter") {
            noAdapter = true;
        } else if (arg == "--stuck-low") {
            stuckLow = true;
        } else if (arg == "--wire-time") {
            wireTime = true;
        } else if (arg == "--noise" || arg == "--stray" || arg == "--latency") {
            double number = 0;
            if (!value(v) || !ParseDouble(v, number) || number < 0)
                return Fail(arg + " needs a number of at least 0");
            if (arg == "--latency") {
                if (number > MaxLatencyMs)
                    return Fail("--latency needs milliseconds from 0 to " +
                                std::to_string(static_cast<int>(MaxLatencyMs)));
                latencyMs = number;
            } else if (number > 1) {
                return Fail(arg + " needs a probability from 0 to 1");
            } else {
                (arg == "--noise" ? noise : stray) = number;
            }
        } else if (arg == "--seed") {
            char* end = nullptr;
            if (!value(v)) return Fail("--seed needs a number");
            seed = std::strtoull(v, &end, 0);
            if (end == v || *end != '\0') return Fail("--seed needs a number");
        } else if (arg == "--link") {
            if (!value(v)) return Fail("--link needs a path");
            link = v;
        } else if (arg == "--idle-log") {
            if (!value(v)) return Fail("--idle-log needs a path");
            idleLog = v;
        } else {
            return Fail("unknown option '" + arg + "' (try --help)");
        }
    }
    if (empty && (demo || mixed || anyDevice)) return Fail("--empty does not go with devices");
    if (mixed) AddMixed(*bus);
    if (demo || (!anyDevice && !empty && !mixed)) {
        auto demoBus = kv::SimMakeDemoBus();
        for (auto& device : demoBus->devices()) bus->plug(device);
    }
    bus->setSeed(seed);
    bus->setAdapterPresent(!noAdapter);
    bus->setStuckLow(stuckLow);
    bus->setNoise(noise);
    bus->setStrayProbability(stray);
    bus->setEchoLatencyMicroseconds(static_cast<int64_t>(latencyMs * 1000));
    bus->setWireTime(wireTime);
    for (const auto& device : away) bus->unplug(device->rom());

    // Signals are taken by sigwait below, not by the serving thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    kv::PtyServer server(bus);
    std::string error;
    if (!server.open(&error)) return Fail(error);
    std::unique_ptr<IdleLog> idle;
    if (!idleLog.empty()) {
        std::FILE* file = std::fopen(idleLog.c_str(), "w");
        if (!file) return Fail("cannot write " + idleLog + ": " + std::strerror(errno));
        idle = std::make_unique<IdleLog>(file);
        server.watchBytes([&idle](int64_t at, int count) { idle->bytes(at, count); });
    }
    if (!link.empty() && !PlaceLink(server.slavePath(), link, error)) return Fail(error);
    std::printf("%s\n", server.slavePath().c_str());
    std::fflush(stdout);
    server.start();
    int signal = 0;
    bool plugged = false;
    while (sigwait(&stopSignals, &signal) == 0 && signal == SIGUSR1) {
        plugged = !plugged;
        for (const auto& device : away) {
            if (plugged)
                bus->plug(device);
            else
                bus->unplug(device->rom());
        }
    }
    server.stop();
    if (idle) idle->end();
    if (!link.empty()) RemoveLink(server.slavePath(), link);
    return 0;
}
