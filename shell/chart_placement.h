// Where the chart window goes the first time it is shown: beside the main window where the
// screen has room for it, shrunk to the room if need be but not below its least size; where
// no side has room, where it covers the least of the main window's table and status line.
#pragma once
#include "ui/toolkit.h"

namespace kv {

struct ChartPlacementAsked {
    ui::ScreenRect main;        // the main window's frame
    int keepTop = 0;            // where its table begins on the screen; the status line is below it
    int width = 0, height = 0;  // the chart's frame as it would be
    int leastWidth = 0, leastHeight = 0;  // its frame at its least size
    ui::ScreenRect work;                  // the screen's work area
};

// The chart's frame: inside the work area where it fits. To the right of the main window,
// else to its left, below or above it, level with it where that covers no more, else at the
// work area's edge: of these, the one that covers the least of the table and status line,
// then of the main window, then the largest; on a tie the first.
ui::ScreenRect PlaceChartBesideMain(const ChartPlacementAsked& asked);

}  // namespace kv
