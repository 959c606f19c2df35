#include "probe/probe_run.h"

#include <algorithm>

#include "probe/messages.h"
#include "probe/probe_bus.h"
#include "probe/stop_signal.h"
#include "runtime/clock.h"

namespace kv::probe {
namespace {

constexpr int32_t WaitSliceMs = 100;

class Run {
  public:
    Run(const Options& options, ProbeOutputs& outputs)
        : options_(options), outputs_(outputs), bus_(options) {}

    int run() {
        if (!bus_.open() && !options_.repeats()) return 1;
        std::string error;
        if (!outputs_.start(!bus_.away(), error)) {
            Message(error);
            bus_.close();
            return 1;
        }
        bool sound = false;
        int64_t nextPass = MillisecondClock();
        for (int64_t done = 0; options_.count == 0 || done < options_.count;) {
            if ((done > 0 || bus_.away()) && !waitUntil(nextPass)) break;
            // A pass that overran its period is followed at once, but late passes are not
            // made up in a burst.
            nextPass =
                std::max(nextPass, MillisecondClock()) + int64_t{options_.everySeconds} * 1000;
            bus_.prepare();
            const Pass pass = bus_.measure();
            if (pass.interrupted) break;  // stopped while the thermometers converted
            outputs_.pass(bus_.list(), pass);
            sound = bus_.searchedWhole() && pass.sound;
            if (++done == options_.count) break;
            bus_.passDone(pass, nextPass);
            if (bus_.away()) {
                sound = false;
                if (!options_.repeats()) break;
                outputs_.portLost();
            }
        }
        outputs_.stop();
        bus_.close();
        // Stopping a service is its clean end, whatever the bus did in the pass before.
        return sound || StopRequested() ? 0 : 1;
    }

  private:
    // Sleeps until the deadline, or while the port is away until it is back (tried about
    // once a second), which ends the wait at once. false when a stop came.
    bool waitUntil(int64_t deadline) {
        for (;;) {
            if (StopRequested()) return false;
            int64_t left = WaitSliceMs;
            if (bus_.away()) {
                if (bus_.recover()) return true;
            } else {
                left = deadline - MillisecondClock();
                if (left <= 0) return true;
            }
            DelayMs(static_cast<int32_t>(std::min<int64_t>(left, WaitSliceMs)));
        }
    }

    const Options& options_;
    ProbeOutputs& outputs_;
    ProbeBus bus_;
};

}  // namespace

int RunProbe(const Options& options, ProbeOutputs& outputs) {
    return Run(options, outputs).run();
}

}  // namespace kv::probe
