#include "monitor/monitor_worker.h"

#include <array>
#include <string>

#include "monitor/control_block.h"
#include "monitor/device_search.h"
#include "monitor/event_log.h"
#include "monitor/port_open.h"
#include "monitor/sensor_list.h"
#include "monitor/sensor_table.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "monitor/worker_stats.h"
#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "onewire/timing.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv {

MonitorStatistics MonitorStats;

void MonitorStatsReset() {
    MonitorStats.passEnds = 0;
    MonitorStats.readings = 0;
    MonitorStats.crcErrors = 0;
    MonitorStats.readFailures = 0;
    MonitorStats.busFailures = 0;
    MonitorStats.logRecords = 0;
    MonitorStats.deviceCount = 0;
}

namespace {

bool Separate() {
    return ControlBlock.ConvertOnly != 0;
}

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

    void iteration() {
        DelayMs(LoopSleepMs);
        if (ControlBlock.ReopenPort != 0) reopen();
        MonitorStats.deviceCount = deviceCount_;
        if (deviceCount_ <= 0) {
            idle();
            return;
        }
        devices();
    }

    // The device part of an iteration: in common conversion the whole run of a pass, in
    // separate polling one device. Cells are always written to the row of the cursor's
    // record, so that row i shows the i-th device whatever device a pass resumes at after a
    // failure.
    void devices() {
        int32_t visited = 0;
        for (;;) {
            if (!list_.next()) {
                row_ = 0;
                if (!Separate()) {
                    list_.resetCursor();
                    passEnd();
                    return;
                }
                if (!list_.first()) {
                    passEnd();
                    return;
                }
            }
            const bool separate = Separate();
            // In separate polling a device of another family hands over to the next one; a
            // list without any thermometer must still come to a pass end, or a port change
            // would never be seen.
            if (separate && ++visited > list_.count()) {
                passEnd();
                return;
            }
            const bool convert = separate || row_ == 0;
            // Between two devices of one run a stop or a port change gets its chance, in
            // either mode and whatever kind the devices are.
            if ((visited > 1 || !convert) && yieldToRequest()) {
                passEnd();
                return;
            }
            SensorRecord& record = *list_.current();
            const int32_t tableRow = list_.cursorIndex();
            if (convert) {
                int ok = separate ? OneWireMatchRom(record.Rom.data(), PortCurrent)
                                  : OneWireSkipRom(PortCurrent);
                if (ok) ok = OneWireConvert(0, PortCurrent);
                if (!ok) {
                    busFailure();
                    return;
                }
                errorCount_ = 0;
                limitCount_ = 0;
                if (conversionWait() == Wait::Stop) {
                    passEnd();
                    return;
                }
            }
            if (!IsThermometerFamily(record.Rom[0])) {
                ++row_;
                continue;
            }
            read(record, tableRow);
            markPolled(tableRow);
            prevRow_ = tableRow;
            ++row_;
            if (Separate()) {
                passEnd();
                return;
            }
        }
    }

    // Reads one thermometer and shows, checks, counts and logs what it read.
    void read(SensorRecord& record, int32_t tableRow) {
        std::array<uint8_t, ScratchpadSize> pad{};
        if (OneWireMatchRom(record.Rom.data(), PortCurrent) &&
            OneWireReadScratchpad(pad.data(), PortCurrent)) {
            ++MonitorStats.readings;
            const float celsius = DecodeTemperature(pad.data(), record.Rom[0]);
            record.Temperature = celsius;
            SetCellText(tableRow, ColumnTemperature, TemperatureText(celsius));
            checkRange(record, tableRow, celsius);
            // Nine zero bytes pass the CRC, but they are a line held low, not a reading.
            if (ScratchpadCrcOk(pad.data()) && !OneWireReadsAsLineHeldLow(pad)) {
                record.Flags &= static_cast<uint8_t>(~ScratchpadCrcError);
                SetCellText(tableRow, ColumnStatus, texts::ReadingOk);
                SetCellColour(tableRow, ColumnStatus, ui::DefaultColour);
                // Only readings that passed their CRC go to the log: the 0xFF bytes of a
                // silent device would otherwise be recorded as a real -0.0625 °C.
                if (ControlBlock.Log != 0) {
                    WriteLog(LogReadingText(FormatRomCode(record.Rom), celsius));
                    ++MonitorStats.logRecords;
                }
            } else {
                ++MonitorStats.crcErrors;
                record.Flags |= ScratchpadCrcError;
                SetCellText(tableRow, ColumnStatus, texts::ReadingCrcError);
                SetCellColour(tableRow, ColumnStatus, FaultColour);
            }
        } else {
            ++MonitorStats.readFailures;
        }
        const int32_t code = OneWireLastResult();
        if (code != Ok) {
            record.Flags |= BusError;
            SetCellText(tableRow, ColumnStatus, OneWireResultText(code));
            SetCellColour(tableRow, ColumnStatus, FaultColour);
        } else if ((record.Flags & ScratchpadCrcError) == 0) {
            record.Flags &= static_cast<uint8_t>(~BusError);
            SetCellColour(tableRow, ColumnStatus, ui::DefaultColour);
        }
        if (record.Flags != 0) {
            ++errorCount_;
            if (record.Flags == RomCrcError) SetCellText(tableRow, ColumnTemperature, u"");
        }
    }

    // The mode is looked at afresh: separate polling may have been switched off during the
    // conversion wait, and the window has then already taken the marker away. Should the
    // switch fall between this check and the colouring, the marker that landed after the
    // window's reset is taken away at the next reading.
    void markPolled(int32_t tableRow) {
        if (Separate()) {
            SetCellColour(prevRow_, ColumnType, ui::DefaultColour);
            SetCellColour(tableRow, ColumnType, PolledColour);
            markerShown_ = true;
        } else if (markerShown_) {
            SetCellColour(prevRow_, ColumnType, ui::DefaultColour);
            markerShown_ = false;
        }
    }

    void checkRange(SensorRecord& record, int32_t tableRow, float celsius) {
        if (!IsPlausibleTemperature(celsius)) {
            record.Flags |= OutOfRange;
            SetCellColour(tableRow, ColumnTemperature, LimitColour);
            return;
        }
        record.Flags &= static_cast<uint8_t>(~OutOfRange);
        const auto whole = static_cast<int32_t>(celsius);  // toward zero: -10.9375 is -10
        if (ControlBlock.ThermoControl != 0 &&
            (whole < ControlBlock.ThermoMin || whole > ControlBlock.ThermoMax)) {
            ++limitCount_;
            SetCellColour(tableRow, ColumnTemperature, LimitColour);
        } else {
            SetCellColour(tableRow, ColumnTemperature, ui::DefaultColour);
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

    void passEnd() {
        ++MonitorStats.passEnds;
        if (statusForced_ || errorCount_ != lastErrorCount_ || limitCount_ != lastLimitCount_) {
            statusSuffix_ = StatusSuffixText(errorCount_, limitCount_);
            ShowStatus(FoundDevicesText(deviceCount_) + statusSuffix_);
            statusForced_ = false;
            lastErrorCount_ = errorCount_;
            lastLimitCount_ = limitCount_;
        }
        const int32_t interval = ControlBlock.Interval;
        if (interval < 2) return;
        for (int32_t i = 0; i < (interval - 1) * SleepsPerSecond; ++i) {
            DelayMs(LoopSleepMs);
            if (ControlBlock.ReopenPort != 0 || ControlBlock.StopRequested != 0) break;
        }
    }

    void busFailure() {
        ++MonitorStats.busFailures;
        statusSuffix_ = OneWireResultText(OneWireLastResult());
        ShowStatus(statusSuffix_);
        statusForced_ = true;
        idle();
    }

    void idle() {
        if (limitCount_ != -1) {
            const int32_t rows = ui::CountItems(MainWindow, SensorTable);
            for (row_ = 0; row_ < rows; ++row_) {
                SetCellText(row_, ColumnTemperature, u"");
                SetCellText(row_, ColumnStatus, statusSuffix_);
                SetCellColour(row_, ColumnTemperature, ui::DefaultColour);
                SetCellColour(row_, ColumnStatus, FaultColour);
            }
            limitCount_ = -1;
        }
        if (++errorCount_ < ReSearchAfterIdle) return;
        deviceCount_ = 0;
        MonitorStats.deviceCount = 0;
        if (OneWireReset(PortCurrent)) {
            SearchDevices(list_, ui::GetText(MainWindow, PortSelector));
            deviceCount_ = list_.count();
            MonitorStats.deviceCount = deviceCount_;
            rowsRebuilt();
        }
        errorCount_ = 0;
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
            row_ = 0;
            prevRow_ = 0;
        }
        if (SerialIsOpen(currentPort.load()) == 0) {
            // The rows of the earlier port stay; the idle branch tells in each of them that
            // no port is open now, rather than repeating an old status tail.
            statusSuffix_ = OneWireResultText(NoOpenPort);
        }
        rowsRebuilt();
    }

    // The table changed under us: the new rows are not marked yet, and the status line holds
    // a search message that the next pass end must replace with the counts.
    void rowsRebuilt() {
        markerShown_ = false;  // new rows carry no colour
        limitCount_ = 0;
        statusForced_ = true;
    }

    SensorList list_;
    int32_t deviceCount_ = 0;
    int32_t row_ = 0;
    int32_t prevRow_ = 0;
    int32_t errorCount_ = 0;
    int32_t lastErrorCount_ = 0;
    int32_t limitCount_ = 0;
    int32_t lastLimitCount_ = 0;
    bool statusForced_ = false;
    bool markerShown_ = false;  // column 0 of prevRow_ may carry the polled-row colour
    std::u16string statusSuffix_;
    int64_t reopenSeenAt_ = -1;
};

}  // namespace

int MonitorWorker(intptr_t /*parameter*/) {
    Worker worker;
    return worker.run();
}

}  // namespace kv
