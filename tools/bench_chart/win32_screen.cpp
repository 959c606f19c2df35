#include <windows.h>

#include "tools/bench_chart/screen.h"
#include "ui/win32/win32_backend.h"
#include "ui/win32/win32_toolkit.h"

namespace kv::bench {

void InstallScreenToolkit(int&, char**) {
    ui::InstallWin32Toolkit();
}

void PaintNow(int window, int control) {
    ui::Win32Toolkit* toolkit = ui::InstalledWin32Toolkit();
    if (ui::Win32Control* c = toolkit ? toolkit->Find(window, control) : nullptr)
        RedrawWindow(c->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

bool SaveCanvas(int, int, const std::string&) {
    return false;
}

// The process's time: Wine tells no thread's own. The window thread is the one that works
// while the redraws are measured.
double ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10'000;
    };
    return ms(kernel) + ms(user);
}

}  // namespace kv::bench
