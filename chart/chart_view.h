// Draws the temperature chart on the canvas being painted: the limits band, the grid and
// its labels, one line per thermometer, the legend with the latest values, and what lies
// under the pointer.
#pragma once
#include <cstdint>

#include "chart/chart_model.h"
#include "chart/reading_history.h"
#include "runtime/local_zone.h"

namespace kv {

// The limits band's fill.
inline constexpr int32_t ChartBandColour = ui::Rgb(226, 243, 226);

struct ChartState {
    ChartRange range = ChartRange::Hour;
    int64_t nowMs = 0;  // the right edge (for All: at least this)
    bool limitsOn = false;
    int thermoMin = 0, thermoMax = 0;
    int pointerX = ui::NoPointer, pointerY = ui::NoPointer;
};

// What a paint took, for the benchmark.
struct ChartPaintStats {
    size_t lines = 0;
    size_t points = 0;  // corners of the drawn lines
};

// Inside a paint handler: draws the chart of `history` on the whole canvas.
ChartPaintStats DrawChart(const ReadingHistory& history, const ChartState& state, int width,
                          int height, const LocalZone& zone);

}  // namespace kv
