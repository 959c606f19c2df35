#include "probe/probe_bus.h"

#include <algorithm>
#include <string>

#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "onewire/rom_code_text.h"
#include "probe/device_words.h"
#include "probe/messages.h"
#include "probe/stop_signal.h"
#include "runtime/clock.h"
#include "runtime/utf.h"
#include "session/find_devices.h"

namespace kv::probe {
namespace {

constexpr char TryingAgain[] = "; trying again every second";

SessionPolicy ProbePolicy() {
    SessionPolicy policy;
    policy.port = PortDynamic;
    policy.conversionWait = ConversionWait::ByResolution;
    policy.idleBeforeBusAttempt = 1;
    policy.stopEndsPass = false;
    policy.stopAsked = StopRequested;
    return policy;
}

// Why a search that ended early did so; the list it gave may miss devices.
std::string EarlyEnd(const Enumeration& found) {
    switch (found.end) {
        case EnumerationEnd::RepeatedCode:
            return "it repeats a ROM code; the bus is unreliable";
        case EnumerationEnd::Limit:
            return "more than " + std::to_string(EnumerationDeviceLimit) +
                   " devices answer; the bus is unreliable";
        case EnumerationEnd::BusError:
            return "it failed: " + OneWireResultLabel(found.result);
        default:
            return {};
    }
}

}  // namespace

ProbeBus::ProbeBus(const Options& options)
    : options_(options), session_(*this, ProbePolicy(), statistics_) {}

bool ProbeBus::open() {
    return session_.open(Utf16FromPathBytes(options_.port));
}

void ProbeBus::prepare() {
    if (session_.deviceCount() == 0) {
        session_.idle();
    } else if (!options_.repeats() && !lastSearchWhole_) {
        session_.search();
    }
    if (walkAgain_) {
        walkAgain_ = false;
        session_.searchBetweenPasses(SearchSpanAfterSpoiledMs);
    }
    if (options_.resolution) session_.setResolution(options_.resolution, options_.saveResolution);
}

Pass ProbeBus::measure() {
    pass_ = Pass{};
    const int64_t start = MillisecondClock();
    if (session_.deviceCount() > 0) {
        switch (session_.measureFromStart()) {
            case PassStep::Ended:
                break;
            case PassStep::CutShort:
                pass_.interrupted = true;
                break;
            case PassStep::StartFailed:
                failedStart();
                break;
        }
    }
    const auto now = std::chrono::system_clock::now();
    for (Reading& reading : pass_.readings) reading.time = now;
    pass_.seconds = static_cast<double>(MillisecondClock() - start) / 1000.0;
    return std::move(pass_);
}

// Every thermometer's reading of the pass failed as the conversion did.
void ProbeBus::failedStart() {
    const int32_t result = session_.startResult();
    Message("the conversion on " + options_.port + " failed: " + OneWireResultLabel(result));
    pass_.sound = false;
    for (const SensorRecord& record : session_.list().records()) {
        if (!IsThermometerFamily(record.Rom[0])) continue;
        Reading failed;
        failed.rom = record.Rom;
        failed.verdict = Verdict::BusFailure;
        failed.result = result;
        failed.power = PowerName(record.Power);
        pass_.readings.push_back(failed);
    }
}

void ProbeBus::passDone(const Pass& pass, int64_t nextPassMs) {
    searchedWhole_ = true;
    if (!pass.sound) {
        session_.startFailed();
        return;
    }
    if (!options_.repeats() || session_.deviceCount() == 0) return;
    session_.passEnded(true);
    const int64_t halfPeriodMs = int64_t{options_.everySeconds} * 1000 / 2;
    session_.searchBetweenPasses(
        std::clamp<int64_t>(nextPassMs - MillisecondClock(), 0, halfPeriodMs));
}

void ProbeBus::portNotOpened(std::u16string_view) {
    Message(CannotOpenText(options_.port) + (options_.repeats() ? TryingAgain : ""));
}

void ProbeBus::portLost(std::u16string_view) {
    if (options_.repeats()) Message("the port " + options_.port + " has gone" + TryingAgain);
}

void ProbeBus::portStillAway(RecoveryAttempt attempt, std::u16string_view tried) {
    if (attempt == RecoveryAttempt::Busy)
        Message("cannot open " + Utf8FromUtf16(tried) + ": busy, or not a serial port" +
                TryingAgain);
}

void ProbeBus::portBack(std::u16string_view, std::u16string_view name) {
    Message("the port " + Utf8FromUtf16(name) + " is back");
}

void ProbeBus::searched(const Enumeration& found) {
    lastSearchWhole_ = EnumerationIsWhole(found);
    searchedWhole_ = searchedWhole_ && lastSearchWhole_;
    walkAgain_ = SearchWorthRepeating(found.end);
    const std::string& port = options_.port;
    if (found.end == EnumerationEnd::NoDevices) Message("no device answered on " + port);
    if (found.end == EnumerationEnd::LineHeldLow)
        Message("the bus on " + port +
                " looks shorted: the data line stays low (or the adapter is unpowered: check "
                "the wiring and --invert)");
    if (found.end == EnumerationEnd::BusError && found.result == ExchangeError &&
        found.codes.empty()) {
        Message("no echo from the adapter on " + port + " (" + OneWireResultLabel(found.result) +
                "): is it connected and powered?");
        return;
    }
    const std::string early = EarlyEnd(found);
    if (early.empty()) return;
    const size_t count = found.codes.size();
    Message("the search on " + port + " ended early (" + early + "): " + std::to_string(count) +
            (count == 1 ? " device" : " devices") + " found, the list may be incomplete");
}

void ProbeBus::listChanged(int32_t added) {
    if (added == 0) return;
    Message("the search on " + options_.port + " found " + std::to_string(added) +
            (added == 1 ? " new device" : " new devices"));
}

void ProbeBus::readingJudged(int32_t index, const kv::Reading& judged) {
    Reading reading;
    static_cast<kv::Reading&>(reading) = judged;
    reading.power = PowerName(session_.list().at(index).Power);
    pass_.readings.push_back(reading);
}

void ProbeBus::resolutionRefused(int32_t index, int32_t result) {
    Message("cannot set the resolution of " + RomCodeText(session_.list().at(index).Rom) + " (" +
            OneWireResultLabel(result) + ")");
}

}  // namespace kv::probe
