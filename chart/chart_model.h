// The chart's arithmetic, without a screen: the time and temperature scales, their ticks in
// local time and in nice steps of degrees, the limits band, and the thinning of a run of
// readings to at most two points (its smallest and largest) per pixel column.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "chart/reading_history.h"
#include "monitor/limit_check.h"
#include "runtime/local_zone.h"
#include "ui/toolkit.h"

namespace kv {

// The time ranges the chart offers, newest readings at the right edge.
enum class ChartRange { TenMinutes, Hour, Day, All };
inline constexpr int ChartRangeCount = 4;
int64_t ChartRangeMs(ChartRange range);  // 0 for All

// Instants from startMs to endMs across `width` pixels from `left`.
struct TimeScale {
    int64_t startMs = 0, endMs = 1;
    int left = 0, width = 1;
    int X(int64_t ms) const;
    int64_t Ms(int x) const;
    int64_t FirstMs(int x) const;  // the earliest instant in column x
};

// Degrees from low (at the bottom) to high (at the top) across `height` pixels from `top`.
struct ValueScale {
    double low = 0, high = 1;
    int top = 0, height = 1;
    int Y(double celsius) const;
    double Celsius(int y) const;
};

struct TimeTick {
    int64_t instantMs = 0;
    std::u16string label;  // "14:30", "14:30:15", or the date "07.12" at local midnight
};

// Ticks at whole local steps (seconds to days) no closer than `minimumPixels` on the scale.
// Across a change of summer time they follow the local clock: an hour the clock skips has
// no tick, an hour it repeats has its ticks twice.
std::vector<TimeTick> TimeTicks(const TimeScale& scale, int minimumPixels, const LocalZone& zone);

struct ValueAxis {
    double low = 0, high = 1, step = 1;
    int decimals = 0;  // of the labels
};

// A range in steps of 1, 2 or 5 times a power of ten that holds low..high with ticks no
// closer than `minimumPixels` over `pixels`. A flat range is opened to at least one degree.
ValueAxis NiceValueAxis(double low, double high, int pixels, int minimumPixels);

// A point of a drawn line: its pixel column and its temperature.
struct ChartPoint {
    int x = 0;
    float celsius = 0;
};
using ChartLine = std::vector<ChartPoint>;

// The lines that draw `run` (times from `baseMs`) on the time scale: the readings falling in
// one pixel column become the smallest and the largest of them, in the order they came, so
// every extreme shows and a line has at most two points per column. Readings just outside
// the time range are taken too, so the line reaches the edges. A gap ends a line; a lone
// reading is a line of one point.
void ThinRun(const HistoryRun& run, int64_t baseMs, const TimeScale& time,
             std::vector<ChartLine>& lines);

// The reading of `run` nearest to `instantMs` no further than `withinMs`, or false.
bool ReadingNear(const HistoryRun& run, int64_t baseMs, int64_t instantMs, int64_t withinMs,
                 HistoryPoint& found);

// The colour of the n-th series.
int32_t SeriesColour(size_t index);

}  // namespace kv
