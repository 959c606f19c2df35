// The readings the chart shows: per thermometer, its sound readings in time order, with a
// gap wherever it had none for a while. The worker adds readings as they come, the log
// loader hands over what it read, the window thread draws; one lock keeps them apart.
//
// A series is a list of runs, each in time order. Where the clock was set back (the log
// shows it, or the system clock is set back while the program runs) a new run starts, so
// readings taken later are never joined to those before them by a line back in time, and
// overlapping hours show both runs as they were.
//
// Memory is bounded: a series holds at most Capacity() points, two days of readings at the
// current interval. When it is full, the older half of each run is thinned to the smallest
// and the largest reading of every four: the last day stays whole, and a long run keeps
// every extreme of what went before at a coarser time step.
#pragma once
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "onewire/search.h"

namespace kv {

// The step of the history's times.
inline constexpr int64_t HistoryTenthMs = 100;

// A reading as the history keeps it: time in tenths of a second from the history's base,
// the temperature, or NaN for the start of a gap (nothing is drawn from the point before it
// to the point after it).
struct HistoryPoint {
    int32_t tenths = 0;
    float celsius = 0;
    bool isGap() const { return std::isnan(celsius); }
    // Milliseconds since 1970-01-01 UTC, for a history based at `baseMs`.
    int64_t Ms(int64_t baseMs) const { return baseMs + int64_t(tenths) * HistoryTenthMs; }
};

struct LoadedReading {
    int64_t instantMs = 0;  // milliseconds since 1970-01-01 UTC
    float celsius = 0;
};

using HistoryRun = std::deque<HistoryPoint>;

struct HistorySeries {
    RomCode rom{};
    std::vector<HistoryRun> runs;  // in the order they were taken; never empty ones
    int64_t spacingMs = 0;         // between the last two connected readings
    // The spacing is the first of the run, taken on trust: should the next one be much
    // shorter, the first two readings had a gap between them after all.
    bool spacingGuessed = false;
    // The worker found the sensor gone; its next reading ends that.
    bool lost = false;
    // The log from its start to the last day, at a glance (chart/log_overview.h): at most the
    // smallest and the largest reading of each of its stretches, times in the history's tenths
    // (below zero before its base). Not counted in PointCount, never thinned.
    HistoryRun older;
    size_t PointCount() const;
};

// Readings further apart than this many times their usual spacing have a gap between them.
inline constexpr int64_t GapFactor = 3;
// Below this, two readings are never taken for a gap: the log's times have whole seconds.
inline constexpr int64_t MinimumGapMs = 3'000;
// The longest two readings `usualMs` apart as a rule may be apart without a gap between them.
constexpr int64_t GapLimitMs(int64_t usualMs) {
    return GapFactor * usualMs > MinimumGapMs ? GapFactor * usualMs : MinimumGapMs;
}
inline constexpr int64_t HistoryDayMs = 86'400'000;
// A series never holds fewer points than this, whatever the interval.
inline constexpr size_t MinimumCapacity = 2'000;
// Thermometers beyond this many are not kept.
inline constexpr size_t MaximumSeries = 64;

class ReadingHistory {
  public:
    // Readings before `baseMs` are refused; times count from it in tenths of a second, for
    // about six years.
    explicit ReadingHistory(int64_t baseMs);

    int64_t BaseMs() const { return baseMs_; }
    int64_t ToMs(int32_t tenths) const { return baseMs_ + int64_t(tenths) * HistoryTenthMs; }
    // Forgets every reading and counts from a new base.
    void Reset(int64_t baseMs);

    // A reading of the running program. `expectedSpacingMs` is how far apart the readings of
    // one sensor are meant to be now (0 when not known); a reading that comes much later
    // than both that and the usual spacing starts after a gap.
    void Add(const RomCode& rom, int64_t instantMs, float celsius, int64_t expectedSpacingMs);
    // Readings read back from the log, per sensor in the order they were logged. They come
    // before the readings of this run. `older` is the log before them at a glance, per sensor
    // in time order, a NaN where its line breaks (see HistorySeries::older).
    void AddLoaded(const std::map<RomCode, std::vector<LoadedReading>>& loaded,
                   const std::map<RomCode, std::vector<LoadedReading>>& older = {});
    // The worker found the sensor gone (false) or answering again (true). A sensor the history
    // does not know is left alone.
    void SetAnswering(const RomCode& rom, bool answering);

    // The most points one series keeps: two days of readings at the given interval.
    void SetInterval(int32_t intervalSeconds);
    size_t Capacity() const;

    // Runs `look` with the series under the lock, sorted by ROM code. Window thread; the
    // worker waits meanwhile, so keep it short.
    void Read(const std::function<void(const std::vector<HistorySeries>&)>& look) const;
    // Changes with every reading added.
    uint64_t Version() const;
    size_t PointCount() const;

  private:
    HistorySeries* SeriesOf(const RomCode& rom);

    mutable std::mutex mutex_;
    int64_t baseMs_;  // set only while no reading is kept
    std::vector<HistorySeries> series_;
    size_t capacity_;
    uint64_t version_ = 0;
};

// Thins the first `count` points of a run as the history does when a series is full: every
// four readings between gaps become their smallest and their largest reading, in the order
// they came; gaps stay where they were.
void ThinHistory(HistoryRun& points, size_t count);

// Thins the series, a round at a time, until it holds fewer than `capacity` points.
void TrimTo(HistorySeries& series, size_t capacity);

// Appends a reading to the series: to its last run, after a gap when it comes much later
// than both `expectedSpacingMs` and the series' usual spacing, or as the start of a new run
// when it is older than the last reading.
void AppendReading(HistorySeries& series, int32_t tenths, float celsius, int64_t expectedSpacingMs);

}  // namespace kv
