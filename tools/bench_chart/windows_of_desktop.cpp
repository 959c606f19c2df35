// kv_windows_of_desktop: for the chart's screenshots under Wine, where the windows are drawn
// inside one X window (a Wine desktop: wine explorer /desktop=NAME,...) and xdotool cannot
// see them.
//   kv_windows_of_desktop NAME            each visible top-level window of desktop NAME, one a
//                                         line: frame x y width height, client x y, title (UTF-8)
//   kv_windows_of_desktop NAME TITLE W H  gives its window whose title begins with TITLE this
//                                         client size (as the user would, by its border)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

// Seen from another desktop no window counts as visible: its own style says whether it is.
bool Shown(HWND hwnd) {
    return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

struct Search {
    std::wstring title;
    HWND found = nullptr;
};

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.resize(std::strlen(bytes.c_str()));
    return bytes;
}

BOOL CALLBACK Print(HWND hwnd, LPARAM) {
    wchar_t title[256] = {};
    if (!Shown(hwnd) || GetWindowTextW(hwnd, title, 256) == 0) return TRUE;
    RECT frame{};
    GetWindowRect(hwnd, &frame);
    POINT client{0, 0};
    ClientToScreen(hwnd, &client);
    std::printf("%ld %ld %ld %ld %ld %ld %s\n", frame.left, frame.top, frame.right - frame.left,
                frame.bottom - frame.top, client.x, client.y, Utf8(title).c_str());
    return TRUE;
}

BOOL CALLBACK Find(HWND hwnd, LPARAM search) {
    auto* s = reinterpret_cast<Search*>(search);
    wchar_t title[256] = {};
    if (Shown(hwnd) && GetWindowTextW(hwnd, title, 256) > 0 &&
        std::wcsncmp(title, s->title.c_str(), s->title.size()) == 0) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HDESK desktop = OpenDesktopW(argv[1], 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE);
    if (!desktop) return 1;
    if (argc < 5) {
        EnumDesktopWindows(desktop, Print, 0);
        CloseDesktop(desktop);
        return 0;
    }
    Search search{argv[2]};
    EnumDesktopWindows(desktop, Find, reinterpret_cast<LPARAM>(&search));
    CloseDesktop(desktop);
    if (!search.found) return 1;
    RECT frame{}, client{};
    GetWindowRect(search.found, &frame);
    GetClientRect(search.found, &client);
    const int width = std::wcstol(argv[3], nullptr, 10) + (frame.right - frame.left) - client.right;
    const int height =
        std::wcstol(argv[4], nullptr, 10) + (frame.bottom - frame.top) - client.bottom;
    SetWindowPos(search.found, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}
