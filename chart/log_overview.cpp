#include "chart/log_overview.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "runtime/local_zone.h"

namespace kv {
namespace {

constexpr int64_t FirstStretchMs = 1'000;
constexpr int64_t MsPerSecond = 1'000;
constexpr float Break = std::numeric_limits<float>::quiet_NaN();

}  // namespace

void LogOverview::Add(const RomCode& rom, int64_t instantMs, float celsius) {
    if (std::isnan(celsius)) return;
    if (stretchMs_ == 0) {
        firstMs_ = startMs_ = instantMs;
        stretchMs_ = FirstStretchMs;
    }
    auto known = sensors_.find(rom);
    if (known == sensors_.end()) {
        if (sensors_.size() >= MaximumSeries) return;
        known = sensors_.emplace(rom, Sensor{}).first;
        known->second.stretches.resize(OverviewColumns);
    }
    const int at = StretchOf(instantMs);
    Sensor& sensor = known->second;
    Stretch& stretch = sensor.stretches[size_t(at)];
    // As the history judges gaps; after one, the next spacing is taken as the usual one, so
    // that a longer interval set meanwhile breaks the line once, not at every reading.
    if (sensor.any) {
        const int64_t spacing = instantMs - sensor.lastMs;
        if (spacing < 0 || (sensor.spacingMs > 0 && spacing > GapLimitMs(sensor.spacingMs))) {
            if (!stretch.used) stretch.breakBefore = true;
            sensor.spacingMs = 0;
        } else if (spacing > 0) {
            sensor.spacingMs = spacing;
        }
    }
    sensor.any = true;
    sensor.lastMs = instantMs;
    const auto seconds = static_cast<int32_t>(std::clamp<int64_t>(
        FloorDiv(instantMs - firstMs_, MsPerSecond), std::numeric_limits<int32_t>::min(),
        std::numeric_limits<int32_t>::max()));
    if (!stretch.used) {
        stretch.used = true;
        stretch.low = stretch.high = celsius;
        stretch.lowAt = stretch.highAt = seconds;
    } else if (celsius < stretch.low) {
        stretch.low = celsius;
        stretch.lowAt = seconds;
    } else if (celsius > stretch.high) {
        stretch.high = celsius;
        stretch.highAt = seconds;
    }
}

int LogOverview::StretchOf(int64_t instantMs) {
    for (;;) {
        const int64_t at = FloorDiv(instantMs - startMs_, stretchMs_);
        if (at >= 0 && at < OverviewColumns) {
            used_ = std::max(used_, int(at) + 1);
            return int(at);
        }
        if (at < 0 && int64_t(used_) - at <= OverviewColumns)
            ShiftRight(int(-at));
        else
            Double();
    }
}

void LogOverview::Double() {
    for (auto& [rom, sensor] : sensors_) {
        std::vector<Stretch>& s = sensor.stretches;
        for (int i = 0; i < OverviewColumns / 2; ++i) {
            const Stretch& a = s[size_t(2 * i)];
            const Stretch& b = s[size_t(2 * i + 1)];
            Stretch joined = a.used ? a : b;
            if (a.used && b.used) {
                if (b.low < joined.low) joined.low = b.low, joined.lowAt = b.lowAt;
                if (b.high > joined.high) joined.high = b.high, joined.highAt = b.highAt;
            }
            s[size_t(i)] = joined;
        }
        std::fill(s.begin() + OverviewColumns / 2, s.end(), Stretch{});
    }
    stretchMs_ *= 2;
    used_ = (used_ + 1) / 2;
}

void LogOverview::ShiftRight(int by) {
    for (auto& [rom, sensor] : sensors_) {
        std::vector<Stretch>& s = sensor.stretches;
        std::move_backward(s.begin(), s.begin() + used_, s.begin() + used_ + by);
        std::fill(s.begin(), s.begin() + by, Stretch{});
    }
    startMs_ -= int64_t(by) * stretchMs_;
    used_ += by;
}

std::map<RomCode, std::vector<LoadedReading>> LogOverview::Readings() const {
    std::map<RomCode, std::vector<LoadedReading>> readings;
    for (const auto& [rom, sensor] : sensors_) {
        std::vector<LoadedReading>& out = readings[rom];
        for (int i = 0; i < used_; ++i) {
            const Stretch& s = sensor.stretches[size_t(i)];
            if (!s.used) continue;
            const int64_t lowMs = firstMs_ + int64_t(s.lowAt) * MsPerSecond;
            const int64_t highMs = firstMs_ + int64_t(s.highAt) * MsPerSecond;
            if (s.breakBefore && !out.empty()) out.push_back({std::min(lowMs, highMs), Break});
            if (s.low == s.high) {
                out.push_back({lowMs, s.low});
            } else if (s.lowAt <= s.highAt) {
                out.push_back({lowMs, s.low});
                out.push_back({highMs, s.high});
            } else {
                out.push_back({highMs, s.high});
                out.push_back({lowMs, s.low});
            }
        }
    }
    return readings;
}

}  // namespace kv
