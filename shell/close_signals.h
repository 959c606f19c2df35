// Termination requests from outside the window (a logout, kill, Ctrl+C in the terminal, the
// terminal closed) end the program the way its close button does: they become a CloseEvent
// of MainWindow, so the settings are saved and the log is closed complete. Signals the
// program was started with ignored stay ignored.
#pragma once

namespace kv {

// Installs the handlers and starts the thread that forwards them; nonzero on success.
// Needs an installed toolkit, since forwarding is a PostEvent.
int CloseSignalsInstall();

// Restores the handlers found at install time and ends the forwarding thread. Call before
// the toolkit is released.
void CloseSignalsRelease();

}  // namespace kv
