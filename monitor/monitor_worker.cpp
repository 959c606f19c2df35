#include "monitor/monitor_worker.h"

#include <algorithm>
#include <string>

#include "monitor/control_block.h"
#include "monitor/device_search.h"
#include "monitor/limit_check.h"
#include "monitor/port_open.h"
#include "monitor/reading_sink.h"
#include "monitor/reconnect.h"
#include "monitor/sensor_texts.h"
#include "monitor/status_text.h"
#include "monitor/table_cells.h"
#include "monitor/table_colours.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "monitor/worker_stats.h"
#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/measuring.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "runtime/clock.h"
#include "serial/serial_port.h"
#include "session/search_schedule.h"
#include "session/sensor_list.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

bool Separate() {
    return ControlBlock.ConvertOnly != 0;
}

bool RequestPending() {
    return ControlBlock.StopRequested != 0 || ControlBlock.ReopenPort != 0;
}

// The wait between two passes, and those the measuring makes within a reading (a power-on
// value confirmed, a conversion made again): 100 ms sleeps, cut short by a stop or a port
// change.
bool WaitWatchingRequests(int32_t milliseconds) {
    for (int32_t waited = 0; waited < milliseconds; waited += LoopSleepMs) {
        DelayMs(LoopSleepMs);
        if (RequestPending()) return false;
    }
    return true;
}

// The flags that tell what the last reading of a record was.
constexpr uint8_t ReadingFlags = ScratchpadCrcError | BusError | PowerOnReading;

class Worker {
  public:
    int run() {
        do {
            iteration();
        } while (ControlBlock.StopRequested == 0);
        return 0;
    }

  private:
    enum class Wait { Done, Stop };
    // How the device part of an iteration ended: at a pass end (also when cut short by a
    // request), or with a failed addressing or conversion at the start of a pass.
    enum class Outcome { PassEnd, BusFailure };

    void iteration() {
        DelayMs(LoopSleepMs);
        if (ControlBlock.ReopenPort != 0) reopen();
        MonitorStats.deviceCount = deviceCount_;
        if (deviceCount_ <= 0) {
            idle();
            return;
        }
        const Outcome outcome = Separate() ? pollOneDevice() : runPass();
        if (outcome == Outcome::BusFailure) {
            busFailure();
        } else {
            passEnd();
        }
    }

    // Common conversion: the devices from the cursor to the end of the list. A pass that has
    // not started yet starts with one Convert T for all of them; a pass interrupted by a
    // failure at its start goes on with the rest of the list without one. Cells are always
    // written to the row of the cursor's record, so that row i shows the i-th device
    // whatever device a pass resumes at.
    Outcome runPass() {
        for (bool firstDevice = true;; firstDevice = false) {
            if (!list_.next()) {
                list_.resetCursor();
                passStarted_ = false;
                return Outcome::PassEnd;
            }
            // Between two devices a stop or a port change gets its chance.
            if ((!firstDevice || passStarted_) && yieldToRequest()) return Outcome::PassEnd;
            if (!passStarted_) {
                if (!reader_.convert(nullptr)) return Outcome::BusFailure;
                if (startPass() == Wait::Stop) return Outcome::PassEnd;
            }
            measureCurrent();
        }
    }

    // Separate polling: the next device alone is addressed, converted, waited for and read.
    // A device of another family hands over to the next one; a list without any thermometer
    // still comes to a pass end, or a port change would never be seen.
    Outcome pollOneDevice() {
        for (int32_t visited = 0; visited < list_.count(); ++visited) {
            if (!list_.next()) {
                passStarted_ = false;
                OneWireSchedulePassEnded(background_.schedule);  // a round over the list
                if (!list_.first()) return Outcome::PassEnd;
            }
            if (visited > 0 && yieldToRequest()) return Outcome::PassEnd;
            const RomCode& rom = list_.current()->Rom;
            if (!reader_.convert(rom.data())) return Outcome::BusFailure;
            if (startPass() == Wait::Stop) return Outcome::PassEnd;
            if (IsThermometerFamily(rom[0])) {
                measureCurrent();
                return Outcome::PassEnd;
            }
        }
        return Outcome::PassEnd;
    }

    // A conversion went out: the counts of a new pass start, and its wait follows.
    Wait startPass() {
        passStarted_ = true;
        rowsMarkedFailed_ = false;
        faultyCount_ = 0;
        limitCount_ = 0;
        return conversionWait();
    }

    void measureCurrent() {
        SensorRecord& record = *list_.current();
        if (!IsThermometerFamily(record.Rom[0])) return;
        const int32_t row = list_.cursorIndex();
        read(record, row);
        markPolled(row);
        polledRow_ = row;
    }

    // Reads one thermometer and shows, checks and counts what the reading was; a sound
    // reading goes on to the log and the other consumers.
    void read(SensorRecord& record, int32_t row) {
        const Reading reading = reader_.read(record.Rom);
        count(reading);
        if (reading.verdict == Verdict::Unfinished) return;  // nothing read: the row stays
        // Whether the sensor is still there: noise that spoils its scratchpad is no reason to
        // search the bus, and one already known to be gone tells nothing new.
        if ((record.Flags & NotAnswering) == 0)
            OneWireScheduleReading(background_.schedule, record.Rom, ReadingHeardDevice(reading));
        if (reading.answered) {
            record.Answered = true;
            record.Flags &= static_cast<uint8_t>(~NotAnswering);
        }
        show(record, row, reading);
        showIfNotAnswering(record, row);
        if (record.Flags != 0) {
            ++faultyCount_;
            if (record.Flags == RomCrcError) SetCellText(row, ColumnTemperature, u"");
        }
    }

    static void count(const Reading& reading) {
        MonitorStats.retries += static_cast<uint64_t>(reading.retries);
        MonitorStats.confirmations += reading.confirmed ? 1 : 0;
        MonitorStats.reconversions += reading.reconverted ? 1 : 0;
        switch (reading.verdict) {
            case Verdict::BusFailure:
                ++MonitorStats.readFailures;
                return;
            case Verdict::Unfinished:
                return;
            case Verdict::ScratchpadCrc:
            case Verdict::LineHeldLow:
                ++MonitorStats.crcErrors;
                break;
            case Verdict::PowerOn:
                ++MonitorStats.powerOnValues;
                break;
            case Verdict::Ok:
                ++MonitorStats.okReadings;
                break;
            case Verdict::RomCrc:
            case Verdict::OutOfRange:
                break;
        }
        ++MonitorStats.readings;
    }

    // A reading whose scratchpad holds a temperature shows it; any other leaves the
    // temperature cell as it was and says in the status cell what went wrong.
    void show(SensorRecord& record, int32_t row, const Reading& reading) {
        record.Flags &= static_cast<uint8_t>(~ReadingFlags);
        switch (reading.verdict) {
            case Verdict::Ok:
            case Verdict::OutOfRange:
            case Verdict::RomCrc:
                record.Temperature = reading.celsius;
                SetCellText(row, ColumnTemperature, TemperatureText(reading.celsius));
                checkRange(record, row, reading);
                showStatus(row, texts::ReadingOk);
                if (reading.ok()) ReadingSinkTake(record.Rom, reading.celsius);
                return;
            case Verdict::PowerOn:
                record.Flags |= PowerOnReading;
                showStatus(row, texts::ReadingPowerOn);
                return;
            case Verdict::ScratchpadCrc:
            case Verdict::LineHeldLow:
                record.Flags |= ScratchpadCrcError;
                showStatus(row, texts::ReadingCrcError);
                return;
            case Verdict::BusFailure:
            case Verdict::Unfinished:
                record.Flags |= BusError;
                showStatus(row, OneWireResultText(reading.result));
                return;
        }
    }

    // "OK" on the default colour, anything else on the fault colour.
    static void showStatus(int32_t row, std::u16string_view text) {
        SetCellText(row, ColumnStatus, text);
        SetCellColour(row, ColumnStatus,
                      text == texts::ReadingOk ? ui::DefaultColour : FaultColour);
    }

    // A sensor that a search no longer found says since when in its status cell.
    static void showIfNotAnswering(const SensorRecord& record, int32_t row) {
        if (record.Flags & NotAnswering)
            showStatus(row, NotAnsweringText(record.NotAnsweringSince));
    }

    // The mode is looked at afresh: separate polling may have been switched off during the
    // conversion wait, and the window has then already taken the marker away. Should the
    // switch fall between this check and the colouring, the marker that landed after the
    // window's reset is taken away at the next reading.
    void markPolled(int32_t row) {
        if (Separate()) {
            SetCellColour(polledRow_, ColumnType, ui::DefaultColour);
            SetCellColour(row, ColumnType, PolledColour);
            markerShown_ = true;
        } else if (markerShown_) {
            SetCellColour(polledRow_, ColumnType, ui::DefaultColour);
            markerShown_ = false;
        }
    }

    // Only a sound reading counts toward the limits; one that no part can measure is marked.
    void checkRange(SensorRecord& record, int32_t row, const Reading& reading) {
        if (reading.verdict == Verdict::OutOfRange) {
            record.Flags |= OutOfRange;
            SetCellColour(row, ColumnTemperature, LimitColour);
            return;
        }
        record.Flags &= static_cast<uint8_t>(~OutOfRange);
        if (reading.ok() && ControlBlock.ThermoControl != 0 &&
            !InsideLimits(reading.celsius, ControlBlock.ThermoMin, ControlBlock.ThermoMax)) {
            ++limitCount_;
            SetCellColour(row, ColumnTemperature, LimitColour);
        } else {
            SetCellColour(row, ColumnTemperature, ui::DefaultColour);
        }
    }

    Wait conversionWait() {
        for (int32_t i = 0; i < ConversionSleeps; ++i) {
            DelayMs(LoopSleepMs);
            if (ControlBlock.ReopenPort != 0) return Wait::Done;  // readings follow at once
            if (ControlBlock.StopRequested != 0) return Wait::Stop;
        }
        return Wait::Done;
    }

    // A stop ends a long run of readings at the next device; a port change once it has
    // waited RequestGraceMs (a short pass finishes its readings first).
    bool yieldToRequest() {
        if (ControlBlock.StopRequested != 0) return true;
        if (ControlBlock.ReopenPort == 0) {
            reopenSeenAt_ = -1;
            return false;
        }
        const int64_t now = MillisecondClock();
        if (reopenSeenAt_ < 0) reopenSeenAt_ = now;
        return now - reopenSeenAt_ >= RequestGraceMs;
    }

    // The interval wait is shortened by the time a search between the passes took.
    void passEnd() {
        ++MonitorStats.passEnds;
        if (!Separate()) OneWireSchedulePassEnded(background_.schedule);
        const int64_t searchedMs = searchBetweenPasses();
        if (statusForced_ || faultyCount_ != shownFaultyCount_ || limitCount_ != shownLimitCount_ ||
            listWhole_ != shownListWhole_) {
            showCounts();
        }
        const int32_t interval = ControlBlock.Interval;
        if (interval < 2) return;
        const int64_t sleeps = int64_t{interval - 1} * SleepsPerSecond - searchedMs / LoopSleepMs;
        if (sleeps > 0) WaitWatchingRequests(static_cast<int32_t>(sleeps * LoopSleepMs));
    }

    // The status line of a pass end: the devices, the counts of the pass, and a word that
    // the list is not known to be the whole bus yet.
    void showCounts() {
        statusSuffix_ = StatusSuffixText(faultyCount_, limitCount_);
        std::u16string text = FoundDevicesText(deviceCount_) + statusSuffix_;
        if (!listWhole_) text += texts::SearchIncomplete;
        ShowStatus(text);
        statusForced_ = false;
        shownFaultyCount_ = faultyCount_;
        shownLimitCount_ = limitCount_;
        shownListWhole_ = listWhole_;
    }

    // The one way the list follows the bus while monitoring: searches nobody asked for, as
    // the schedule has them due (periodically, after a spoiled search, after failing
    // readings), taken one pass at a time between two measuring passes for at most about an
    // interval, so that no sensor's readings stop for longer than two intervals; a walk that
    // needs more goes on after the next pass. The table keeps its values meanwhile. Should a
    // single step be reckoned to hold the readings back for longer, the status line says the
    // bus is being searched until the counts of the next pass end replace it. Returns the
    // milliseconds searched.
    int64_t searchBetweenPasses() {
        if (RequestPending()) return 0;
        const int64_t intervalMs = int64_t{std::max<int32_t>(1, ControlBlock.Interval)} * 1000;
        const int64_t waitMs = intervalMs - 1000;  // the interval wait the search shortens
        const auto beforeStep = [&](int64_t spentUs, int64_t nextUs) {
            if (RequestPending()) return false;
            if ((spentUs + nextUs) / 1000 - waitMs > HeldIntervals * intervalMs) {
                ShowStatus(texts::SearchingBetweenPasses);
                statusForced_ = true;
            }
            return true;
        };
        std::vector<RomCode> listed;
        for (int32_t i = 0; i < list_.count(); ++i) {
            if ((list_.at(i).Flags & NotAnswering) == 0) listed.push_back(list_.at(i).Rom);
        }
        const int64_t start = MicrosecondClock();
        const int ended =
            OneWireSearchBetweenPasses(background_, listed, PortCurrent, intervalMs, beforeStep);
        const int64_t searchedUs = MicrosecondClock() - start;
        MonitorStats.searchMicroseconds += static_cast<uint64_t>(searchedUs);
        if (ended) walkEnded(background_.walk.found);
        return searchedUs / 1000;
    }

    void walkEnded(const Enumeration& found) {
        ++MonitorStats.searches;
        listWhole_ = !SearchWorthRepeating(found.end);
        if (!listWhole_) ++MonitorStats.spoiledSearches;
        // An empty bus (or a held line) is the idle branch's to handle: the rows then tell
        // that nobody answers instead of vanishing.
        if (found.end == EnumerationEnd::NoDevices || found.end == EnumerationEnd::LineHeldLow)
            return;
        if (!UpdateDevices(list_, found)) {
            // The same devices: a sensor the walk no longer found says so in its row at once.
            for (int32_t row = 0; row < list_.count(); ++row)
                showIfNotAnswering(list_.at(row), row);
            return;
        }
        deviceCount_ = list_.count();
        MonitorStats.deviceCount = deviceCount_;
        passStarted_ = false;
        rowsRebuilt();
        OneWireScheduleAsk(background_.schedule);  // a changed list is confirmed by one more
    }

    // A search the program makes whatever the schedule says (a port opened, the bus found
    // again) has ended: the schedule times the next one from here.
    void searchAsked(EnumerationEnd end) {
        listWhole_ = !SearchWorthRepeating(end);
        OneWireSearchAskedEnded(background_, listWhole_);
    }

    void busFailure() {
        ++MonitorStats.busFailures;
        if (reconnect_.deviceGone()) {
            portLost();
        } else {
            statusSuffix_ = OneWireResultText(OneWireLastResult());
        }
        ShowStatus(statusSuffix_);
        statusForced_ = true;
        idle();
    }

    // No devices, or a pass start that failed. The rows are marked failed once; every tenth
    // idle iteration tries whether the bus answers again and, if so, searches it.
    void idle() {
        if (!rowsMarkedFailed_) {
            const int32_t rows = ui::CountItems(MainWindow, SensorTable);
            for (int32_t row = 0; row < rows; ++row) {
                SetCellText(row, ColumnTemperature, u"");
                SetCellText(row, ColumnStatus, statusSuffix_);
                SetCellColour(row, ColumnTemperature, ui::DefaultColour);
                SetCellColour(row, ColumnStatus, FaultColour);
            }
            rowsMarkedFailed_ = true;
            // The rest of the interrupted pass is read without a new conversion.
            passStarted_ = rows > 0;
        }
        if (reconnect_.waiting()) {
            if (reconnect_.retry(list_)) portReopened();
            return;
        }
        ++faultyCount_;  // a failed pass start counts with the faults of its pass
        if (++idleIterations_ < ReSearchAfterIdle) return;
        idleIterations_ = 0;
        deviceCount_ = 0;
        MonitorStats.deviceCount = 0;
        if (OneWireReset(PortCurrent)) {
            SearchDevices(list_, ui::GetText(MainWindow, PortSelector));
            searchAsked(LastSearchEnd());
            deviceCount_ = list_.count();
            MonitorStats.deviceCount = deviceCount_;
            rowsRebuilt();
        } else if (reconnect_.deviceGone()) {
            portLost();
            ShowStatus(statusSuffix_);
        }
    }

    // Cleared before the reopening starts: a port chosen while it runs sets the flag again
    // and is opened at the next iteration.
    void reopen() {
        ControlBlock.ReopenPort = 0;
        reopenSeenAt_ = -1;
        OpenSelectedPort(list_);
        deviceCount_ = list_.count();
        if (deviceCount_ > 0) {
            list_.resetCursor();
            passStarted_ = false;
            polledRow_ = 0;
        }
        const bool isOpen = SerialIsOpen(currentPort.load()) != 0;
        reconnect_.opened(isOpen);
        if (!isOpen) {
            // The rows of the earlier port stay; the idle branch tells in each of them that
            // no port is open now, rather than repeating an old status tail.
            statusSuffix_ = OneWireResultText(NoOpenPort);
        } else {
            searchAsked(LastSearchEnd());
        }
        rowsRebuilt();
    }

    // The device of the port has gone and the port is closed: the rows keep saying so, and
    // only the attempts to open it again run until it is back.
    void portLost() {
        statusSuffix_ = reconnect_.goneText();
        deviceCount_ = 0;
        MonitorStats.deviceCount = 0;
    }

    // The chosen port is open again after its device had gone, and searched.
    void portReopened() {
        deviceCount_ = list_.count();
        MonitorStats.deviceCount = deviceCount_;
        if (deviceCount_ > 0) {
            list_.resetCursor();
            passStarted_ = false;
            polledRow_ = 0;
        }
        idleIterations_ = 0;
        searchAsked(LastSearchEnd());
        rowsRebuilt();
    }

    // The table changed under us: the new rows are neither marked nor counted yet, and the
    // status line holds a search message that the next pass end must replace with the counts.
    void rowsRebuilt() {
        markerShown_ = false;  // new rows carry no colour
        rowsMarkedFailed_ = false;
        faultyCount_ = 0;
        limitCount_ = 0;
        statusForced_ = true;
    }

    SensorList list_;
    PortReconnect reconnect_;
    ThermometerReader reader_{PortCurrent, WaitWatchingRequests};
    int32_t deviceCount_ = 0;
    // A conversion has been made for the pass under way (or the pass was interrupted after
    // the rows were marked failed): the devices up to the end of the list are read without
    // a new one.
    bool passStarted_ = false;
    int32_t polledRow_ = 0;     // the row that may carry the polled-row marker
    bool markerShown_ = false;  // column 0 of polledRow_ may carry the polled-row colour
    bool rowsMarkedFailed_ = false;
    // Counts of the pass under way, and the values the status line shows.
    int32_t faultyCount_ = 0;  // faulty records met, and failed starts of the pass
    int32_t limitCount_ = 0;   // readings outside the user's limits
    int32_t shownFaultyCount_ = 0;
    int32_t shownLimitCount_ = 0;
    bool statusForced_ = false;
    std::u16string statusSuffix_;  // the status tail, or the message of the last failure
    int32_t idleIterations_ = 0;   // since the last attempt to find the bus again
    // Searching again while monitoring.
    BackgroundSearch background_;
    bool listWhole_ = true;  // the last search ended cleanly
    bool shownListWhole_ = true;
    int64_t reopenSeenAt_ = -1;
};

}  // namespace

int MonitorWorker(intptr_t /*parameter*/) {
    Worker worker;
    return worker.run();
}

}  // namespace kv
