// Acting as the user on a Win32 canvas and its window: the messages the mouse and the sizing
// border send, and the canvas painted into a bitmap to look at.
#include "ui/win32/win32_backend.h"
#include "ui/win32/win32_toolkit.h"

namespace kv::ui::win32_user {
namespace {

Win32Control* Canvas(int window, int control) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    Win32Control* c = toolkit ? toolkit->Find(window, control) : nullptr;
    return c && c->kind == Win32Kind::Canvas ? c : nullptr;
}

}  // namespace

bool ResizeWindow(int window, int clientWidth, int clientHeight) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    Win32Window* w = toolkit ? toolkit->FindTop(window) : nullptr;
    if (!w || !(w->style & WS_THICKFRAME)) return false;
    RECT outer{0, 0, toolkit->Scaled(clientWidth), toolkit->Scaled(clientHeight)};
    // The client height given counts the menu bar, as WindowHeight does.
    AdjustWindowRectEx(&outer, w->style, FALSE, WS_EX_CONTROLPARENT);
    SetWindowPos(w->hwnd, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ProcessPendingMessages();
    return true;
}

int WindowOwner(int window) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    Win32Window* w = toolkit ? toolkit->FindTop(window) : nullptr;
    HWND owner = w ? GetWindow(w->hwnd, GW_OWNER) : nullptr;
    return owner ? toolkit->WindowOf(owner) : NoOwner;
}

bool MovePointer(int window, int control, int x, int y) {
    Win32Control* c = Canvas(window, control);
    if (!c) return false;
    RECT client{};
    GetClientRect(c->hwnd, &client);
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) return false;
    // The cursor is put there too, or the leave tracking would find it elsewhere at once.
    POINT screen{x, y};
    ClientToScreen(c->hwnd, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(c->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    return true;
}

bool PointerLeaves(int window, int control) {
    Win32Control* c = Canvas(window, control);
    if (!c || !c->pointerInside) return false;
    SendMessageW(c->hwnd, WM_MOUSELEAVE, 0, 0);
    return true;
}

std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height) {
    Win32Control* c = Canvas(window, control);
    width = height = 0;
    if (!c) return {};
    RECT client{};
    GetClientRect(c->hwnd, &client);
    width = client.right;
    height = client.bottom;
    if (width <= 0 || height <= 0) return {};
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<int32_t> pixels;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        SendMessageW(c->hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
        GdiFlush();
        const auto* row = static_cast<const uint32_t*>(bits);
        pixels.reserve(size_t(width) * size_t(height));
        // The bitmap holds 0x00RRGGBB; colours here are 0x00BBGGRR.
        for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
            const uint32_t p = row[i];
            pixels.push_back(
                static_cast<int32_t>(((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF)));
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    if (pixels.empty()) width = height = 0;
    return pixels;
}

}  // namespace kv::ui::win32_user
