// Draws the temperature chart on the canvas being painted: the limits band, the grid and
// its labels, one line per thermometer, the legend with the latest values (beside the plot, or
// below it when the canvas is narrow), and what lies under the pointer.
#pragma once
#include <cstdint>
#include <string>

#include "chart/chart_model.h"
#include "chart/reading_history.h"
#include "runtime/local_zone.h"

namespace kv {

// The limits band's fill.
inline constexpr int32_t ChartBandColour = ui::Rgb(226, 243, 226);
// The text of a sensor that shows no value: gone, or silent for longer than a gap.
inline constexpr int32_t ChartSilentColour = ui::Rgb(150, 150, 150);
// Every line, however dense, is drawn this wide.
inline constexpr int ChartPenWidth = 2;

struct ChartState {
    ChartRange range = ChartRange::Hour;
    int64_t nowMs = 0;  // the right edge (for All: at least this)
    bool limitsOn = false;
    int thermoMin = 0, thermoMax = 0;
    int pointerX = ui::NoPointer, pointerY = ui::NoPointer;
    // How far apart one sensor's readings are meant to be now: a sensor whose latest reading
    // is older than a gap after it shows no value.
    int64_t expectedSpacingMs = 0;
    // A saved picture's title, drawn above the chart and followed there by the time shown and
    // the limits; none on the screen.
    std::u16string title;
};

// What a paint took, for the benchmark.
struct ChartPaintStats {
    size_t lines = 0;
    size_t points = 0;  // corners of the drawn lines
};

// The name the chart gives a sensor in its legend and under the pointer: the user's name for
// it, if the names file gives one, then the ROM code as the table writes it.
std::u16string ChartSensorLabel(const RomCode& rom);
// The limits band's label: what it holds, in the limit check's whole degrees (Мин 20 and
// Макс 22 give «Пределы 20.0…22.9 °C»).
std::u16string ChartLimitsText(int thermoMin, int thermoMax);

// Inside a paint handler: draws the chart of `history` on the whole canvas.
ChartPaintStats DrawChart(const ReadingHistory& history, const ChartState& state, int width,
                          int height, const LocalZone& zone);

}  // namespace kv
