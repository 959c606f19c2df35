#include "probe/probe_run.h"

#include <algorithm>
#include <optional>

#include "onewire/bus.h"
#include "probe/stop_signal.h"
#include "runtime/clock.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "session/port_recovery.h"
#include "session/search_schedule.h"

namespace kv::probe {
namespace {

constexpr int32_t WaitSliceMs = 100;
// A search the line spoiled is taken again at once, as a whole walk.
constexpr int64_t SearchSpanAfterSpoiledMs = 60'000;

class Run {
  public:
    Run(const Options& options, ProbeOutputs& outputs)
        : options_(options), outputs_(outputs), name_(Utf16FromPathBytes(options.port)) {}

    int run() {
        if (!openAtStart()) return 1;
        std::string error;
        if (!outputs_.start(port_ != 0, error)) {
            Message(error);
            if (port_) OneWireClose(port_);
            return 1;
        }
        bool sound = false;
        int64_t nextPass = MillisecondClock();
        for (int64_t done = 0; options_.count == 0 || done < options_.count;) {
            if ((done > 0 || !port_) && !waitUntil(nextPass)) break;
            // A pass that overran its period is followed at once, but late passes are not
            // made up in a burst.
            nextPass =
                std::max(nextPass, MillisecondClock()) + int64_t{options_.everySeconds} * 1000;
            bool searched = true;
            if (searchDue_) {
                searched = bus_->find();
                OneWireSearchAskedEnded(search_, searched);
                // The schedule takes a search the line spoiled again at once, expecting what
                // was found; before the first pass, so that a single pass reads it all.
                if (!searched) walk(SearchSpanAfterSpoiledMs);
                setResolution();
            }
            const Pass pass = bus_->measure();
            if (pass.interrupted) break;  // stopped while the thermometers converted
            outputs_.pass(bus_->devices(), pass);
            ++done;
            sound = searched && pass.sound;
            // The bus is searched again at the next pass after a pass that failed or found no
            // thermometer (the adapter may be back, or the sensors rewired), and a run that
            // does not repeat after a spoiled search; a repeating run hands everything else
            // to the searches between passes.
            searchDue_ =
                !pass.sound || !bus_->anyThermometer() || (!options_.repeats() && !searched);
            if (recovery_.deviceGone(port_)) {
                sound = false;
                if (!options_.repeats()) break;
                lost();
                continue;
            }
            if (options_.repeats() && !searchDue_) {
                searchBetweenPasses(pass, nextPass);
                setResolution();
            }
        }
        outputs_.stop();
        if (port_) OneWireClose(port_);
        // Stopping a service is its clean end, whatever the bus did in the pass before.
        return sound || StopRequested() ? 0 : 1;
    }

  private:
    bool openAtStart() {
        const int32_t port = OneWireOpen(name_, PortDynamic);
        recovery_.opened(name_, port != 0);
        if (port) {
            opened(port);
            return true;
        }
        const std::string why = CannotOpenText(options_.port);
        if (!options_.repeats()) {
            Message(why);
            return false;
        }
        Message(why + "; trying again every second");
        return true;
    }

    void opened(int32_t port) {
        port_ = port;
        bus_.emplace(port, options_.port);
        search_ = BackgroundSearch{};
        searchDue_ = true;
    }

    void setResolution() {
        if (options_.resolution) bus_->setResolution(options_.resolution, options_.saveResolution);
    }

    // The window's schedule decides whether the bus is searched now: periodically for
    // sensors added, after spoiled searches, when readings fail pass after pass; a walk is
    // spread over the gaps between passes, within its share of the bus time.
    void searchBetweenPasses(const Pass& pass, int64_t nextPass) {
        for (const Reading& r : pass.readings)
            OneWireScheduleReading(search_.schedule, r.rom, r.answered);
        OneWireSchedulePassEnded(search_.schedule);
        walk(std::clamp<int64_t>(nextPass - MillisecondClock(), 0,
                                 int64_t{options_.everySeconds} * 1000 / 2));
    }

    // The steps of a search the schedule wants now, for about spanMs; newcomers join the list.
    void walk(int64_t spanMs) {
        if (OneWireSearchBetweenPasses(search_, bus_->roms(), port_, spanMs) == 0) return;
        const int added = bus_->update(search_.walk.found);
        if (added == 0) return;
        Message("the search on " + options_.port + " found " + std::to_string(added) +
                (added == 1 ? " new device" : " new devices"));
    }

    void lost() {
        Message("the port " + options_.port + " has gone; trying again every second");
        port_ = 0;
        bus_.reset();
        outputs_.portLost();
    }

    // Sleeps until the deadline, or while the port is away until it is back (tried about
    // once a second), which ends the wait at once. false when a stop came.
    bool waitUntil(int64_t deadline) {
        for (;;) {
            if (StopRequested()) return false;
            int64_t left = WaitSliceMs;
            if (!port_) {
                if (retry()) return true;
            } else {
                left = deadline - MillisecondClock();
                if (left <= 0) return true;
            }
            DelayMs(static_cast<int32_t>(std::min<int64_t>(left, WaitSliceMs)));
        }
    }

    bool retry() {
        int32_t port = 0;
        switch (recovery_.attempt(PortDynamic, &port)) {
            case RecoveryAttempt::NotDue:
            case RecoveryAttempt::Absent:
                return false;
            case RecoveryAttempt::Busy:
                Message("cannot open " + Utf8FromUtf16(recovery_.tried()) +
                        ": busy, or not a serial port; trying again every second");
                return false;
            case RecoveryAttempt::Opened:
                break;
        }
        Message("the port " + Utf8FromUtf16(recovery_.name()) + " is back");
        opened(port);
        return true;
    }

    const Options& options_;
    ProbeOutputs& outputs_;
    const std::u16string name_;
    PortRecovery recovery_;
    int32_t port_ = 0;
    std::optional<BusSession> bus_;
    BackgroundSearch search_;
    bool searchDue_ = true;
};

}  // namespace

int RunProbe(const Options& options, ProbeOutputs& outputs) {
    return Run(options, outputs).run();
}

}  // namespace kv::probe
