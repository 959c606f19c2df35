#include "shell/main_window.h"

#include "monitor/port_chooser.h"
#include "monitor/sensor_names.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "monitor/window_names.h"
#include "onewire/rom_code_text.h"
#include "runtime/integer_text.h"
#include "runtime/utf.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

using namespace kv::ui;

// Created wide, then shrunk to the text: the next control starts where this one ends.
constexpr int LabelPadding = 4;
constexpr int CheckBoxPadding = 2;
constexpr int PortGap = 10;       // between PortSelector and the interval label
constexpr int CheckBoxGap = 16;   // between IntervalSpin and the check box
constexpr int MaxLabelGap = 10;   // between MinSpin and the "Max" label
constexpr int FramePadding = 10;  // right of MaxSpin inside the frame
constexpr int TableTop = 32;      // below the frame (2 + 28) with a 2-pixel gap
constexpr int InitialTableHeight = 304;

constexpr int ColumnTypeWidth = 80;
constexpr int ColumnSerialWidth = 150;
constexpr int ColumnPowerWidth = 100;
constexpr int ColumnTemperatureWidth = 100;
constexpr int ColumnStatusWidth = 120;

int RightEdge(int control) {
    return ControlX(MainWindow, control) + ControlWidth(MainWindow, control);
}

void ShrinkToText(int control, int padding) {
    ResizeControl(MainWindow, control, NoChange, NoChange,
                  RequiredWidth(MainWindow, control) + padding, NoChange);
}

int CreateFittedLabel(int x, int y, int width, std::u16string_view text) {
    const int id = CreateLabel(MainWindow, AutoId, x, y, width, 16, text);
    ShrinkToText(id, LabelPadding);
    return id;
}

void BuildMenu() {
    CreateMenuBar(MainMenu, MainWindow);
    AddMenuTitle(MainMenu, texts::MenuFileTitle);
    AddMenuItem(MainMenu, MenuLog, texts::MenuLogText);
    AddMenuItem(MainMenu, MenuChart, texts::MenuChartText);
    AddMenuSeparator(MainMenu);
    AddMenuItem(MainMenu, MenuExit, texts::MenuExitText);
    AddMenuTitle(MainMenu, texts::MenuModeTitle);
    AddMenuItem(MainMenu, MenuLowCpu, texts::MenuLowCpuText);
    AddMenuItem(MainMenu, MenuInvert, texts::MenuInvertText);
    AddMenuItem(MainMenu, MenuSeparatePolling, texts::MenuSeparatePollingText);
    AddMenuTitle(MainMenu, texts::MenuHelpTitle);
    AddMenuItem(MainMenu, MenuAbout, texts::MenuAboutText);
}

void BuildSettingsRow(const SettingsRowTexts& captions) {
    const int portLabel = CreateFittedLabel(4, 8, 100, captions.port);
    CreateDropDownList(MainWindow, PortSelector, RightEdge(portLabel), 4, 100, 22);
    ListComPorts(PortSelector);

    const int intervalLabel =
        CreateFittedLabel(RightEdge(PortSelector) + PortGap, 8, 350, captions.interval);
    CreateSpinBox(MainWindow, IntervalSpin, RightEdge(intervalLabel), 4, 50, 22, IntervalMinimum,
                  IntervalMaximum, SpinReadOnlyText | SpinNumeric);
    SetToolTip(MainWindow, IntervalSpin, texts::IntervalTip);

    CreateCheckBox(MainWindow, LimitCheckBox, RightEdge(IntervalSpin) + CheckBoxGap, 8, 100, 16,
                   captions.limitCheck);
    ShrinkToText(LimitCheckBox, CheckBoxPadding);

    CreateContainer(MainWindow, LimitFrame, RightEdge(LimitCheckBox), 2, 200, 28, EdgeThinSunken);
    const int minLabel = CreateFittedLabel(4, 7, 350, captions.min);
    CreateSpinBox(MainWindow, MinSpin, RightEdge(minLabel), 2, 50, 22, LimitMinimum, LimitMaximum,
                  SpinReadOnlyText | SpinNumeric);
    SetToolTip(MainWindow, MinSpin, texts::MinTip);
    const int maxLabel = CreateFittedLabel(RightEdge(MinSpin) + MaxLabelGap, 7, 350, captions.max);
    CreateSpinBox(MainWindow, MaxSpin, RightEdge(maxLabel), 2, 50, 22, LimitMinimum, LimitMaximum,
                  SpinReadOnlyText | SpinNumeric);
    SetToolTip(MainWindow, MaxSpin, texts::MaxTip);
    CloseContainer(MainWindow);

    ResizeControl(MainWindow, LimitFrame, NoChange, NoChange, RightEdge(MaxSpin) + FramePadding,
                  NoChange);
}

// The ROM cell's tooltip: the sensor's name from the names file, when it has one.
std::u16string SerialCellTip(int, int, int, int column, std::u16string_view text) {
    if (column != ColumnSerial) return {};
    const auto rom = ParseRomCodeText(Utf8FromUtf16(text.substr(0, RomTextLength)));
    return rom ? WindowSensorName(*rom) : std::u16string();
}

void BuildTableAndStatus() {
    CreateTable(MainWindow, SensorTable, TableMargin, TableTop,
                WindowWidth(MainWindow) - 2 * TableMargin, InitialTableHeight,
                texts::ColumnTypeHeading, ColumnTypeWidth,
                TableSingleSelection | TableShowSelectionAlways | TableFullRowSelect |
                    TableGridLines | TableLabelTips | TableDoubleBuffer | TableSunkenEdge);
    AddTableColumn(MainWindow, SensorTable, ColumnSerial, texts::ColumnSerialHeading,
                   ColumnSerialWidth);
    AddTableColumn(MainWindow, SensorTable, ColumnPower, texts::ColumnPowerHeading,
                   ColumnPowerWidth);
    AddTableColumn(MainWindow, SensorTable, ColumnTemperature, texts::ColumnTemperatureHeading,
                   ColumnTemperatureWidth);
    AddTableColumn(MainWindow, SensorTable, ColumnStatus, texts::ColumnStatusHeading,
                   ColumnStatusWidth);
    BindCellTipHandler(MainWindow, SensorTable, SerialCellTip);

    CreateStatusBar(StatusLine, MainWindow);
    AddStatusField(StatusLine, FillWidth);

    // WindowHeight counts the menu bar; the table's coordinates start below it.
    const int clientHeight = WindowHeight(MainWindow) - MenuBarHeight();
    ResizeControl(MainWindow, SensorTable, NoChange, NoChange, NoChange,
                  clientHeight - StatusBarHeight(StatusLine) - TableTop - TableMargin);
}

}  // namespace

void BuildMainWindow() {
    BuildMainWindow(SettingsRowTexts{});
}

void BuildMainWindow(const SettingsRowTexts& captions) {
    OpenWindow(MainWindow, 0, 0, InitialClientWidth, InitialClientHeight, texts::WindowTitle,
               WindowSystemMenu | WindowMinimiseButton | WindowCentred | WindowHidden);
    BuildMenu();
    BuildSettingsRow(captions);
    ResizeWindow(MainWindow, RightEdge(LimitFrame) + TableMargin);
    BuildTableAndStatus();
    HideWindow(MainWindow, 0);
}

void ShowSpinValue(int control, int value) {
    SetState(MainWindow, control, value);
    SetText(MainWindow, control, IntegerToText(value));
}

}  // namespace kv
