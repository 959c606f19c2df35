// The probe's bus: one session on a port of the probe's own (session/bus_session.h), with
// the probe's policy (the conversion waited for as long as the slowest thermometer needs at
// its resolution, the bus tried again at every pass that has no device to read, a pass under
// way finished whatever signal comes), and what the probe makes of the session's events: its
// messages on standard error, and each pass's readings for the outputs.
#pragma once
#include <cstdint>

#include "probe/options.h"
#include "probe/pass_readings.h"
#include "session/bus_session.h"

namespace kv::probe {

// A search the line spoiled is taken again at once, as a whole walk.
inline constexpr int64_t SearchSpanAfterSpoiledMs = 60'000;

class ProbeBus final : public SessionEvents {
  public:
    explicit ProbeBus(const Options& options);

    // Opens the port of the options and searches it; false (with a message) when it could
    // not be opened, and a repeating run then waits for it.
    bool open();
    void close() { session_.close(); }
    // The port has gone, or was not there: recover() tries it about once a second.
    bool away() const { return session_.waitingForPort(); }
    bool recover() { return session_.recover(); }
    const SensorList& list() const { return session_.list(); }
    int32_t port() const { return session_.port(); }
    // Every search since the last pass ended cleanly (or none was made).
    bool searchedWhole() const { return searchedWhole_; }

    // Before a pass: a bus without devices is tried again (and a run that does not repeat
    // searches again after a spoiled search), a spoiled search is walked again at once, and
    // the thermometers get the resolution asked for.
    void prepare();
    // One pass over every thermometer, from the first.
    Pass measure();
    // After a pass was written: a failed one may mean the port has gone and the bus is tried
    // again; a repeating run searches between passes, for at most half a period and never
    // past the next pass.
    void passDone(const Pass& pass, int64_t nextPassMs);

  private:
    void portNotOpened(std::u16string_view name) override;
    void portLost(std::u16string_view name) override;
    void portStillAway(RecoveryAttempt attempt, std::u16string_view tried) override;
    void portBack(std::u16string_view awaited, std::u16string_view name) override;
    void searched(const Enumeration& found) override;
    void listChanged(int32_t added) override;
    void readingJudged(int32_t index, const kv::Reading& reading) override;
    void resolutionRefused(int32_t index, int32_t result) override;
    void failedStart();

    const Options& options_;
    SessionStatistics statistics_;
    BusSession session_;
    Pass pass_;
    bool searchedWhole_ = true;  // since the last pass
    bool lastSearchWhole_ = true;
    bool walkAgain_ = false;
};

}  // namespace kv::probe
