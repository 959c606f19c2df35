#include "shell/chart_window.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "chart/chart_feed.h"
#include "chart/chart_view.h"
#include "monitor/control_block.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "runtime/clock.h"
#include "runtime/date_text.h"
#include "runtime/integer_text.h"
#include "runtime/local_zone.h"
#include "shell/chart_placement.h"
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
// The main window's table is kept in view from a little above where it begins.
constexpr int TableMargin = 8;
constexpr std::u16string_view NoteSeparator = u".    ";
constexpr std::u16string_view TitleRangeLead = u". ";
constexpr std::u16string_view TitleRangeGap = u" ";
// Saved charts are named after the log and the moment: DS18B20_Kalorivox_2026-12-07_153012.png
constexpr std::u16string_view SavedImageHead =
    texts::LogFileName.substr(0, texts::LogFileName.rfind(u'.'));
constexpr std::u16string_view SavedImageStamp = u"_%yyyy-%mm-%dd_%hh%ii%ss";
constexpr std::u16string_view SavedImageType = u".png";
constexpr int DefaultRange = 1;  // an hour
constexpr int RefreshDelayMs = 250;

constexpr const char16_t* RangeTexts[ChartRangeCount] = {
    texts::ChartRangeTenMinutes, texts::ChartRangeHour, texts::ChartRangeDay, texts::ChartRangeAll};

// Where the window was when it was last hidden: its frame's corner and its client size.
struct Placement {
    bool known = false;
    int x = 0, y = 0, width = 0, height = 0;
};

bool built = false;
std::atomic<bool> shown{false};
ChartRange range = ChartRange::Hour;
Placement placement;
bool saving = false;       // the paint under way goes into a picture
std::u16string savedNote;  // what the last saving of the chart came to
int64_t savedAtMs = 0;

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
    state.expectedSpacingMs = ChartExpectedSpacingMs();
    if (saving) {
        state.title = std::u16string(texts::ChartTitle) + std::u16string(TitleRangeLead) +
                      texts::ChartRangeLabel + std::u16string(TitleRangeGap) +
                      RangeTexts[static_cast<int>(range)];
    } else {
        state.pointerX = CanvasPointerX(ChartWindow, ChartCanvas);
        state.pointerY = CanvasPointerY(ChartWindow, ChartCanvas);
    }
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

void ShowNote() {
    const std::u16string note = NoteText();
    if (note != GetText(ChartWindow, ChartNote)) SetText(ChartWindow, ChartNote, note);
}

// Something the chart shows changed: the saving's note goes once it has been read.
void NoteChange() {
    if (!savedNote.empty() && MillisecondClock() - savedAtMs >= ChartSavedNoteMs) savedNote.clear();
}

// The chart as it is shown, with its title line, into a PNG file beside the program.
void SaveImage() {
    const std::u16string name = std::u16string(SavedImageHead) +
                                DateToText(SavedImageStamp, CurrentDate()) +
                                std::u16string(SavedImageType);
    saving = true;
    const bool saved = SaveCanvasImage(ChartWindow, ChartCanvas, name) != 0;
    saving = false;
    savedNote = (saved ? texts::ChartSavedHead : texts::ChartSaveFailedHead) + name;
    savedAtMs = MillisecondClock();
    ShowNote();
}

// New readings: one paint for all that come within RefreshDelayMs (a pass over the bus),
// not one for each.
void Refresh() {
    NoteChange();
    ShowNote();
    RepaintControl(ChartWindow, ChartCanvas, RefreshDelayMs);
}

// The first time: beside the main window; afterwards where the user left it, on the screen.
void Place() {
    const ScreenRect work = ScreenWorkArea(MainWindow);
    if (placement.known) {
        const int x =
            std::clamp(placement.x, work.x, std::max(work.x, work.Right() - placement.width));
        const int y =
            std::clamp(placement.y, work.y, std::max(work.y, work.Bottom() - placement.height));
        PlaceWindow(ChartWindow, x, y, placement.width, placement.height);
        return;
    }
    const ScreenRect main = WindowFrame(MainWindow);
    const ScreenRect chart = WindowFrame(ChartWindow);
    const int frameWidth = chart.width - WindowWidth(ChartWindow);
    const int frameHeight = chart.height - WindowHeight(ChartWindow);
    // The main window's frame less its client area is its title bar and borders.
    const int mainClientTop = main.y + main.height - WindowHeight(MainWindow) + MenuBarHeight();
    ChartPlacementAsked asked;
    asked.main = main;
    asked.keepTop = mainClientTop + ControlY(MainWindow, SensorTable) - TableMargin;
    asked.width = chart.width;
    asked.height = chart.height;
    asked.leastWidth = ChartLeastWidth + frameWidth;
    asked.leastHeight = ChartLeastHeight + frameHeight;
    asked.work = work;
    const ScreenRect at = PlaceChartBesideMain(asked);
    PlaceWindow(ChartWindow, at.x, at.y, at.width - frameWidth, at.height - frameHeight);
}

void Remember() {
    const ScreenRect frame = WindowFrame(ChartWindow);
    placement =
        Placement{true, frame.x, frame.y, WindowWidth(ChartWindow), WindowHeight(ChartWindow)};
}

void Build() {
    OpenWindow(ChartWindow, 0, 0, ChartClientWidth, ChartClientHeight, texts::ChartTitle,
               WindowSystemMenu | WindowMinimiseButton | WindowResizable | WindowHidden);
    SetWindowOwner(ChartWindow, MainWindow);
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
    SetState(ChartWindow, ChartRangeList, static_cast<int>(range));
    const int noteX = 4 + labelWidth + RangeListWidth + NoteGap;
    // The note may run to the window's right edge; it keeps its width when the window grows.
    CreateLabel(ChartWindow, ChartNote, noteX, LabelTop, ChartClientWidth - noteX, 16, u"");
    // The menu bar took its height from the client area, as in the main window.
    const int clientHeight = WindowHeight(ChartWindow) - MenuBarHeight();
    CreateCanvas(ChartWindow, ChartCanvas, 0, CanvasTop, ChartClientWidth, clientHeight - CanvasTop,
                 CanvasStretch);
    BindPaintHandler(ChartWindow, ChartCanvas, Paint);
    SetMinimumWindowSize(ChartWindow, ChartLeastWidth, ChartLeastHeight);
    ChartSetNotify(ReadingsArrived);
    built = true;
}

}  // namespace

void ChartWindowReset() {
    ChartSetNotify(nullptr);
    built = false;
    shown = false;
    placement = Placement{};
    saving = false;
    savedNote.clear();
    range = static_cast<ChartRange>(DefaultRange);
}

void ShowChartWindow() {
    if (!built) Build();
    if (!shown) Place();
    shown = true;
    Refresh();
    HideWindow(ChartWindow, 0);
}

void HideChartWindow() {
    if (built && shown) Remember();
    shown = false;
    savedNote.clear();
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
                NoteChange();
                ShowNote();
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
