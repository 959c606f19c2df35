#include "session/bus_session.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/resolution.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "onewire/transaction.h"
#include "runtime/clock.h"
#include "session/find_devices.h"
#include "session/list_update.h"

namespace kv {

BusSession::BusSession(SessionEvents& events, SessionPolicy policy, SessionStatistics& statistics)
    : events_(events),
      policy_(std::move(policy)),
      statistics_(statistics),
      busPort_(policy_.port == PortCurrent ? PortCurrent : PortNone),
      reader_(busPort_, [this](int32_t milliseconds) { return wait(milliseconds); }) {}

// --- requests and waits ------------------------------------------------------------------

bool BusSession::stopAsked() const {
    return policy_.stopAsked && policy_.stopAsked();
}

bool BusSession::changeAsked() const {
    return policy_.changeAsked && policy_.changeAsked();
}

bool BusSession::keepGoing() const {
    return !stopAsked() && !changeAsked();
}

bool BusSession::wait(int32_t milliseconds) {
    for (int32_t waited = 0; waited < milliseconds; waited += LoopSleepMs) {
        DelayMs(LoopSleepMs);
        if (!keepGoing()) return false;
    }
    return true;
}

// A stop ends a long run of readings at the next device (where the policy says so); a port
// change once it has waited RequestGraceMs (a short pass finishes its readings first).
bool BusSession::yieldToRequest() {
    if (policy_.stopEndsPass && stopAsked()) return true;
    if (!changeAsked()) {
        changeSeenAt_ = -1;
        return false;
    }
    const int64_t now = MillisecondClock();
    if (changeSeenAt_ < 0) changeSeenAt_ = now;
    return now - changeSeenAt_ >= RequestGraceMs;
}

// --- the port ------------------------------------------------------------------------------

void BusSession::usePort(int32_t id) {
    if (policy_.port == PortCurrent || id == busPort_) return;
    busPort_ = id;
    reader_ =
        ThermometerReader(busPort_, [this](int32_t milliseconds) { return wait(milliseconds); });
}

int32_t BusSession::resolvedPort() const {
    return policy_.port == PortCurrent ? currentPort.load() : busPort_;
}

void BusSession::setDeviceCount(int32_t count) {
    deviceCount_ = count;
    statistics_.deviceCount = count;
}

// The list was made afresh: nothing of it is counted or marked yet.
void BusSession::restartCounts() {
    readingsStopped_ = false;
    passFaults_ = 0;
}

bool BusSession::open(std::u16string_view name) {
    changeSeenAt_ = -1;
    OneWireClose(busPort_);
    usePort(PortNone);
    int opened = 0;
    if (!name.empty()) {
        opened = OneWireOpen(name, policy_.port);
        if (opened) {
            usePort(opened);
            events_.portOpened(name);
        } else {
            events_.portNotOpened(name);
        }
    }
    recovery_.opened(name, opened != 0);
    list_.clear();
    if (OneWireLastResult() == Ok) askedSearch();
    setDeviceCount(list_.count());
    if (deviceCount_ > 0) {
        list_.resetCursor();
        passStarted_ = false;
    }
    restartCounts();
    return opened != 0;
}

bool BusSession::recover() {
    if (!recovery_.waiting() || changeAsked()) return false;
    const std::u16string awaited = recovery_.name();
    int32_t opened = 0;
    const RecoveryAttempt attempt = recovery_.attempt(policy_.port, &opened);
    if (attempt == RecoveryAttempt::NotDue) return false;
    if (attempt != RecoveryAttempt::Opened) {
        events_.portStillAway(attempt, recovery_.tried());
        return false;
    }
    usePort(opened);
    events_.portBack(awaited, recovery_.name());
    list_.clear();
    search();
    if (deviceCount_ > 0) {
        list_.resetCursor();
        passStarted_ = false;
    }
    idleCalls_ = 0;
    return true;
}

void BusSession::close() {
    OneWireClose(busPort_);
    usePort(PortNone);
}

// The device of the port has gone and the port is closed: nothing is measured until it is
// back.
void BusSession::lost() {
    setDeviceCount(0);
    usePort(PortNone);
    events_.portLost(recovery_.name());
}

// --- the list ----------------------------------------------------------------------------

void BusSession::askedSearch() {
    events_.searching();
    const Enumeration found = OneWireFindDevices(busPort_, [this] { return keepGoing(); });
    TakeAskedSearch(list_, found);
    askPowers();
    listWhole_ = !SearchWorthRepeating(found.end);
    OneWireSearchAskedEnded(background_, listWhole_);
    events_.searched(found);
}

void BusSession::search() {
    askedSearch();
    setDeviceCount(list_.count());
    restartCounts();
}

// How each device is powered, asked once cleanly (a failed read slot answers 1 and would
// pass for an external supply); a device that no longer answers is not asked. On a long or
// misbehaving bus the queries take seconds: a request ends them.
void BusSession::askPowers() {
    using Supply = SensorRecord::Supply;
    for (int32_t i = 0; i < list_.count(); ++i) {
        if (!keepGoing()) return;
        SensorRecord& record = list_.at(i);
        if (record.Power != Supply::NotAsked || (record.Flags & NotAnswering) != 0) continue;
        const int answer = OneWireReadDevicePowerSupply(record.Rom.data(), busPort_);
        if (OneWireLastResult() == Ok)
            record.Power = answer == 1 ? Supply::External : Supply::Parasite;
    }
}

void BusSession::setResolution(int bits, bool save) {
    for (int32_t i = 0; i < list_.count(); ++i) {
        SensorRecord& record = list_.at(i);
        const ThermometerFamily* family = FindThermometerFamily(record.Rom[0]);
        if (!family || !family->resolutionSettable || record.Resolution == bits) continue;
        if (OneWireSetResolution(record.Rom, bits, save, busPort_)) {
            record.Resolution = static_cast<int8_t>(bits);
        } else {
            events_.resolutionRefused(i, OneWireLastResult());
        }
    }
}

// --- searching between passes --------------------------------------------------------------

void BusSession::passEnded(bool commonConversion) {
    ++statistics_.passEnds;
    if (commonConversion) OneWireSchedulePassEnded(background_.schedule);
}

// The one way the list follows the bus while measuring: searches nobody asked for, as the
// schedule has them due (periodically, after a spoiled search, after failing readings),
// taken one pass of the walk at a time between two measuring passes, so that no sensor's
// readings stop for long; a walk that needs more goes on after the next pass. A new walk
// expects the devices that answer.
int64_t BusSession::searchBetweenPasses(int64_t spanMs, int64_t holdsAfterMs) {
    if (!keepGoing()) return 0;
    const auto beforeStep = [&](int64_t spentUs, int64_t nextUs) {
        if (!keepGoing()) return false;
        if ((spentUs + nextUs) / 1000 > holdsAfterMs) events_.searchHolding();
        return true;
    };
    std::vector<RomCode> listed;
    for (const SensorRecord& record : list_.records()) {
        if ((record.Flags & NotAnswering) == 0) listed.push_back(record.Rom);
    }
    const int64_t start = MicrosecondClock();
    const int ended = OneWireSearchBetweenPasses(background_, listed, busPort_, spanMs, beforeStep);
    const int64_t searchedUs = MicrosecondClock() - start;
    statistics_.searchMicroseconds += static_cast<uint64_t>(searchedUs);
    if (ended) walkEnded(background_.walk.found);
    return searchedUs / 1000;
}

void BusSession::walkEnded(const Enumeration& found) {
    ++statistics_.searches;
    listWhole_ = !SearchWorthRepeating(found.end);
    if (!listWhole_) ++statistics_.spoiledSearches;
    // An empty bus (or a held line) is idle()'s to handle: the readings then fail instead of
    // the sensors vanishing.
    if (found.end == EnumerationEnd::NoDevices || found.end == EnumerationEnd::LineHeldLow) return;
    const ListUpdate update = UpdateList(list_, found);
    if (!update.changed) {
        for (int32_t i = 0; i < list_.count(); ++i) {
            if (list_.at(i).Flags & NotAnswering) events_.sensorLost(i);
        }
        return;
    }
    askPowers();
    list_.resetCursor();
    setDeviceCount(list_.count());
    passStarted_ = false;
    restartCounts();
    events_.listChanged(update.added);
    OneWireScheduleAsk(background_.schedule);  // a changed list is confirmed by one more walk
}

// --- measuring -----------------------------------------------------------------------------

int32_t BusSession::conversionWaitMs(const uint8_t* rom) const {
    if (policy_.conversionWait == ConversionWait::Full) return FullConversionWaitMs;
    int32_t wait = 0;
    for (const SensorRecord& record : list_.records()) {
        if (rom && !std::equal(record.Rom.begin(), record.Rom.end(), rom)) continue;
        if (const ThermometerFamily* family = FindThermometerFamily(record.Rom[0]))
            wait = std::max(wait, ConversionWaitMs(*family, record.Resolution));
    }
    return wait;
}

// Convert T (for every device, or the one), and the wait for it; the counts of a new pass
// begin. A port change ends the wait early and the readings follow at once.
BusSession::Start BusSession::startPass(const uint8_t* rom) {
    if (!reader_.convert(rom)) {
        startResult_ = OneWireLastResult();
        return Start::Failed;
    }
    passStarted_ = true;
    readingsStopped_ = false;
    passFaults_ = 0;
    events_.passStarted();
    const int32_t waitMs = conversionWaitMs(rom);
    for (int32_t waited = 0; waited < waitMs; waited += LoopSleepMs) {
        DelayMs(LoopSleepMs);
        if (changeAsked()) return Start::Waited;
        if (stopAsked()) return Start::Stopped;
    }
    return Start::Waited;
}

PassStep BusSession::measure() {
    for (bool firstDevice = true;; firstDevice = false) {
        if (!list_.next()) {
            list_.resetCursor();
            passStarted_ = false;
            return PassStep::Ended;
        }
        // Between two devices a request gets its chance.
        if ((!firstDevice || passStarted_) && yieldToRequest()) return PassStep::CutShort;
        if (!passStarted_) {
            const Start start = startPass(nullptr);
            if (start == Start::Failed) return PassStep::StartFailed;
            if (start == Start::Stopped) return PassStep::CutShort;
        }
        measureCurrent();
    }
}

PassStep BusSession::measureFromStart() {
    list_.resetCursor();
    passStarted_ = false;
    return measure();
}

// A list without any thermometer still comes to an end, or a request would never be seen.
PassStep BusSession::pollNext() {
    for (int32_t visited = 0; visited < list_.count(); ++visited) {
        if (!list_.next()) {
            passStarted_ = false;
            OneWireSchedulePassEnded(background_.schedule);  // a round over the list
            if (!list_.first()) return PassStep::Ended;
        }
        if (visited > 0 && yieldToRequest()) return PassStep::CutShort;
        const RomCode rom = list_.current()->Rom;
        const Start start = startPass(rom.data());
        if (start == Start::Failed) return PassStep::StartFailed;
        if (start == Start::Stopped) return PassStep::CutShort;
        if (IsThermometerFamily(rom[0])) {
            measureCurrent();
            return PassStep::Ended;
        }
    }
    return PassStep::Ended;
}

void BusSession::measureCurrent() {
    const int32_t index = list_.cursorIndex();
    const RomCode rom = list_.at(index).Rom;
    if (IsThermometerFamily(rom[0])) judge(index, reader_.read(rom));
}

void BusSession::count(const Reading& reading) {
    statistics_.retries += static_cast<uint64_t>(reading.retries);
    statistics_.confirmations += reading.confirmed ? 1 : 0;
    statistics_.reconversions += reading.reconverted ? 1 : 0;
    switch (reading.verdict) {
        case Verdict::BusFailure:
            ++statistics_.readFailures;
            return;
        case Verdict::Unfinished:
            return;
        case Verdict::ScratchpadCrc:
        case Verdict::LineHeldLow:
            ++statistics_.crcErrors;
            break;
        case Verdict::PowerOn:
            ++statistics_.powerOnValues;
            break;
        case Verdict::Ok:
            ++statistics_.okReadings;
            break;
        case Verdict::RomCrc:
        case Verdict::OutOfRange:
            break;
    }
    ++statistics_.readings;
}

// What a reading makes of its record: a reading whose scratchpad holds a temperature stores
// it; every other one leaves the temperature as it was and flags what went wrong.
void BusSession::judge(int32_t index, const Reading& reading) {
    count(reading);
    SensorRecord& record = list_.at(index);
    if (reading.verdict != Verdict::Unfinished) {
        // Whether the sensor is still there: noise that spoils its scratchpad is no reason to
        // search the bus, and one already known to be gone tells nothing new.
        if ((record.Flags & NotAnswering) == 0)
            OneWireScheduleReading(background_.schedule, record.Rom, ReadingHeardDevice(reading));
        if (reading.answered) {
            record.Answered = true;
            record.Flags &= static_cast<uint8_t>(~NotAnswering);
        }
        record.Flags &= static_cast<uint8_t>(~ReadingFlags);
        switch (reading.verdict) {
            case Verdict::Ok:
            case Verdict::OutOfRange:
            case Verdict::RomCrc:
                record.Temperature = reading.celsius;
                record.Flags &= static_cast<uint8_t>(~OutOfRange);
                if (reading.verdict == Verdict::OutOfRange) record.Flags |= OutOfRange;
                break;
            case Verdict::PowerOn:
                record.Flags |= PowerOnReading;
                break;
            case Verdict::ScratchpadCrc:
            case Verdict::LineHeldLow:
                record.Flags |= ScratchpadCrcError;
                break;
            case Verdict::BusFailure:
            case Verdict::Unfinished:
                record.Flags |= BusError;
                break;
        }
        if (record.Flags != 0) ++passFaults_;
    }
    events_.readingJudged(index, reading);
}

void BusSession::startFailed() {
    ++statistics_.busFailures;
    if (recovery_.deviceGone(resolvedPort())) {
        lost();
    } else {
        events_.passFailed(startResult_);
    }
    idle();
}

void BusSession::idle() {
    if (!readingsStopped_) {
        events_.readingsStopped();
        readingsStopped_ = true;
        // The rest of the interrupted pass is read without a new conversion.
        passStarted_ = !list_.empty();
    }
    if (recovery_.waiting()) {
        recover();
        return;
    }
    ++passFaults_;  // a failed pass start counts with the faults of its pass
    if (++idleCalls_ < policy_.idleBeforeBusAttempt) return;
    idleCalls_ = 0;
    setDeviceCount(0);
    if (OneWireReset(busPort_)) {
        search();
    } else if (recovery_.deviceGone(resolvedPort())) {
        lost();
    }
}

}  // namespace kv
