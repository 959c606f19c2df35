#include "tools/ui_sample/sample_window.h"

#include "runtime/utf.h"
#include "ui/toolkit.h"

namespace kv::sample {
namespace {

using namespace kv::ui;

int RightEdge(int control) {
    return ControlX(SampleWindow, control) + ControlWidth(SampleWindow, control);
}

// Creates a label at x and shrinks it to its text; returns its right edge.
int Label(int x, int y, const char* text) {
    const int id = CreateLabel(SampleWindow, AutoId, x, y, 350, 16, U16(text));
    ResizeControl(SampleWindow, id, NoChange, NoChange, RequiredWidth(SampleWindow, id) + 4,
                  NoChange);
    return RightEdge(id);
}

}  // namespace

void BuildSampleWindow() {
    OpenWindow(SampleWindow, 0, 0, 590, 400, U16("Kalorivox — образец элементов"),
               WindowSystemMenu | WindowMinimiseButton | WindowCentred | WindowHidden);
    CreateMenuBar(SampleMenu, SampleWindow);
    AddMenuTitle(SampleMenu, U16("Файл"));
    AddMenuItem(SampleMenu, ItemLog, U16("Записывать в лог-файл"));
    AddMenuSeparator(SampleMenu);
    AddMenuItem(SampleMenu, ItemExit, U16("Выход"));
    AddMenuTitle(SampleMenu, U16("Режим"));
    AddMenuItem(SampleMenu, ItemLowCpu, U16("Снизить нагрузку на CPU"));
    AddMenuTitle(SampleMenu, U16("Справка"));
    AddMenuItem(SampleMenu, ItemAbout, U16("О программе"));

    int x = Label(4, 8, "Порт:");
    CreateDropDownList(SampleWindow, PortList, x, 4, 100, 22);
    for (const char* port : {"COM1", "COM3", "DEMO"})
        AddItem(SampleWindow, PortList, AppendPosition, U16(port));
    x = Label(RightEdge(PortList) + 10, 8, "Интервал опроса:");
    CreateSpinBox(SampleWindow, IntervalSpin, x, 4, 50, 22, 1, 60, SpinReadOnlyText | SpinNumeric);
    SetToolTip(SampleWindow, IntervalSpin, U16("Интервал в секундах опроса датчиков"));
    CreateCheckBox(SampleWindow, LimitBox, RightEdge(IntervalSpin) + 16, 8, 100, 16,
                   U16("Термо контроль"));
    ResizeControl(SampleWindow, LimitBox, NoChange, NoChange,
                  RequiredWidth(SampleWindow, LimitBox) + 2, NoChange);
    CreateContainer(SampleWindow, LimitFrame, RightEdge(LimitBox), 2, 200, 28, EdgeThinSunken);
    x = Label(4, 7, "Мин:");
    CreateSpinBox(SampleWindow, MinSpin, x, 2, 50, 22, -55, 125, SpinReadOnlyText | SpinNumeric);
    x = Label(RightEdge(MinSpin) + 10, 7, "Макс:");
    CreateSpinBox(SampleWindow, MaxSpin, x, 2, 50, 22, -55, 125, SpinReadOnlyText | SpinNumeric);
    CloseContainer(SampleWindow);
    ResizeControl(SampleWindow, LimitFrame, NoChange, NoChange, RightEdge(MaxSpin) + 10, NoChange);
    ResizeWindow(SampleWindow, RightEdge(LimitFrame) + 2);

    const int width = WindowWidth(SampleWindow);
    CreateTable(SampleWindow, Table, 2, 32, width - 4, 304, U16("Тип"), 80,
                TableSingleSelection | TableShowSelectionAlways | TableFullRowSelect |
                    TableGridLines | TableLabelTips | TableDoubleBuffer | TableSunkenEdge);
    AddTableColumn(SampleWindow, Table, 1, U16("Серийный номер"), 150);
    AddTableColumn(SampleWindow, Table, 2, U16("Подключение"), 100);
    AddTableColumn(SampleWindow, Table, 3, U16("Температура"), 100);
    AddTableColumn(SampleWindow, Table, 4, U16("Статус"), 120);
    CreateStatusBar(SampleStatus, SampleWindow);
    AddStatusField(SampleStatus, FillWidth);
    const int clientHeight = WindowHeight(SampleWindow) - MenuBarHeight();
    ResizeControl(SampleWindow, Table, NoChange, NoChange, NoChange,
                  clientHeight - StatusBarHeight(SampleStatus) - 32 - 2);
    HideWindow(SampleWindow, 0);
}

void FillSampleData() {
    SetState(SampleWindow, IntervalSpin, 5);
    SetState(SampleWindow, MinSpin, 10);
    SetState(SampleWindow, MaxSpin, 30);
    SetState(SampleWindow, LimitBox, Checked);
    SetText(SampleWindow, PortList, U16("demo"));
    SetMenuItemState(SampleMenu, ItemLowCpu, Checked);
    const char* rows[] = {
        "DS18B20\n28-00000A1B2C3D\nВнешнее\n21.5 °C\nOK",
        "DS18B20\n28-00000A1B2C4E\nПаразитное\n35.2 °C\nOK",
        "DS18S20\n10-000801D2E3F4\nВнешнее\n-3.0 °C\nOK",
        "DS18B20\n28-00000A1B2C5F (ошибка CRC)\nВнешнее\n\nОшибка CRC",
        "DS18B20\n28-00000A1B2C60\nВнешнее\n85.0 °C\nНет ответа от устройства",
    };
    for (const char* row : rows) AddItem(SampleWindow, Table, AppendPosition, U16(row));
    SetItemColour(SampleWindow, Table, 1, ColourBackground, Rgb(255, 200, 200), 3);
    SetItemColour(SampleWindow, Table, 2, ColourBackground, Rgb(200, 220, 255), 3);
    SetItemColour(SampleWindow, Table, 3, ColourBackground, Rgb(255, 255, 160), AllColumns);
    SetItemColour(SampleWindow, Table, 4, ColourBackground, Rgb(255, 255, 160), 4);
    SetItemColour(SampleWindow, Table, 0, ColourBackground, Rgb(200, 255, 200), 0);
    SetStatusText(SampleStatus, 0, U16("Найдено 5 устройств; неисправных 2, вне пределов 2"));
}

void WriteReading(int row, int tenths) {
    const int whole = tenths / 10, part = (tenths < 0 ? -tenths : tenths) % 10;
    const std::string sign = (tenths < 0 && whole == 0) ? "-" : "";
    SetItemText(SampleWindow, Table, row,
                U16(sign + std::to_string(whole) + "." + std::to_string(part) + " °C"), 3);
}

}  // namespace kv::sample
