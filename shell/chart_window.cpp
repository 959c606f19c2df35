#include "shell/chart_window.h"

#include <atomic>
#include <string>

#include "chart/chart_feed.h"
#include "chart/chart_view.h"
#include "monitor/control_block.h"
#include "monitor/texts.h"
#include "runtime/date_text.h"
#include "runtime/integer_text.h"
#include "runtime/local_zone.h"
#include "shell/texts.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

using namespace kv::ui;

constexpr int RowTop = 4;
constexpr int LabelTop = 8;
constexpr int LabelPadding = 4;
constexpr int RangeListWidth = 110;
constexpr int RowHeight = 22;
constexpr int NoteGap = 16;
constexpr int CanvasTop = 30;
constexpr std::u16string_view NoteSeparator = u".    ";
// Saved charts are named after the log and the moment: DS18B20_Kalorivox_2026-12-07_153012.png
constexpr std::u16string_view SavedImageHead =
    texts::LogFileName.substr(0, texts::LogFileName.rfind(u'.'));
constexpr std::u16string_view SavedImageStamp = u"_%yyyy-%mm-%dd_%hh%ii%ss";
constexpr std::u16string_view SavedImageType = u".png";
constexpr int DefaultRange = 1;  // an hour
constexpr int RefreshDelayMs = 250;

constexpr const char16_t* RangeTexts[ChartRangeCount] = {
    texts::ChartRangeTenMinutes, texts::ChartRangeHour, texts::ChartRangeDay, texts::ChartRangeAll};

bool built = false;
std::atomic<bool> shown{false};
ChartRange range = ChartRange::Hour;
std::u16string savedNote;  // what the last saving of the chart came to

const LocalZone& Zone() {
    static const LocalZone zone;  // window thread only
    return zone;
}

// Worker or loader thread: readings came. The window asks for a paint when it takes the
// event; while it is hidden nothing happens.
void ReadingsArrived() {
    if (shown) PostEvent(ChartRefreshEvent, ChartWindow, 0, 0);
}

void Paint(int, int, int width, int height) {
    ChartState state;
    state.range = range;
    state.nowMs = ChartNowMs();
    state.limitsOn = ControlBlock.ThermoControl != 0;
    state.thermoMin = ControlBlock.ThermoMin;
    state.thermoMax = ControlBlock.ThermoMax;
    state.pointerX = CanvasPointerX(ChartWindow, ChartCanvas);
    state.pointerY = CanvasPointerY(ChartWindow, ChartCanvas);
    DrawChart(ChartHistory(), state, width, height, Zone());
}

std::u16string LoadNote() {
    const ChartLoadState load = ChartLoadProgress();
    if (!load.finished) return texts::ChartLogLoading;
    if (!load.opened) return {};
    return texts::ChartLogLoadedHead + IntegerToText(load.records) + texts::ChartLogSkippedHead +
           IntegerToText(load.skipped);
}

std::u16string NoteText() {
    std::u16string note = LoadNote();
    if (!note.empty() && !savedNote.empty()) note += NoteSeparator;
    return note + savedNote;
}

// The chart as it is shown, into a PNG file beside the program.
void SaveImage() {
    const std::u16string name = std::u16string(SavedImageHead) +
                                DateToText(SavedImageStamp, CurrentDate()) +
                                std::u16string(SavedImageType);
    const bool saved = SaveCanvasImage(ChartWindow, ChartCanvas, name) != 0;
    savedNote = (saved ? texts::ChartSavedHead : texts::ChartSaveFailedHead) + name;
    SetText(ChartWindow, ChartNote, NoteText());
}

// New readings: one paint for all that come within RefreshDelayMs (a pass over the bus),
// not one for each.
void Refresh() {
    const std::u16string note = NoteText();
    if (note != GetText(ChartWindow, ChartNote)) SetText(ChartWindow, ChartNote, note);
    RepaintControl(ChartWindow, ChartCanvas, RefreshDelayMs);
}

void Build() {
    OpenWindow(
        ChartWindow, 0, 0, ChartClientWidth, ChartClientHeight, texts::ChartTitle,
        WindowSystemMenu | WindowMinimiseButton | WindowResizable | WindowCentred | WindowHidden);
    CreateMenuBar(ChartMenu, ChartWindow);
    AddMenuTitle(ChartMenu, texts::MenuFileTitle);
    AddMenuItem(ChartMenu, ChartMenuSave, texts::ChartMenuSaveText);
    const int label =
        CreateLabel(ChartWindow, AutoId, 4, LabelTop, 100, 16, texts::ChartRangeLabel);
    const int labelWidth = RequiredWidth(ChartWindow, label) + LabelPadding;
    ResizeControl(ChartWindow, label, NoChange, NoChange, labelWidth, NoChange);
    CreateDropDownList(ChartWindow, ChartRangeList, 4 + labelWidth, RowTop, RangeListWidth,
                       RowHeight);
    for (const char16_t* text : RangeTexts)
        AddItem(ChartWindow, ChartRangeList, AppendPosition, text);
    SetState(ChartWindow, ChartRangeList, DefaultRange);
    const int noteX = 4 + labelWidth + RangeListWidth + NoteGap;
    // The note may run to the window's right edge; it keeps its width when the window grows.
    CreateLabel(ChartWindow, ChartNote, noteX, LabelTop, ChartClientWidth - noteX, 16, u"");
    // The menu bar took its height from the client area, as in the main window.
    const int clientHeight = WindowHeight(ChartWindow) - MenuBarHeight();
    CreateCanvas(ChartWindow, ChartCanvas, 0, CanvasTop, ChartClientWidth, clientHeight - CanvasTop,
                 CanvasStretch);
    BindPaintHandler(ChartWindow, ChartCanvas, Paint);
    ChartSetNotify(ReadingsArrived);
    built = true;
}

}  // namespace

void ChartWindowReset() {
    ChartSetNotify(nullptr);
    built = false;
    shown = false;
    savedNote.clear();
    range = static_cast<ChartRange>(DefaultRange);
}

void ShowChartWindow() {
    if (!built) Build();
    shown = true;
    Refresh();
    HideWindow(ChartWindow, 0);
}

void HideChartWindow() {
    shown = false;
    if (built) HideWindow(ChartWindow, 1);
}

void DispatchChartEvent(int kind) {
    switch (kind) {
        case CloseEvent:
            HideChartWindow();
            break;
        case ChartRefreshEvent:
            if (shown) Refresh();
            break;
        case MenuEvent:
            if (EventObject() == ChartMenuSave) SaveImage();
            break;
        case ControlEvent:
            if (EventObject() == ChartRangeList && EventType() == Changed) {
                const int chosen = GetState(ChartWindow, ChartRangeList);
                if (chosen >= 0 && chosen < ChartRangeCount)
                    range = static_cast<ChartRange>(chosen);
                RepaintControl(ChartWindow, ChartCanvas);
            } else if (EventObject() == ChartCanvas && EventType() == PointerMoved) {
                RepaintControl(ChartWindow, ChartCanvas);
            }
            break;
        default:
            break;
    }
}

}  // namespace kv
