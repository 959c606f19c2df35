// Win32 implementation: the drawing surface, a child window painted with GDI through a
// memory bitmap, so that a paint never shows half drawn.
#include <algorithm>
#include <vector>

#include "ui/win32/win32_backend.h"

namespace kv::ui {
namespace {

constexpr UINT_PTR RepaintTimer = 1;  // a canvas's timer for a paint asked for later

LRESULT CALLBACK CanvasProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Win32Toolkit* toolkit = InstalledWin32Toolkit())
        return toolkit->OnCanvasMessage(hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterCanvasClass() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    WNDCLASSW canvas{};
    canvas.lpfnWndProc = CanvasProc;
    canvas.hInstance = GetModuleHandleW(nullptr);
    canvas.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    canvas.lpszClassName = win32::CanvasClass;
    RegisterClassW(&canvas);
}

class GdiSurface final : public CanvasSurface {
  public:
    GdiSurface(HDC dc, HFONT font) : dc_(dc) {
        oldFont_ = SelectObject(dc_, font);
        SetBkMode(dc_, TRANSPARENT);
        SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
        oldBrush_ = SelectObject(dc_, GetStockObject(DC_BRUSH));
    }
    ~GdiSurface() override {
        SelectClipRgn(dc_, nullptr);
        SelectObject(dc_, oldBrush_);
        SelectObject(dc_, oldFont_);
    }
    void Fill(int x, int y, int width, int height, int32_t colour) override {
        SetDCBrushColor(dc_, static_cast<COLORREF>(colour));
        const RECT area{x, y, x + width, y + height};
        FillRect(dc_, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
    void Lines(const CanvasPoint* points, int count, int32_t colour, int penWidth) override {
        if (count == 1) {
            Fill(points[0].x - (penWidth - 1) / 2, points[0].y - (penWidth - 1) / 2, penWidth,
                 penWidth, colour);
            return;
        }
        corners_.resize(static_cast<size_t>(count));
        // GDI's cosmetic pen, drawn pixel by pixel, is far cheaper than outlining a geometric
        // one.
        HPEN pen = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(colour));
        HGDIOBJ old = SelectObject(dc_, pen);
        DrawWideLine(
            points, count, penWidth, scratch_,
            [&](int dx) {
                for (int i = 0; i < count; ++i)
                    corners_[size_t(i)] = POINT{points[i].x + dx, points[i].y};
                Polyline(dc_, corners_.data(), count);
                // GDI leaves out a line's last pixel; every other toolkit draws it.
                const POINT last = corners_.back();
                SetPixelV(dc_, last.x, last.y, static_cast<COLORREF>(colour));
            },
            [&](const CanvasPoint* pairs, int n) {
                pairs_.resize(size_t(n));
                for (int i = 0; i < n; ++i) pairs_[size_t(i)] = POINT{pairs[i].x, pairs[i].y};
                twos_.assign(size_t(n / 2), 2);
                PolyPolyline(dc_, pairs_.data(), twos_.data(), static_cast<DWORD>(n / 2));
            });
        SelectObject(dc_, old);
        DeleteObject(pen);
    }
    void Text(int x, int y, std::u16string_view text, int32_t colour) override {
        SetTextColor(dc_, static_cast<COLORREF>(colour));
        const std::wstring wide = win32::Wide(text);
        TextOutW(dc_, x, y, wide.c_str(), static_cast<int>(wide.size()));
    }
    int TextWidth(std::u16string_view text) override {
        const std::wstring wide = win32::Wide(text);
        SIZE size{};
        GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
        return size.cx;
    }
    int TextHeight() override {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        return metrics.tmHeight;
    }
    void Clip(int x, int y, int width, int height) override {
        SelectClipRgn(dc_, nullptr);
        IntersectClipRect(dc_, x, y, x + width, y + height);
    }
    void ClipOff() override { SelectClipRgn(dc_, nullptr); }

  private:
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
    std::vector<POINT> corners_;
    std::vector<POINT> pairs_;
    std::vector<DWORD> twos_;
    std::vector<CanvasPoint> scratch_;
};

}  // namespace

bool Win32Toolkit::CreateCanvas(int window, int control, int x, int y, int width, int height,
                                unsigned flags) {
    Win32Window* w = FindTop(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    RegisterCanvasClass();
    Win32Control made = NewControl(Win32Kind::Canvas, x, y, width, height);
    made.hwnd =
        NewChild(*w, win32::CanvasClass, u"", WS_CLIPSIBLINGS, 0, win32::ControlIdBase + control);
    made.stretch = (flags & CanvasStretch) && !w->openContainer;
    RECT client{};
    GetClientRect(w->hwnd, &client);
    made.rightGap = Unscaled(client.right) - (made.x + made.width);
    made.bottomGap = Unscaled(client.bottom) - (made.y + made.height);
    return AddControl(window, control, std::move(made));
}

void Win32Toolkit::FollowWindowSize(int window) {
    Win32Window* w = FindTop(window);
    if (!w) return;
    RECT client{};
    GetClientRect(w->hwnd, &client);
    // Minimised, the client area is empty: the canvases keep their size for the restore.
    if (client.right == 0 && client.bottom == 0) return;
    for (auto& [id, c] : w->controls) {
        if (c.kind != Win32Kind::Canvas || !c.stretch) continue;
        c.width = std::max(0, Unscaled(client.right) - c.rightGap - c.x);
        c.height = std::max(0, Unscaled(client.bottom) - c.bottomGap - c.y);
        Place(c);
    }
}

void Win32Toolkit::RepaintControl(int window, int control, int afterMs) {
    Win32Control* c = Find(window, control);
    if (!c || c->kind != Win32Kind::Canvas) return;
    if (afterMs == 0) {
        InvalidateRect(c->hwnd, nullptr, FALSE);
    } else if (!c->repaintWaiting) {
        // A request while the timer runs is served by the same paint; SetTimer again would
        // start it anew, and readings coming faster than it would never be shown.
        c->repaintWaiting =
            SetTimer(c->hwnd, RepaintTimer, static_cast<UINT>(afterMs), nullptr) != 0;
        if (!c->repaintWaiting) InvalidateRect(c->hwnd, nullptr, FALSE);
    }
}

bool Win32Toolkit::CanvasPointer(int window, int control, int& x, int& y) {
    Win32Control* c = Find(window, control);
    if (!c || c->kind != Win32Kind::Canvas || !c->pointerInside) return false;
    x = c->pointerX;
    y = c->pointerY;
    return true;
}

void Win32Toolkit::PaintCanvasInto(HWND hwnd, HDC dc) {
    const int window = WindowOf(GetAncestor(hwnd, GA_ROOT));
    Win32Window* w = FindTop(window);
    if (!w) return;
    auto found = w->byHandle.find(hwnd);
    if (found == w->byHandle.end()) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    GdiSurface surface(dc, font_);
    PaintCanvas(window, found->second, client.right, client.bottom, surface);
}

LRESULT Win32Toolkit::OnCanvasMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const int window = WindowOf(GetAncestor(hwnd, GA_ROOT));
    int control = -1;
    if (Win32Window* w = FindTop(window))
        if (auto found = w->byHandle.find(hwnd); found != w->byHandle.end())
            control = found->second;
    Win32Control* c = control >= 0 ? Find(window, control) : nullptr;
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC screen = BeginPaint(hwnd, &paint);
            RECT client{};
            GetClientRect(hwnd, &client);
            HDC memory = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, std::max(1, int(client.right)),
                                                    std::max(1, int(client.bottom)));
            HGDIOBJ old = SelectObject(memory, bitmap);
            PaintCanvasInto(hwnd, memory);
            BitBlt(screen, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_TIMER:
            if (wParam != RepaintTimer) break;
            KillTimer(hwnd, RepaintTimer);
            if (c) c->repaintWaiting = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_PRINTCLIENT:
            PaintCanvasInto(hwnd, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_MOUSEMOVE: {
            if (!c) break;
            const int x = static_cast<short>(LOWORD(lParam));
            const int y = static_cast<short>(HIWORD(lParam));
            if (c->pointerInside && x == c->pointerX && y == c->pointerY) return 0;
            if (!c->pointerInside) {
                // Asks for WM_MOUSELEAVE once the pointer goes.
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
                TrackMouseEvent(&track);
            }
            c->pointerInside = true;
            c->pointerX = x;
            c->pointerY = y;
            ToolkitEvents().Produce(Event{ControlEvent, window, control, PointerMoved});
            return 0;
        }
        case WM_MOUSELEAVE:
            if (!c || !c->pointerInside) return 0;
            c->pointerInside = false;
            ToolkitEvents().Produce(Event{ControlEvent, window, control, PointerMoved});
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace kv::ui
