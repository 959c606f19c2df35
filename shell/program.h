// The window thread of the program from start-up to exit: shared state, the window, the
// settings, the worker, the event loop and the ordered shutdown.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

inline constexpr uint32_t WorkerStopLimitMs = 400;

inline constexpr int ProgramStartFailedCode = 1;

// Start-up after the toolkit is installed: termination signals routed to the window, shared
// state reset, `folder` made the current directory, the window built, the settings applied
// and the worker started. What fails is told in a message box. False when the program cannot
// run (the folder cannot be made current, the worker cannot start): everything has then been
// released again, and nothing was written outside the folder.
bool ProgramStart(std::u16string_view folder);

// Bound to Changed of PortSelector: asks the worker to reopen the port and saves.
int OnPortSelected();
// Bound to DroppedDown of PortSelector: lists the ports afresh before the list shows.
int OnPortListOpening();

// Carries out the event WaitEvent just returned. False once it has run Shutdown.
bool DispatchEvent(int kind);

// Waits for events and carries them out until the window is closed or "Выход" is chosen;
// returns after Shutdown.
void MainEventLoop();

// Stops the worker within the time limit, saves, closes the log and releases everything,
// in this order. Afterwards nothing but the process exit remains.
void Shutdown();

// Everything after the toolkit is installed: start-up in the program's folder, the loop,
// the shutdown. Returns the exit code.
int ProgramMain();

}  // namespace kv
