// The Kalorivox program on Windows: a window program without a console, on the Win32 toolkit.
#include <windows.h>

#include <cstdio>

#include "shell/close_signals.h"
#include "shell/program.h"
#include "ui/win32/win32_toolkit.h"

namespace {

// Windows may end the process as soon as the session-end message returns, so the program's
// loop takes the close request from inside it, shuts down as on the close button, and the
// process ends right there.
void ShutDownWithTheSession() {
    kv::MainEventLoop();
    std::fflush(nullptr);
    ExitProcess(0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    kv::ui::InstallWin32Toolkit();
    kv::ui::Win32SetSessionEndAction(ShutDownWithTheSession);
    // A close request from outside the window ends the program also while the About box is
    // open.
    kv::CloseSignalsSetExtraAction(kv::ui::DismissMessageBoxForClose);
    const int code = kv::ProgramMain();
    // Everything the program owns was saved and released by the shutdown. A worker that did
    // not stop in time was terminated, so the process ends here without running static
    // destructors under its feet.
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(code));
}
