// Win32 implementation: a canvas saved as a PNG file. The canvas paints into a bitmap as on
// the screen; GDI+ (a part of Windows) writes the file.
#include <windows.h>

// After windows.h, whose types they use; GDI+ also needs the COM property types.
#include <objidl.h>

#include <gdiplus.h>

#include <vector>

#include "ui/win32/win32_backend.h"

namespace kv::ui {
namespace {

namespace gp = Gdiplus;

bool PngEncoder(CLSID& found) {
    UINT count = 0, bytes = 0;
    if (gp::DllExports::GdipGetImageEncodersSize(&count, &bytes) != gp::Ok || bytes == 0)
        return false;
    std::vector<unsigned char> space(bytes);
    auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(space.data());
    if (gp::DllExports::GdipGetImageEncoders(count, bytes, codecs) != gp::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            found = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

bool WritePng(HBITMAP bitmap, const std::wstring& path) {
    ULONG_PTR token = 0;
    gp::GdiplusStartupInput input;
    if (gp::GdiplusStartup(&token, &input, nullptr) != gp::Ok) return false;
    bool written = false;
    gp::GpBitmap* image = nullptr;
    CLSID png{};
    if (PngEncoder(png) &&
        gp::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == gp::Ok) {
        written = gp::DllExports::GdipSaveImageToFile(image, path.c_str(), &png, nullptr) == gp::Ok;
        gp::DllExports::GdipDisposeImage(image);
    }
    gp::GdiplusShutdown(token);
    return written;
}

}  // namespace

bool Win32Toolkit::SaveCanvasImage(int window, int control, std::u16string_view path) {
    Win32Control* c = Find(window, control);
    if (!c || c->kind != Win32Kind::Canvas || path.empty()) return false;
    RECT client{};
    GetClientRect(c->hwnd, &client);
    HDC screen = GetDC(c->hwnd);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, std::max<LONG>(1, client.right),
                                            std::max<LONG>(1, client.bottom));
    HGDIOBJ old = SelectObject(memory, bitmap);
    PaintCanvasInto(c->hwnd, memory);
    SelectObject(memory, old);
    const bool written = WritePng(bitmap, win32::Wide(path));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(c->hwnd, screen);
    return written;
}

}  // namespace kv::ui
