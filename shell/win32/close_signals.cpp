// On Windows the requests to end from outside the window arrive as console events, when the
// program has a console: Ctrl+C, Ctrl+Break, the console window closed, the user logging
// off, the system shutting down. The system runs the handler on a thread of its own, which
// forwards the request as a CloseEvent of MainWindow. For the last three the system ends the
// process as soon as the handler returns, so the handler waits (within the few seconds the
// system grants) until the shutdown has released the signals, that is, until the settings
// are saved and the log is closed. Without a console, the end of the session reaches the
// program through the window toolkit instead.
#include <windows.h>

#include <atomic>

#include "monitor/window_ids.h"
#include "shell/close_signals.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

// The system kills a process that has not answered a close, logoff or shutdown in 5 s.
constexpr DWORD EndGraceMs = 4500;

std::atomic<void (*)()> extraAction{nullptr};
std::atomic<bool> installed{false};
// Set once the shutdown is through; made once and kept for the life of the process, since a
// handler may still be waiting on it while the process ends.
HANDLE releasedEvent = nullptr;

bool EndsTheProcess(DWORD type) {
    return type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return FALSE;
    }
    if (!installed.load()) return FALSE;
    ui::PostEvent(ui::CloseEvent, MainWindow, 0, 0);
    if (auto action = extraAction.load()) action();
    if (EndsTheProcess(type) && releasedEvent != nullptr) {
        WaitForSingleObject(releasedEvent, EndGraceMs);
    }
    return TRUE;
}

}  // namespace

void CloseSignalsSetExtraAction(void (*action)()) {
    extraAction = action;
}

int CloseSignalsInstall() {
    if (installed.load()) return 1;
    if (releasedEvent == nullptr) {
        releasedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (releasedEvent == nullptr) return 0;
    }
    ResetEvent(releasedEvent);
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) return 0;
    installed = true;
    return 1;
}

void CloseSignalsRelease() {
    if (!installed.exchange(false)) return;
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    SetEvent(releasedEvent);
}

}  // namespace kv
