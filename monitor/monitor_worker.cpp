#include "monitor/monitor_worker.h"

#include <algorithm>
#include <string>

#include "monitor/control_block.h"
#include "monitor/port_chooser.h"
#include "monitor/reading_sink.h"
#include "monitor/sensor_table.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/result.h"
#include "runtime/clock.h"
#include "serial/port_presence.h"
#include "session/find_devices.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

WorkerStatistics workerStatistics;

bool Separate() {
    return ControlBlock.ConvertOnly != 0;
}

// The window's session: on the one current port, the full conversion wait, a bus attempt
// every tenth idle iteration, and a stop honoured at the next device.
SessionPolicy WindowPolicy() {
    SessionPolicy policy;
    policy.port = PortCurrent;
    policy.conversionWait = ConversionWait::Full;
    policy.idleBeforeBusAttempt = ReSearchAfterIdle;
    policy.stopEndsPass = true;
    policy.stopAsked = [] { return ControlBlock.StopRequested != 0; };
    policy.changeAsked = [] { return ControlBlock.ReopenPort != 0; };
    return policy;
}

class Worker final : public SessionEvents {
  public:
    int run() {
        do {
            iteration();
        } while (ControlBlock.StopRequested == 0);
        return 0;
    }

  private:
    void iteration() {
        DelayMs(LoopSleepMs);
        if (ControlBlock.ReopenPort != 0) reopen();
        if (session_.deviceCount() <= 0) {
            session_.idle();
            return;
        }
        const PassStep step = Separate() ? session_.pollNext() : session_.measure();
        step == PassStep::StartFailed ? session_.startFailed() : passEnd();
        ReadingSinkFollowList(session_.list());  // the chart greys a sensor that has gone
    }

    // Cleared before the reopening starts: a port chosen while it runs sets the flag again
    // and is opened at the next iteration. Without a selection the kept choice is tried: a
    // port that was not offered may be back.
    void reopen() {
        ControlBlock.ReopenPort = 0;
        const std::u16string selected = ui::GetText(MainWindow, PortSelector);
        openingKept_ = selected.empty();
        const std::u16string name = openingKept_ ? PortChoiceName() : selected;
        const bool isOpen = session_.open(name);
        absentText_ = PortMissingText(name);
        shownAwayText_.clear();
        // The rows of the earlier port stay; the idle branch tells in each of them that no
        // port is open now, rather than repeating an old status tail.
        if (!isOpen) statusSuffix_ = OneWireResultText(NoOpenPort);
        restartCounts();
    }

    // The interval wait is shortened by the time a search between the passes took. A search
    // may take about an interval; should a step be reckoned to hold the readings back for
    // longer than HeldIntervals more, the status line says so.
    void passEnd() {
        session_.passEnded(!Separate());
        const int64_t intervalMs = int64_t{std::max<int32_t>(1, ControlBlock.Interval)} * 1000;
        const int64_t waitMs = intervalMs - 1000;
        const int64_t searchedMs =
            session_.searchBetweenPasses(intervalMs, waitMs + HeldIntervals * intervalMs);
        if (statusForced_ || session_.passFaults() != shownFaults_ ||
            limitCount_ != shownLimitCount_ || session_.listWhole() != shownListWhole_) {
            showCounts();
        }
        const int32_t interval = ControlBlock.Interval;
        if (interval < 2) return;
        const int64_t sleeps = int64_t{interval - 1} * SleepsPerSecond - searchedMs / LoopSleepMs;
        if (sleeps > 0) session_.wait(static_cast<int32_t>(sleeps * LoopSleepMs));
    }

    // The status line of a pass end: the devices, the counts of the pass, and a word that
    // the list is not known to be the whole bus yet.
    void showCounts() {
        statusSuffix_ = StatusSuffixText(session_.passFaults(), limitCount_);
        std::u16string text = FoundDevicesText(session_.deviceCount()) + statusSuffix_;
        if (!session_.listWhole()) text += texts::SearchIncomplete;
        ShowStatus(text);
        statusForced_ = false;
        shownFaults_ = session_.passFaults();
        shownLimitCount_ = limitCount_;
        shownListWhole_ = session_.listWhole();
    }

    // The table changed under us: the new rows are neither marked nor counted yet, and the
    // status line holds a search message that the next pass end must replace with the counts.
    void restartCounts() {
        polled_.forget();  // new rows carry no colour
        limitCount_ = 0;
        statusForced_ = true;
    }

    // A failure the status line and, once the readings stop, every row tell of.
    void showFailure(std::u16string text) {
        statusSuffix_ = std::move(text);
        ShowStatus(statusSuffix_);
        statusForced_ = true;
    }

    // --- what the session tells ---

    void portOpened(std::u16string_view name) override {
        ShowStatus(texts::PortOpened);
        if (openingKept_) ShowChosenPort(name);
    }

    // A kept choice that is not offered may be missing, or held by another program.
    void portNotOpened(std::u16string_view name) override {
        const bool missing = openingKept_ && SerialPortExists(name) == 0;
        ShowStatus(missing ? PortMissingText(name) : PortOpenFailedText(name));
    }

    // The rows keep saying so, and only the attempts to open it again run until it is back.
    void portLost(std::u16string_view name) override {
        absentText_ = PortGoneText(name);
        shownAwayText_.clear();
        showFailure(absentText_);
    }

    // Why it is not open yet, once per change: the port is not there, or another program
    // holds it.
    void portStillAway(RecoveryAttempt attempt, std::u16string_view tried) override {
        std::u16string text =
            attempt == RecoveryAttempt::Busy ? PortOpenFailedText(tried) : absentText_;
        if (text == shownAwayText_) return;
        ShowStatus(text);
        shownAwayText_ = std::move(text);
    }

    // The adapter came back, perhaps under another name: the chooser and the settings file
    // follow it, unless the user has chosen another port meanwhile.
    void portBack(std::u16string_view awaited, std::u16string_view name) override {
        if (name != awaited) {
            if (PortChoiceFollow(awaited, name) && ControlBlock.ReopenPort == 0) {
                ShowChosenPort(name);
                ui::PostEvent(PortFollowedEvent, MainWindow, 0, 0);
            }
        } else if (ControlBlock.ReopenPort == 0) {
            ShowChosenPort(name);  // listed again if a refresh of the list had dropped it
        }
        ShowStatus(texts::PortOpened);
    }

    void searching() override { ShowStatus(texts::Searching); }

    // A list that is not known to be the whole bus is reported as such.
    void searched(const Enumeration& found) override {
        const auto count = static_cast<int64_t>(found.codes.size());
        std::u16string text;
        if (count > 0) {
            FillSensorList(session_.list());
            text = FoundDevicesText(count) + std::u16string(texts::SentenceEnd);
        } else {
            ui::ClearItems(MainWindow, SensorTable);
            text = NothingFoundText(session_.portName());
        }
        if (SearchWorthRepeating(found.end)) text += texts::SearchIncomplete;
        ShowStatus(text);
        restartCounts();
    }

    void listChanged(int32_t /*added*/) override {
        FillSensorList(session_.list());
        restartCounts();
    }

    void sensorLost(int32_t index) override {
        ShowRowStatus(index, NotAnsweringText(session_.list().at(index).NotAnsweringSince));
    }

    void searchHolding() override {
        ShowStatus(texts::SearchingBetweenPasses);
        statusForced_ = true;
    }

    void passStarted() override { limitCount_ = 0; }
    void passFailed(int32_t result) override { showFailure(OneWireResultText(result)); }
    void readingsStopped() override { MarkRowsFailed(statusSuffix_); }

    // A sound reading goes on to the log and the other consumers.
    void readingJudged(int32_t index, const Reading& reading) override {
        if (reading.verdict != Verdict::Unfinished) {
            const SensorRecord& record = session_.list().at(index);
            if (ShowReading(index, record, reading)) ++limitCount_;
            if (reading.ok() && ReadingSinkTake(record.Rom, reading.celsius))
                ++workerStatistics.logRecords;
        }
        polled_.moveTo(index, Separate());
    }

    BusSession session_{*this, WindowPolicy(), workerStatistics};
    bool openingKept_ = false;      // the port being opened is the kept choice, not offered
    std::u16string absentText_;     // what the status line says while the port is not there
    std::u16string shownAwayText_;  // what the last failed attempt to open it put there
    std::u16string statusSuffix_;   // the status tail, or the message of the last failure
    bool statusForced_ = false;     // the next pass end shows the counts whatever they are
    int32_t limitCount_ = 0;        // readings of the pass outside the user's limits
    int32_t shownFaults_ = 0;       // the counts the status line shows
    int32_t shownLimitCount_ = 0;
    bool shownListWhole_ = true;
    PolledMarker polled_;
};

}  // namespace

int MonitorWorker(intptr_t /*parameter*/) {
    Worker worker;
    return worker.run();
}

const WorkerStatistics& MonitorWorkerStatistics() {
    return workerStatistics;
}

void MonitorWorkerStatisticsReset() {
    workerStatistics.reset();
    workerStatistics.logRecords = 0;
}

}  // namespace kv
