// The drawing calls of a paint handler: they go to the surface of the canvas being painted,
// which only exists on the window thread while its handler runs.
#include "ui/toolkit.h"
#include "ui/toolkit_backend.h"

namespace kv::ui {
namespace {

CanvasSurface* painting = nullptr;  // window thread only

CanvasSurface* Surface() {
    return ToolkitEvents().OnWindowThread() ? painting : nullptr;
}

}  // namespace

void PaintCanvas(int window, int control, int width, int height, CanvasSurface& surface) {
    const PaintHandler handler = ToolkitEvents().PaintHandlerOf(window, control);
    if (!handler) return;
    CanvasSurface* outer = painting;
    painting = &surface;
    {
        // What the handler changes in the window is the program's own doing.
        EventCore::SuppressScope quiet;
        handler(window, control, width, height);
    }
    painting = outer;
}

void CanvasFill(int x, int y, int width, int height, int32_t colour) {
    if (CanvasSurface* s = Surface(); s && width > 0 && height > 0)
        s->Fill(x, y, width, height, colour & 0xFFFFFF);
}

void CanvasLines(const CanvasPoint* points, int count, int32_t colour, int penWidth) {
    if (CanvasSurface* s = Surface(); s && points && count > 0)
        s->Lines(points, count, colour & 0xFFFFFF, penWidth < 1 ? 1 : penWidth);
}

void CanvasText(int x, int y, std::u16string_view text, int32_t colour) {
    if (CanvasSurface* s = Surface(); s && !text.empty()) s->Text(x, y, text, colour & 0xFFFFFF);
}

int CanvasTextWidth(std::u16string_view text) {
    CanvasSurface* s = Surface();
    return s && !text.empty() ? s->TextWidth(text) : 0;
}

int CanvasTextHeight() {
    CanvasSurface* s = Surface();
    return s ? s->TextHeight() : 0;
}

void CanvasClip(int x, int y, int width, int height) {
    if (CanvasSurface* s = Surface()) s->Clip(x, y, width < 0 ? 0 : width, height < 0 ? 0 : height);
}

void CanvasClipOff() {
    if (CanvasSurface* s = Surface()) s->ClipOff();
}

}  // namespace kv::ui
