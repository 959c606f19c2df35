// The temperature chart's window: a second, resizable window beside the main one and owned by
// it, opened from the menu, hidden again by its close button. It shows the readings kept for
// the chart (chart/chart_feed.h) over the range the user picks, follows new readings while it
// is open, and saves what it shows as a PNG file beside the program, with a title line. Its
// size, place and range are kept for the run.
#pragma once
#include <cstdint>

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
// The least size the user can give it (menu bar counted in): a plot with its legend below.
inline constexpr int ChartLeastWidth = 340;
inline constexpr int ChartLeastHeight = 300;
// «График сохранён в …» stays at least this long, then goes with the next change shown.
inline constexpr int64_t ChartSavedNoteMs = 5'000;

// Start-up state: not built, not shown, not placed yet, an hour's range.
void ChartWindowReset();
// Opens the window (built and placed beside the main window the first time, where the user
// left it afterwards) and brings it to the front.
void ShowChartWindow();
// Hides it (its close button; the program's shutdown); new readings no longer repaint it.
void HideChartWindow();
// Carries out an event of ChartWindow.
void DispatchChartEvent(int kind);

}  // namespace kv
