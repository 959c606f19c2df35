#include "shell/chart_window.h"

#include <atomic>
#include <string>

#include "monitor/chart_feed.h"
#include "monitor/chart_view.h"
#include "monitor/control_block.h"
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
constexpr int NoteWidth = 480;
constexpr int CanvasTop = 30;
constexpr int DefaultRange = 1;  // an hour

constexpr const char16_t* RangeTexts[ChartRangeCount] = {
    texts::ChartRangeTenMinutes, texts::ChartRangeHour, texts::ChartRangeDay, texts::ChartRangeAll};

bool built = false;
std::atomic<bool> shown{false};
ChartRange range = ChartRange::Hour;

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

std::u16string NoteText() {
    const ChartLoadState load = ChartLoadProgress();
    if (!load.finished) return texts::ChartLogLoading;
    if (!load.opened) return {};
    return texts::ChartLogLoadedHead + IntegerToText(load.records) + texts::ChartLogSkippedHead +
           IntegerToText(load.skipped);
}

void Refresh() {
    SetText(ChartWindow, ChartNote, NoteText());
    RepaintControl(ChartWindow, ChartCanvas);
}

void Build() {
    OpenWindow(
        ChartWindow, 0, 0, ChartClientWidth, ChartClientHeight, texts::ChartTitle,
        WindowSystemMenu | WindowMinimiseButton | WindowResizable | WindowCentred | WindowHidden);
    const int label =
        CreateLabel(ChartWindow, AutoId, 4, LabelTop, 100, 16, texts::ChartRangeLabel);
    const int labelWidth = RequiredWidth(ChartWindow, label) + LabelPadding;
    ResizeControl(ChartWindow, label, NoChange, NoChange, labelWidth, NoChange);
    CreateDropDownList(ChartWindow, ChartRangeList, 4 + labelWidth, RowTop, RangeListWidth,
                       RowHeight);
    for (const char16_t* text : RangeTexts)
        AddItem(ChartWindow, ChartRangeList, AppendPosition, text);
    SetState(ChartWindow, ChartRangeList, DefaultRange);
    CreateLabel(ChartWindow, ChartNote, 4 + labelWidth + RangeListWidth + NoteGap, LabelTop,
                NoteWidth, 16, u"");
    CreateCanvas(ChartWindow, ChartCanvas, 0, CanvasTop, ChartClientWidth,
                 ChartClientHeight - CanvasTop, CanvasStretch);
    BindPaintHandler(ChartWindow, ChartCanvas, Paint);
    ChartSetNotify(ReadingsArrived);
    built = true;
}

}  // namespace

void ChartWindowReset() {
    ChartSetNotify(nullptr);
    built = false;
    shown = false;
    range = static_cast<ChartRange>(DefaultRange);
}

void ShowChartWindow() {
    if (!built) Build();
    shown = true;
    Refresh();
    HideWindow(ChartWindow, 0);
}

bool ChartWindowShown() {
    return shown;
}

void DispatchChartEvent(int kind) {
    switch (kind) {
        case CloseEvent:
            shown = false;
            HideWindow(ChartWindow, 1);
            break;
        case ChartRefreshEvent:
            if (shown) Refresh();
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
