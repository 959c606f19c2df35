#include "tools/probe/bus_pass.h"

#include <array>
#include <cstdio>
#include <map>
#include <mutex>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/result.h"
#include "onewire/scratchpad_check.h"
#include "onewire/transaction.h"
#include "runtime/clock.h"
#include "tools/probe/stop_signal.h"

namespace kv::probe {
namespace {

// The search has no natural end on a broken bus, so the probe bounds it.
constexpr int64_t SearchBudgetMs = 60'000;
// A pass spoilt by one flipped bit is tried again rather than ending the search.
constexpr int32_t SearchPassRetries = 3;
// What the program waits after a conversion, enough for a DS18B20 at 12 bits (750 ms) and
// for every DS18S20; a DS18B20 at fewer bits needs less (93.75 ms at 9 bits, doubling with
// each bit), and the probe waits these when it set every part's resolution itself.
constexpr int32_t FullConversionWaitMs = 800;
constexpr std::array<int32_t, 4> ConversionWaitMs = {100, 200, 400, FullConversionWaitMs};

constexpr int64_t MessageRepeatMs = 60'000;
constexpr size_t MaxRememberedMessages = 64;

constexpr char StateCrc[] = "crc";
constexpr char StateRomCrc[] = "rom-crc";
constexpr char StateRange[] = "range";
constexpr char StatePowerOn[] = "power-on";

// Why a scratchpad that was read is not a reading, or "ok": the program's own checks, then
// the ROM code's. A spoilt scratchpad says nothing about the rest.
std::string Check(const Device& device, const Scratchpad& pad, float celsius) {
    switch (JudgeScratchpad(pad, device.rom[0])) {
        case ScratchpadVerdict::Spoiled:
            return StateCrc;
        case ScratchpadVerdict::PowerOn:
            return device.romCrcOk ? StatePowerOn : StateRomCrc;
        case ScratchpadVerdict::Reading:
            break;
    }
    if (!device.romCrcOk) return StateRomCrc;
    if (!IsPlausibleTemperature(celsius)) return StateRange;
    return Reading::StateOk;
}

}  // namespace

// A repeating run that meets the same trouble pass after pass says so once a minute.
void Message(const std::string& text) {
    static std::mutex mutex;
    static std::map<std::string, int64_t> printedAt;
    std::lock_guard<std::mutex> lock(mutex);
    const int64_t now = MillisecondClock();
    const auto last = printedAt.find(text);
    if (last != printedAt.end() && now - last->second < MessageRepeatMs) return;
    if (printedAt.size() >= MaxRememberedMessages) printedAt.clear();
    printedAt[text] = now;
    std::fprintf(stderr, "kalorivox-probe: %s\n", text.c_str());
}

std::string ResultName(int32_t code) {
    const char* name = OneWireResultName(code);
    return name && *name ? name : "error " + std::to_string(code);
}

std::string RomHex(const RomCode& rom) {
    char text[17];
    for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", rom[static_cast<size_t>(i)]);
    return text;
}

const char* FamilyName(uint8_t family) {
    if (family == FamilyDs18b20) return "DS18B20";
    if (family == FamilyDs18s20) return "DS18S20";
    return "unknown";
}

// A line held low answers a presence to every reset and then reads as zeros; a healthy bus,
// whose devices wait for a ROM command after the reset, leaves read slots high.
bool BusSession::lineLooksShorted() {
    if (!OneWireReset(port_)) return false;
    uint8_t probe = 0xFF;
    return OneWireReadBytes(&probe, 1, port_) && probe == 0x00;
}

bool BusSession::find() {
    devices_.clear();
    if (lineLooksShorted()) {
        Message("the bus on " + name_ +
                " looks shorted: the data line stays low (or the adapter is unpowered: "
                "check the wiring and --invert)");
        return false;
    }
    const int64_t start = MillisecondClock();
    EnumerationOptions options;
    options.passRetries = SearchPassRetries;
    options.keepGoing = [start] {
        return !StopRequested() && MillisecondClock() - start <= SearchBudgetMs;
    };
    const Enumeration found = OneWireEnumerate(port_, options);
    for (const RomCode& rom : found.codes) {
        Device device;
        device.rom = rom;
        device.romCrcOk = RomCrcOk(rom.data());
        devices_.push_back(device);
    }
    bool sound = false;
    switch (found.end) {
        case EnumerationEnd::Complete:
            sound = true;
            break;
        case EnumerationEnd::NoDevices:
            Message("no device answered on " + name_);
            sound = true;
            break;
        case EnumerationEnd::LineHeldLow:
            Message("the bus on " + name_ + " looks shorted: the search reads nothing but zeros");
            devices_.clear();
            return false;
        case EnumerationEnd::RepeatedCode:
            Message("the search on " + name_ + " repeats a ROM code; the bus is unreliable");
            break;
        case EnumerationEnd::Limit:
            Message("more than " + std::to_string(EnumerationDeviceLimit) + " devices on " + name_ +
                    "; the bus is unreliable");
            break;
        case EnumerationEnd::Interrupted:
            if (!StopRequested())
                Message("the search on " + name_ + " takes too long; the bus is unreliable");
            break;
        case EnumerationEnd::BusError:
            if (found.result == ExchangeError && found.codes.empty())
                Message("no echo from the adapter on " + name_ + " (" + ResultName(found.result) +
                        "): is it connected and powered?");
            else
                Message("the search on " + name_ + " failed: " + ResultName(found.result));
            break;
    }
    // What was found before a failure is still read: each reading has its own checks.
    for (Device& d : devices_) {
        const int external = OneWireReadDevicePowerSupply(d.rom.data(), port_);
        if (OneWireLastResult() == Ok) d.power = external ? "external" : "parasite";
    }
    return sound;
}

bool BusSession::anyThermometer() const {
    for (const Device& d : devices_)
        if (IsThermometerFamily(d.rom[0])) return true;
    return false;
}

void BusSession::setResolution(int bits, bool save) {
    for (Device& d : devices_) {
        if (d.rom[0] != FamilyDs18b20) continue;
        // TH and TL share the write with the configuration; they keep what the part holds.
        std::array<uint8_t, ScratchpadSize> pad{};
        const bool read = OneWireReadDeviceScratchpad(d.rom.data(), pad.data(), port_) &&
                          ScratchpadCrcOk(pad.data());
        const std::array<uint8_t, 3> bytes = {pad[ScratchpadTh], pad[ScratchpadTl],
                                              ResolutionConfig(bits)};
        bool done = read && OneWireMatchRom(d.rom.data(), port_) &&
                    OneWireWriteScratchpad(bytes.data(), bytes.size(), port_) &&
                    OneWireReadDeviceScratchpad(d.rom.data(), pad.data(), port_) &&
                    ScratchpadCrcOk(pad.data()) &&
                    ResolutionFromConfig(pad[ScratchpadConfig]) == bits;
        if (done && save)
            done = OneWireMatchRom(d.rom.data(), port_) && OneWireCopyScratchpad(port_);
        if (done) {
            d.resolution = bits;
        } else {
            Message("cannot set the resolution of " + RomHex(d.rom) + " (" +
                    ResultName(OneWireLastResult()) + ")");
        }
    }
}

int32_t BusSession::conversionWaitMs() const {
    int32_t wait = 0;
    for (const Device& d : devices_) {
        if (!IsThermometerFamily(d.rom[0])) continue;
        const bool known = d.rom[0] == FamilyDs18b20 && d.resolution >= MinResolutionBits &&
                           d.resolution <= MaxResolutionBits;
        const int32_t needed =
            known ? ConversionWaitMs[static_cast<size_t>(d.resolution - MinResolutionBits)]
                  : FullConversionWaitMs;
        wait = std::max(wait, needed);
    }
    return wait;
}

Pass BusSession::measure() {
    Pass pass;
    if (!anyThermometer()) return pass;
    const int64_t start = MillisecondClock();
    std::string convertFailure;
    if (!OneWireStartConversion(nullptr, port_))
        convertFailure = ResultName(OneWireLastResult());
    else
        DelayMs(conversionWaitMs());
    for (const Device& d : devices_) {
        if (!IsThermometerFamily(d.rom[0])) continue;
        Reading reading;
        reading.rom = d.rom;
        reading.power = d.power;
        reading.time = std::chrono::system_clock::now();
        if (!convertFailure.empty()) {
            reading.state = convertFailure;
            pass.readings.push_back(reading);
            continue;
        }
        Scratchpad pad{};
        if (!OneWireReadDeviceScratchpad(d.rom.data(), pad.data(), port_)) {
            reading.state = ResultName(OneWireLastResult());
            pass.readings.push_back(reading);
            continue;
        }
        reading.scratchpadRead = true;
        reading.celsius = DecodeTemperature(pad.data(), d.rom[0]);
        reading.state = Check(d, pad, reading.celsius);
        if (d.rom[0] == FamilyDs18b20 && reading.state != StateCrc)
            reading.resolution = ResolutionFromConfig(pad[ScratchpadConfig]);
        pass.readings.push_back(reading);
    }
    if (!convertFailure.empty()) {
        Message("the conversion on " + name_ + " failed: " + convertFailure);
        pass.sound = false;
    }
    pass.seconds = static_cast<double>(MillisecondClock() - start) / 1000.0;
    return pass;
}

}  // namespace kv::probe
