#include "probe/bus_pass.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "onewire/ds18x20.h"
#include "onewire/resolution.h"
#include "onewire/result.h"
#include "onewire/rom_code_text.h"
#include "onewire/thermometer_family.h"
#include "onewire/transaction.h"
#include "probe/stop_signal.h"
#include "runtime/clock.h"
#include "session/find_devices.h"

namespace kv::probe {
namespace {

constexpr int64_t MessageRepeatMs = 60'000;
constexpr size_t MaxRememberedMessages = 64;

}  // namespace

bool WaitUnlessStopped(int32_t milliseconds) {
    return SleepUntil(MillisecondClock() + milliseconds);
}

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

std::string CannotOpenText(const std::string& port) {
    return "cannot open " + port + " (" + OneWireResultLabel(OneWireLastResult()) +
           "): missing, busy or not a serial port";
}

const char* FamilyName(uint8_t family) {
    const ThermometerFamily* known = FindThermometerFamily(family);
    return known ? known->name : "unknown";
}

BusSession::BusSession(int32_t port, std::string portName)
    : port_(port), name_(std::move(portName)), reader_(port, WaitUnlessStopped) {}

bool BusSession::find() {
    devices_.clear();
    const Enumeration found = OneWireFindDevices(port_, [] { return !StopRequested(); });
    for (const RomCode& rom : found.codes) devices_.push_back(Device{rom});
    // Why a search that ended early did so; the list it gave may miss devices.
    std::string early;
    switch (found.end) {
        case EnumerationEnd::Complete:
        case EnumerationEnd::Interrupted:  // a stop: nothing to say
            break;
        case EnumerationEnd::NoDevices:
            Message("no device answered on " + name_);
            break;
        case EnumerationEnd::LineHeldLow:
            Message("the bus on " + name_ +
                    " looks shorted: the data line stays low (or the adapter is unpowered: "
                    "check the wiring and --invert)");
            devices_.clear();
            return false;
        case EnumerationEnd::RepeatedCode:
            early = "it repeats a ROM code; the bus is unreliable";
            break;
        case EnumerationEnd::Limit:
            early = "more than " + std::to_string(EnumerationDeviceLimit) +
                    " devices answer; the bus is unreliable";
            break;
        case EnumerationEnd::BusError:
            if (found.result == ExchangeError && found.codes.empty())
                Message("no echo from the adapter on " + name_ + " (" +
                        OneWireResultLabel(found.result) + "): is it connected and powered?");
            else
                early = "it failed: " + OneWireResultLabel(found.result);
            break;
    }
    if (!early.empty()) {
        const size_t count = found.codes.size();
        Message("the search on " + name_ + " ended early (" + early +
                "): " + std::to_string(count) + (count == 1 ? " device" : " devices") +
                " found, the list may be incomplete");
    }
    // What was found before a failure is still read: each reading has its own verdict.
    for (Device& d : devices_) askPower(d);
    return EnumerationIsWhole(found);
}

void BusSession::askPower(Device& d) {
    const int external = OneWireReadDevicePowerSupply(d.rom.data(), port_);
    if (OneWireLastResult() == Ok) d.power = external ? "external" : "parasite";
}

int BusSession::update(const Enumeration& found) {
    const bool whole = EnumerationIsWhole(found);
    auto inSearch = [&](const RomCode& rom) {
        return std::find(found.codes.begin(), found.codes.end(), rom) != found.codes.end();
    };
    std::erase_if(devices_, [&](const Device& d) {
        return whole && !inSearch(d.rom) && !(IsThermometerFamily(d.rom[0]) && d.answered);
    });
    int added = 0;
    for (const RomCode& rom : found.codes) {
        const bool listed = std::any_of(devices_.begin(), devices_.end(),
                                        [&](const Device& d) { return d.rom == rom; });
        if (listed || !(whole || RomCrcOk(rom.data()))) continue;
        devices_.push_back(Device{rom});
        askPower(devices_.back());
        ++added;
    }
    return added;
}

std::vector<RomCode> BusSession::roms() const {
    std::vector<RomCode> roms;
    for (const Device& d : devices_) roms.push_back(d.rom);
    return roms;
}

bool BusSession::anyThermometer() const {
    return std::any_of(devices_.begin(), devices_.end(),
                       [](const Device& d) { return IsThermometerFamily(d.rom[0]); });
}

void BusSession::setResolution(int bits, bool save) {
    for (Device& d : devices_) {
        const ThermometerFamily* family = FindThermometerFamily(d.rom[0]);
        if (!family || !family->resolutionSettable || d.resolution == bits) continue;
        if (OneWireSetResolution(d.rom, bits, save, port_)) {
            d.resolution = bits;
        } else {
            Message("cannot set the resolution of " + RomCodeText(d.rom) + " (" +
                    OneWireResultLabel(OneWireLastResult()) + ")");
        }
    }
}

// The slowest thermometer's wait: a DS18B20 whose resolution the probe set needs less.
int32_t BusSession::conversionWaitMs() const {
    int32_t wait = 0;
    for (const Device& d : devices_) {
        if (const ThermometerFamily* family = FindThermometerFamily(d.rom[0]))
            wait = std::max(wait, ConversionWaitMs(*family, d.resolution));
    }
    return wait;
}

Pass BusSession::measure() {
    Pass pass;
    const int64_t start = MillisecondClock();
    const MeasuredPass measured = MeasureAll(reader_, roms(), conversionWaitMs());
    const auto now = std::chrono::system_clock::now();
    pass.interrupted = measured.interrupted;
    for (const kv::Reading& r : measured.readings) {
        Reading reading;
        static_cast<kv::Reading&>(reading) = r;
        reading.time = now;
        for (Device& d : devices_) {
            if (d.rom != r.rom) continue;
            reading.power = d.power;
            d.answered = d.answered || r.answered;
        }
        pass.readings.push_back(reading);
    }
    if (measured.conversionResult != Ok) {
        Message("the conversion on " + name_ +
                " failed: " + OneWireResultLabel(measured.conversionResult));
        pass.sound = false;
    }
    pass.seconds = static_cast<double>(MillisecondClock() - start) / 1000.0;
    return pass;
}

}  // namespace kv::probe
