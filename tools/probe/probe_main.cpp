// kalorivox-probe PORT: what is on this 1-Wire bus and how warm is it. Enumerates the
// devices, starts one conversion for all, waits, reads every thermometer and prints one
// tab-separated line per device. Messages go to stderr; the exit status is 0 when the bus
// was searched (even with no device), 1 when the port could not be opened or the bus failed.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "onewire/timing.h"
#include "onewire/transaction.h"
#include "runtime/utf.h"
#include "sim/demo_bus.h"

namespace {

constexpr char Usage[] =
    "usage: kalorivox-probe [--invert] PORT\n"
    "Lists the 1-Wire devices on PORT and reads every DS18B20/DS18S20 once.\n"
    "PORT is a device name under /dev (ttyUSB0), an absolute path (a pseudo-terminal)\n"
    "or DEMO (a simulated bus).\n"
    "\n"
    "  --invert   the adapter is powered with DTR and RTS low instead of high\n"
    "  --help     this text\n"
    "\n"
    "One line per device, in the order of the search, fields separated by tabs:\n"
    "  ROM code (16 hex digits, family byte first)  family (DS18B20, DS18S20, unknown)\n"
    "  power (external, parasite, error)  temperature in degrees Celsius or -\n"
    "  state (ok, crc for a scratchpad CRC mismatch, or the failure's name)\n"
    "Exit status 0 when the bus was searched, 1 when the port or the bus failed.\n";

// The search has no natural end on a broken bus, so the probe bounds it.
constexpr int MaxDevices = 256;
constexpr int64_t SearchBudgetMs = 60'000;
// DS18B20 at 12 bits needs 750 ms; the monitor waits the same.
constexpr int32_t ConversionWaitMs = 800;

struct Device {
    kv::RomCode rom{};
    const char* power = "error";
    std::string temperature = "-";
    std::string state = "-";
};

void Message(const char* format, const std::string& a = {}, const std::string& b = {}) {
    std::fputs("kalorivox-probe: ", stderr);
    std::fprintf(stderr, format, a.c_str(), b.c_str());
    std::fputc('\n', stderr);
}

std::string CodeName(int32_t code) {
    const char* name = kv::OneWireResultName(code);
    return name && *name ? name : "error " + std::to_string(code);
}

std::string RomHex(const kv::RomCode& rom) {
    char text[17];
    for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", rom[static_cast<size_t>(i)]);
    return text;
}

const char* FamilyName(uint8_t family) {
    if (family == kv::FamilyDs18b20) return "DS18B20";
    if (family == kv::FamilyDs18s20) return "DS18S20";
    return "unknown";
}

// A line held low answers a presence to every reset and then reads as zeros; a healthy bus,
// whose devices wait for a ROM command after the reset, leaves read slots high.
bool LineLooksShorted(int32_t port) {
    if (!kv::OneWireReset(port)) return false;
    uint8_t probe = 0xFF;
    return kv::OneWireReadBytes(&probe, 1, port) && probe == 0x00;
}

// Fills the list; false when the bus failed (a message has been printed).
bool Enumerate(int32_t port, const std::string& name, std::vector<Device>& devices) {
    const int64_t start = kv::MillisecondClock();
    kv::OneWireSearchReset();
    for (;;) {
        Device device;
        if (!kv::OneWireSearchNext(device.rom.data(), port)) break;
        if (device.rom == kv::RomCode{}) {
            Message("the bus on %s looks shorted: the search reads nothing but zeros", name);
            return false;
        }
        for (const Device& seen : devices) {
            if (seen.rom == device.rom) {
                Message("the search on %s repeats ROM code %s; the bus is unreliable", name,
                        RomHex(device.rom));
                return false;
            }
        }
        devices.push_back(device);
        if (devices.size() > MaxDevices) {
            Message("more than %s devices on %s; the bus is unreliable", std::to_string(MaxDevices),
                    name);
            return false;
        }
        if (kv::MillisecondClock() - start > SearchBudgetMs) {
            Message("the search on %s takes too long; the bus is unreliable", name);
            return false;
        }
    }
    const int32_t code = kv::OneWireLastResult();
    if (code == kv::NoData) return true;
    if (code == kv::NoResponse && devices.empty()) {
        Message("no device answered on %s", name);
        return true;
    }
    if (code == kv::ExchangeError && devices.empty()) {
        Message("no echo from the adapter on %s (%s): is it connected and powered?", name,
                CodeName(code));
        return false;
    }
    Message("the search on %s failed: %s", name, CodeName(code));
    return false;
}

void ReadPowerModes(int32_t port, std::vector<Device>& devices) {
    for (Device& d : devices) {
        const int external = kv::OneWireReadDevicePowerSupply(d.rom.data(), port);
        if (kv::OneWireLastResult() == kv::Ok) d.power = external ? "external" : "parasite";
    }
}

void ReadThermometers(int32_t port, std::vector<Device>& devices) {
    bool any = false;
    for (const Device& d : devices) any = any || kv::IsThermometerFamily(d.rom[0]);
    if (!any) return;
    std::string convertFailure;
    if (!kv::OneWireStartConversion(nullptr, port))
        convertFailure = CodeName(kv::OneWireLastResult());
    else
        kv::DelayMs(ConversionWaitMs);
    for (Device& d : devices) {
        if (!kv::IsThermometerFamily(d.rom[0])) continue;
        if (!convertFailure.empty()) {
            d.state = convertFailure;
            continue;
        }
        uint8_t pad[kv::ScratchpadSize] = {};
        if (!kv::OneWireReadDeviceScratchpad(d.rom.data(), pad, port)) {
            d.state = CodeName(kv::OneWireLastResult());
            continue;
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.4f",
                      static_cast<double>(kv::DecodeTemperature(pad, d.rom[0])));
        d.temperature = text;
        d.state = kv::ScratchpadCrcOk(pad) ? "ok" : "crc";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string name;
    bool invert = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--invert") {
            invert = true;
        } else if (!arg.empty() && arg[0] == '-') {
            Message("unknown option '%s' (try --help)", arg);
            return 1;
        } else if (name.empty()) {
            name = arg;
        } else {
            Message("only one port, please (try --help)");
            return 1;
        }
    }
    if (name.empty()) {
        std::fputs(Usage, stderr);
        return 1;
    }

    kv::SimRegisterDemoPort();
    kv::OneWireSetOptions(invert ? kv::OptInvertPower : 0);
    const int32_t port = kv::OneWireOpen(kv::U16(name), kv::PortDynamic);
    if (!port) {
        Message("cannot open %s (%s): missing, busy or not a serial port", name,
                CodeName(kv::OneWireLastResult()));
        return 1;
    }

    std::vector<Device> devices;
    bool sound = true;
    if (LineLooksShorted(port)) {
        Message(
            "the bus on %s looks shorted: the data line stays low (or the adapter is unpowered: "
            "check the wiring and --invert)",
            name);
        sound = false;
    } else {
        sound = Enumerate(port, name, devices);
        if (!devices.empty()) {
            ReadPowerModes(port, devices);
            ReadThermometers(port, devices);
        }
    }
    for (const Device& d : devices)
        std::printf("%s\t%s\t%s\t%s\t%s\n", RomHex(d.rom).c_str(), FamilyName(d.rom[0]), d.power,
                    d.temperature.c_str(), d.state.c_str());
    std::fflush(stdout);
    kv::OneWireClose(port);
    return sound ? 0 : 1;
}
