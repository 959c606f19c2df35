#include "shell/program.h"

#include <chrono>

#include "chart/chart_feed.h"
#include "monitor/control_block.h"
#include "monitor/event_log.h"
#include "monitor/monitor_worker.h"
#include "monitor/port_chooser.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "runtime/ini_store.h"
#include "runtime/program_path.h"
#include "runtime/text_file.h"
#include "runtime/threads.h"
#include "serial/serial_port.h"
#include "shell/chart_window.h"
#include "shell/close_signals.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/texts.h"
#include "sim/demo_bus.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

using namespace kv::ui;

int workerThread = 0;

// Posted to the window thread's own queue to find out when everything before it is served.
constexpr int ServeMarkerEvent = -1;
constexpr int ServeMarkerWindow = -1;
constexpr uint32_t WorkerWaitSliceMs = 10;
int serveMarker = 0;

// Carries out the worker's pending calls to the window (and drops the user's events, the
// window being hidden by now).
void ServeWindowCalls() {
    const int marker = ++serveMarker;
    PostEvent(ServeMarkerEvent, ServeMarkerWindow, marker, 0);
    for (;;) {
        const int kind = WaitEvent();
        if (kind == IgnoredEvent) return;  // the toolkit is gone
        if (kind == ServeMarkerEvent && EventWindow() == ServeMarkerWindow &&
            EventObject() == marker) {
            return;
        }
    }
}

// The worker may be blocked in a call to the window when the stop request comes; its calls
// are served while it is waited for, so it reaches its loop end and finishes by itself
// instead of being abandoned in the middle of a window update.
void WaitForWorker() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(WorkerStopLimitMs);
    while (ThreadWait(workerThread, WorkerWaitSliceMs) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) return;
        ServeWindowCalls();
    }
}

// Toggles a check mark; true when it is set now.
bool ToggleMenuItem(int item) {
    const bool checked = GetMenuItemState(MainMenu, item) == Unchecked;
    SetMenuItemState(MainMenu, item, CheckState(checked));
    return checked;
}

void ToggleOption(int item, uint32_t bit) {
    const bool checked = ToggleMenuItem(item);
    uint32_t options = OneWireGetOptions();
    options = checked ? (options | bit) : (options & ~bit);
    OneWireSetOptions(options);
}

// Keeps Min strictly below Max after an arrow step made them meet or cross.
void CorrectMin() {
    const int maxValue = GetState(MainWindow, MaxSpin);
    if (GetState(MainWindow, MinSpin) < maxValue) return;
    const int v = maxValue - 1;
    ShowSpinValue(MinSpin, v);
    ControlBlock.ThermoMin = static_cast<int16_t>(v);
    SaveSettings();
}

void CorrectMax() {
    const int minValue = GetState(MainWindow, MinSpin);
    if (GetState(MainWindow, MaxSpin) > minValue) return;
    const int v = minValue + 1;
    ShowSpinValue(MaxSpin, v);
    ControlBlock.ThermoMax = static_cast<int16_t>(v);
    SaveSettings();
}

// False when the item ends the program.
bool OnMenu(int item) {
    switch (item) {
        case MenuLog:
            ControlBlock.Log = static_cast<uint8_t>(ToggleMenuItem(MenuLog));
            if (ControlBlock.Log == 0) WriteLogStopped();
            SaveSettings();
            return true;
        case MenuExit:
            Shutdown();
            return false;
        case MenuLowCpu:
            ToggleOption(MenuLowCpu, OptLowCpu);
            return true;
        case MenuInvert:
            ToggleOption(MenuInvert, OptInvertPower);
            return true;
        case MenuSeparatePolling:
            ControlBlock.ConvertOnly = static_cast<uint8_t>(ToggleMenuItem(MenuSeparatePolling));
            // The worker marks the polled row in column 0 only in this mode.
            if (ControlBlock.ConvertOnly == 0) {
                SetItemColour(MainWindow, SensorTable, AllRows, ColourBackground, DefaultColour,
                              ColumnType);
            }
            return true;
        case MenuAbout:
            ShowMessageBox(texts::AboutCaption, texts::AboutText);
            return true;
        case MenuChart:
            ShowChartWindow();
            return true;
        default:
            return true;
    }
}

void OnControl(int control, int type) {
    switch (control) {
        case IntervalSpin:
            ControlBlock.Interval = static_cast<uint16_t>(GetState(MainWindow, IntervalSpin));
            SaveSettings();
            break;
        case LimitCheckBox:
            ControlBlock.ThermoControl = GetState(MainWindow, LimitCheckBox) != Unchecked ? 1 : 0;
            SaveSettings();
            break;
        case MinSpin:
            if (type == Changed) {
                ControlBlock.ThermoMin = static_cast<int16_t>(GetState(MainWindow, MinSpin));
                SaveSettings();
            } else if (type == SteppedUp) {
                CorrectMin();
            }
            break;
        case MaxSpin:
            if (type == Changed) {
                ControlBlock.ThermoMax = static_cast<int16_t>(GetState(MainWindow, MaxSpin));
                SaveSettings();
            } else if (type == SteppedDown) {
                CorrectMax();
            }
            break;
        default:
            break;  // PortSelector has its own handler; the frame and the table report nothing we
                    // use
    }
}

}  // namespace

bool ProgramStart(std::u16string_view folder) {
    // First, so that a request to close during start-up is not lost.
    const bool signalsForwarded = CloseSignalsInstall() != 0;
    ThreadTableInit();
    currentPort = PortNone;
    OneWireSetOptions(0);
    ControlBlockReset();
    ChartFeedReset();
    ChartWindowReset();

    if (SetCurrentFolder(folder) == 0) {
        // The settings and the log would be written into whatever folder the program was
        // started from.
        ShowMessageBox(texts::StartFailedCaption, texts::FolderChangeFailed);
        CloseSignalsRelease();
        ToolkitRelease();
        return false;
    }
    // Offered beside the real ports, so the program can be tried without an adapter.
    SimRegisterDemoPort();

    BuildMainWindow();
    BindControlEvent(MainWindow, PortSelector, OnPortSelected, Changed);
    BindControlEvent(MainWindow, PortSelector, OnPortListOpening, DroppedDown);
    LoadSettings();
    workerThread = ThreadStart(MonitorWorker, 0);
    if (workerThread == 0) {
        // A window that never measures would look like a bus without sensors.
        ShowMessageBox(texts::StartFailedCaption, texts::WorkerStartFailed);
        Shutdown();
        return false;
    }
    // The chart's history from the log comes in the background, after the window is up.
    ChartLoadStart(texts::LogFileName);
    // The program works without them; only a close from outside (logout, kill) would end it
    // without saving.
    if (!signalsForwarded) ShowMessageBox(texts::StartFailedCaption, texts::SignalSetupFailed);
    return true;
}

int OnPortSelected() {
    ControlBlock.ReopenPort = 1;
    SaveSettings();
    return 0;
}

int OnPortListOpening() {
    RefreshComPorts(PortSelector);
    return 0;
}

bool DispatchEvent(int kind) {
    if (EventWindow() == ChartWindow) {
        DispatchChartEvent(kind);
        return true;
    }
    if (EventWindow() != MainWindow) return true;
    switch (kind) {
        case MenuEvent:
            return OnMenu(EventObject());
        case ControlEvent:
            OnControl(EventObject(), EventType());
            return true;
        case CloseEvent:
            Shutdown();
            return false;
        case PortFollowedEvent:  // the worker followed the adapter to a new port name
            SaveSettings();
            return true;
        default:
            return true;
    }
}

void MainEventLoop() {
    while (DispatchEvent(WaitEvent())) {
    }
}

void Shutdown() {
    ControlBlock.StopRequested = 1;
    HideWindow(MainWindow, 1);
    HideChartWindow();  // both windows go at once
    SaveSettings();
    WaitForWorker();
    if (ThreadIsRunning(workerThread)) ThreadKill(workerThread);
    if (TextFileIsOpen(LogFileNumber)) TextFileClose(LogFileNumber);
    ChartLoadStop(WorkerStopLimitMs);

    ThreadTableFree();
    workerThread = 0;
    SerialCloseAll();
    IniClose();
    CloseSignalsRelease();
    ToolkitRelease();
    TextFileCloseAll();
}

int ProgramMain() {
    if (!ProgramStart(ProgramFolder())) return ProgramStartFailedCode;
    MainEventLoop();
    return 0;
}

}  // namespace kv
