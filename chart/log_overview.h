// The whole log at a glance, in bounded memory: the log's time is cut into at most
// OverviewColumns stretches of equal length, and each sensor keeps the smallest and the largest
// reading of each stretch with their times. When the readings reach beyond the stretches, two
// neighbours become one of twice the length; the memory stays the same however long the log.
// Where a sensor had no reading for much longer than it used to, its line breaks.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "chart/reading_history.h"
#include "onewire/search.h"

namespace kv {

// Wider than any chart: a stretch is at most a pixel column.
inline constexpr int OverviewColumns = 4096;

class LogOverview {
  public:
    // A reading, in any order of time (the log's clock may have gone back).
    void Add(const RomCode& rom, int64_t instantMs, float celsius);
    // Per sensor, in time order: the smallest and the largest reading of each stretch (one
    // when they are the same), a NaN reading where the line breaks.
    std::map<RomCode, std::vector<LoadedReading>> Readings() const;
    int64_t StretchMs() const { return stretchMs_; }

  private:
    struct Stretch {
        float low = 0, high = 0;
        int32_t lowAt = 0, highAt = 0;  // seconds from the first reading
        bool used = false;
        bool breakBefore = false;  // no line from the stretch before with readings
    };
    struct Sensor {
        std::vector<Stretch> stretches;
        int64_t lastMs = 0;
        int64_t spacingMs = 0;  // 0: nothing to go by yet
        bool any = false;
    };

    // The stretch of `instantMs`, after making room for it.
    int StretchOf(int64_t instantMs);
    void Double();
    void ShiftRight(int by);

    std::map<RomCode, Sensor> sensors_;
    int64_t firstMs_ = 0;  // the first reading's time, which the stretches' times count from
    int64_t startMs_ = 0;  // where the first stretch begins
    int64_t stretchMs_ = 0;
    int used_ = 0;  // stretches from the first up to the last one with readings
};

}  // namespace kv
