#include "chart/reading_history.h"

#include <algorithm>
#include <limits>

#include "runtime/local_zone.h"

namespace kv {
namespace {

constexpr size_t ThinGroup = 4;  // readings that become their minimum and maximum
constexpr int64_t CapacityDays = 2;
constexpr float Gap = std::numeric_limits<float>::quiet_NaN();

// The order the table writes ROM codes in: family, serial number from its most significant
// byte, CRC.
bool ShownBefore(const RomCode& a, const RomCode& b) {
    auto key = [](const RomCode& r) {
        return std::array<uint8_t, RomBytes>{r[0], r[6], r[5], r[4], r[3], r[2], r[1], r[7]};
    };
    return key(a) < key(b);
}

// Appends the smallest and the largest of `run`, in the order they came.
void KeepExtremes(const std::vector<HistoryPoint>& run, std::deque<HistoryPoint>& out) {
    if (run.size() <= 2) {
        out.insert(out.end(), run.begin(), run.end());
        return;
    }
    auto [low, high] = std::minmax_element(
        run.begin(), run.end(),
        [](const HistoryPoint& a, const HistoryPoint& b) { return a.celsius < b.celsius; });
    if (low > high) std::swap(low, high);
    out.push_back(*low);
    out.push_back(*high);
}

std::optional<int32_t> TenthsFrom(int64_t baseMs, int64_t instantMs) {
    if (instantMs < baseMs) return std::nullopt;
    const int64_t tenths = (instantMs - baseMs) / HistoryTenthMs;
    if (tenths > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(tenths);
}

// The log before the last day on the history's time line, mostly below its base; what lies
// too far from the base for its tenths is left out.
HistoryRun OlderRun(int64_t baseMs, const std::vector<LoadedReading>& readings) {
    HistoryRun run;
    for (const LoadedReading& r : readings) {
        const int64_t tenths = FloorDiv(r.instantMs - baseMs, HistoryTenthMs);
        if (tenths < std::numeric_limits<int32_t>::min() ||
            tenths > std::numeric_limits<int32_t>::max())
            continue;
        run.push_back({static_cast<int32_t>(tenths), r.celsius});
    }
    return run;
}

}  // namespace

size_t HistorySeries::PointCount() const {
    size_t count = 0;
    for (const HistoryRun& run : runs) count += run.size();
    return count;
}

void ThinHistory(HistoryRun& points, size_t count) {
    count = std::min(count, points.size());
    HistoryRun thinned;
    std::vector<HistoryPoint> group;
    for (size_t i = 0; i < count; ++i) {
        const HistoryPoint& p = points[i];
        if (p.isGap()) {
            KeepExtremes(group, thinned);
            group.clear();
            thinned.push_back(p);
            continue;
        }
        group.push_back(p);
        if (group.size() == ThinGroup) {
            KeepExtremes(group, thinned);
            group.clear();
        }
    }
    KeepExtremes(group, thinned);
    thinned.insert(thinned.end(), points.begin() + static_cast<std::ptrdiff_t>(count),
                   points.end());
    points.swap(thinned);
}

void AppendReading(HistorySeries& series, int32_t tenths, float celsius,
                   int64_t expectedSpacingMs) {
    if (series.runs.empty() || tenths < series.runs.back().back().tenths) {
        series.runs.emplace_back();
        series.spacingMs = 0;
        series.spacingGuessed = false;
    }
    HistoryRun& run = series.runs.back();
    auto isGap = [](int64_t spacing, int64_t usual) { return spacing > GapLimitMs(usual); };
    if (!run.empty() && !run.back().isGap()) {
        const int64_t spacing = int64_t(tenths - run.back().tenths) * HistoryTenthMs;
        const int64_t usual = std::max(series.spacingMs, expectedSpacingMs);
        if (usual == 0) {
            // Nothing to go by yet (the log does not say its interval).
            series.spacingMs = spacing;
            series.spacingGuessed = true;
        } else if (isGap(spacing, usual)) {
            run.push_back({run.back().tenths, Gap});
            // What comes after the gap tells its own spacing: a longer interval set meanwhile
            // (the log does not say) breaks the line once, not at every reading.
            series.spacingMs = 0;
            series.spacingGuessed = false;
        } else {
            if (series.spacingGuessed && run.size() == 2 && isGap(series.spacingMs, spacing))
                run.insert(run.begin() + 1, {run.front().tenths, Gap});
            series.spacingGuessed = false;
            series.spacingMs = spacing;
        }
    }
    run.push_back({tenths, celsius});
}

ReadingHistory::ReadingHistory(int64_t baseMs)
    : baseMs_(baseMs), capacity_(CapacityDays * HistoryDayMs / 1000) {}

void ReadingHistory::Reset(int64_t baseMs) {
    std::lock_guard lock(mutex_);
    series_.clear();
    baseMs_ = baseMs;
    ++version_;
}

void ReadingHistory::SetInterval(int32_t intervalSeconds) {
    std::lock_guard lock(mutex_);
    capacity_ = std::max<size_t>(MinimumCapacity, size_t(CapacityDays * HistoryDayMs / 1000 /
                                                         std::max<int32_t>(1, intervalSeconds)));
}

size_t ReadingHistory::Capacity() const {
    std::lock_guard lock(mutex_);
    return capacity_;
}

uint64_t ReadingHistory::Version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

size_t ReadingHistory::PointCount() const {
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (const HistorySeries& s : series_) count += s.PointCount();
    return count;
}

void ReadingHistory::Read(
    const std::function<void(const std::vector<HistorySeries>&)>& look) const {
    std::lock_guard lock(mutex_);
    look(series_);
}

HistorySeries* ReadingHistory::SeriesOf(const RomCode& rom) {
    auto at = std::lower_bound(
        series_.begin(), series_.end(), rom,
        [](const HistorySeries& s, const RomCode& r) { return ShownBefore(s.rom, r); });
    if (at != series_.end() && at->rom == rom) return &*at;
    if (series_.size() >= MaximumSeries) return nullptr;
    HistorySeries made;
    made.rom = rom;
    return &*series_.insert(at, std::move(made));
}

void TrimTo(HistorySeries& series, size_t capacity) {
    // Each round leaves about three quarters of what there was.
    for (size_t count = series.PointCount(); count >= capacity && count > ThinGroup;) {
        for (HistoryRun& run : series.runs) ThinHistory(run, run.size() / 2);
        const size_t after = series.PointCount();
        if (after == count) break;  // nothing left to thin (gaps only)
        count = after;
    }
}

void ReadingHistory::Add(const RomCode& rom, int64_t instantMs, float celsius,
                         int64_t expectedSpacingMs) {
    if (std::isnan(celsius)) return;
    std::lock_guard lock(mutex_);
    const std::optional<int32_t> tenths = TenthsFrom(baseMs_, instantMs);
    if (!tenths) return;
    HistorySeries* series = SeriesOf(rom);
    if (!series) return;
    series->lost = false;
    AppendReading(*series, *tenths, celsius, expectedSpacingMs);
    TrimTo(*series, capacity_);
    ++version_;
}

void ReadingHistory::SetAnswering(const RomCode& rom, bool answering) {
    std::lock_guard lock(mutex_);
    for (HistorySeries& series : series_)
        if (series.rom == rom && series.lost == answering) {
            series.lost = !answering;
            ++version_;
        }
}

void ReadingHistory::AddLoaded(const std::map<RomCode, std::vector<LoadedReading>>& loaded,
                               const std::map<RomCode, std::vector<LoadedReading>>& older) {
    int64_t base = 0;
    size_t capacity = 0;
    {
        std::lock_guard lock(mutex_);
        base = baseMs_;
        capacity = capacity_;
    }
    // The log's readings are put in runs outside the lock: the worker adds its readings and
    // the window paints meanwhile.
    std::map<RomCode, HistorySeries> built;
    for (const auto& [rom, readings] : loaded) {
        HistorySeries& series = built[rom];
        series.rom = rom;
        for (const LoadedReading& r : readings) {
            const std::optional<int32_t> tenths = TenthsFrom(base, r.instantMs);
            if (tenths && !std::isnan(r.celsius)) AppendReading(series, *tenths, r.celsius, 0);
        }
        TrimTo(series, capacity);
    }
    for (const auto& [rom, readings] : older) {
        HistorySeries& series = built[rom];
        series.rom = rom;
        series.older = OlderRun(base, readings);
    }
    std::lock_guard lock(mutex_);
    if (baseMs_ != base) return;  // forgotten meanwhile
    for (auto& [rom, rebuilt] : built) {
        HistorySeries* series = SeriesOf(rom);
        if (!series) continue;
        // The readings of this run follow, their gaps as they were found.
        for (HistoryRun& run : series->runs) {
            const HistoryPoint first = run.front();
            if (!rebuilt.runs.empty() && first.tenths >= rebuilt.runs.back().back().tenths) {
                AppendReading(rebuilt, first.tenths, first.celsius, 0);
                rebuilt.runs.back().insert(rebuilt.runs.back().end(), run.begin() + 1, run.end());
            } else {
                rebuilt.runs.push_back(std::move(run));
            }
        }
        if (!series->runs.empty()) rebuilt.spacingMs = series->spacingMs;
        rebuilt.lost = series->lost;
        *series = std::move(rebuilt);
        TrimTo(*series, capacity_);
    }
    ++version_;
}

}  // namespace kv
