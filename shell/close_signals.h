// Termination requests from outside the window (a logout, kill, Ctrl+C in the terminal, the
// terminal closed) end the program the way its close button does: they become a CloseEvent
// of MainWindow, so the settings are saved and the log is closed complete. Signals the
// program was started with ignored stay ignored.
#pragma once

namespace kv {

// Installs the handlers and starts the thread that forwards them; nonzero on success.
// Needs an installed toolkit, since forwarding is a PostEvent.
int CloseSignalsInstall();

// Also run on the forwarding thread after each close request has been posted, so that the
// toolkit can end a modal message box at once instead of holding the request until the user
// dismisses the box. The action must not wait for the window thread to finish other work.
// Set it before CloseSignalsInstall; nullptr for none.
void CloseSignalsSetExtraAction(void (*action)());

// Restores the handlers found at install time and ends the forwarding thread. Call before
// the toolkit is released.
void CloseSignalsRelease();

}  // namespace kv
