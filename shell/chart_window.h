// The temperature chart's window: a second, resizable window beside the main one, opened
// from the menu, hidden again by its close button. It shows the readings kept for the chart
// (chart/chart_feed.h) over the range the user picks, follows new readings while it is
// open, and saves what it shows as a PNG file beside the program.
#pragma once

namespace kv {

inline constexpr int ChartWindow = 1;
inline constexpr int ChartMenu = 1;
inline constexpr int ChartMenuSave = 0;
// Controls of ChartWindow.
inline constexpr int ChartRangeList = 0;
inline constexpr int ChartNote = 1;
inline constexpr int ChartCanvas = 2;
// Posted to ChartWindow when readings came while it is shown.
inline constexpr int ChartRefreshEvent = 13200;

inline constexpr int ChartClientWidth = 820;
inline constexpr int ChartClientHeight = 480;

// Start-up state: not built, not shown, an hour's range.
void ChartWindowReset();
// Opens the window (built the first time) and brings it to the front.
void ShowChartWindow();
// Hides it (its close button; the program's shutdown); new readings no longer repaint it.
void HideChartWindow();
// Carries out an event of ChartWindow.
void DispatchChartEvent(int kind);

}  // namespace kv
