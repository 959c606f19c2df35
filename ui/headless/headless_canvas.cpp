// The headless canvas: paint handlers draw into a recording, which tests read as drawing
// calls or as pixels.
#include <algorithm>

#include "ui/headless/headless_toolkit.h"

namespace kv::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using Op = HeadlessDrawing::Op;
constexpr int32_t Background = 0xFFFFFF;

class RecordingSurface final : public CanvasSurface {
  public:
    std::vector<HeadlessDrawing> drawn;

    void Fill(int x, int y, int width, int height, int32_t colour) override {
        HeadlessDrawing d;
        d.op = Op::Fill;
        d.x = x, d.y = y, d.width = width, d.height = height, d.colour = colour;
        drawn.push_back(std::move(d));
    }
    void Lines(const CanvasPoint* points, int count, int32_t colour, int penWidth) override {
        HeadlessDrawing d;
        d.op = Op::Lines;
        d.colour = colour;
        d.penWidth = penWidth;
        d.points.assign(points, points + count);
        drawn.push_back(std::move(d));
    }
    void Text(int x, int y, std::u16string_view text, int32_t colour) override {
        HeadlessDrawing d;
        d.op = Op::Text;
        d.x = x, d.y = y, d.colour = colour;
        d.width = TextWidth(text);
        d.height = TextHeight();
        d.text = text;
        drawn.push_back(std::move(d));
    }
    int TextWidth(std::u16string_view text) override { return HeadlessToolkit::TextWidth(text); }
    int TextHeight() override { return HeadlessToolkit::TextPixels; }
    void Clip(int x, int y, int width, int height) override {
        HeadlessDrawing d;
        d.op = Op::Clip;
        d.x = x, d.y = y, d.width = width, d.height = height;
        drawn.push_back(std::move(d));
    }
    void ClipOff() override {
        HeadlessDrawing d;
        d.op = Op::ClipOff;
        drawn.push_back(std::move(d));
    }
};

struct Raster {
    int width, height;
    std::vector<int32_t> pixels;
    int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;  // right and bottom excluded

    Raster(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h), Background) {
        ClipOff();
    }
    void ClipOff() { clipLeft = 0, clipTop = 0, clipRight = width, clipBottom = height; }
    void Clip(int x, int y, int w, int h) {
        clipLeft = std::max(0, x), clipTop = std::max(0, y);
        clipRight = std::min(width, x + w), clipBottom = std::min(height, y + h);
    }
    void Fill(int x, int y, int w, int h, int32_t colour) {
        for (int row = std::max(y, clipTop); row < std::min(y + h, clipBottom); ++row)
            for (int col = std::max(x, clipLeft); col < std::min(x + w, clipRight); ++col)
                pixels[size_t(row) * size_t(width) + size_t(col)] = colour;
    }
    // Bresenham's line, each step a pen-sized square around the point.
    void Line(CanvasPoint a, CanvasPoint b, int pen, int32_t colour) {
        const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
        const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
        int error = dx + dy;
        for (;;) {
            Fill(a.x - (pen - 1) / 2, a.y - (pen - 1) / 2, pen, pen, colour);
            if (a.x == b.x && a.y == b.y) return;
            const int twice = 2 * error;
            if (twice >= dy) error += dy, a.x += sx;
            if (twice <= dx) error += dx, a.y += sy;
        }
    }
};

}  // namespace

bool HeadlessToolkit::CreateCanvas(int window, int control, int x, int y, int width, int height,
                                   unsigned flags) {
    Lock lock(mutex_);
    HeadlessWindow* w = FindWindow(window);
    if (!w) return false;
    HeadlessControl canvas;
    canvas.kind = HeadlessKind::Canvas;
    canvas.x = x, canvas.y = y, canvas.width = std::max(0, width);
    canvas.height = std::max(0, height);
    canvas.flags = flags;
    canvas.rightGap = w->clientWidth - (x + canvas.width);
    canvas.bottomGap = w->clientHeight - (y + canvas.height);
    canvas.repaintPending = true;  // a new canvas is painted when it shows
    return AddControl(window, control, std::move(canvas));
}

// Without a clock of its own, a paint asked for later is pending at once: a test paints when
// it means to.
void HeadlessToolkit::RepaintControl(int window, int control, int) {
    Lock lock(mutex_);
    if (HeadlessControl* c = Find(window, control); c && c->kind == HeadlessKind::Canvas)
        c->repaintPending = true;
}

bool HeadlessToolkit::CanvasPointer(int window, int control, int& x, int& y) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    if (!c || c->kind != HeadlessKind::Canvas || !c->pointerInside) return false;
    x = c->pointerX;
    y = c->pointerY;
    return true;
}

bool HeadlessToolkit::resizeWindow(int window, int clientWidth, int clientHeight) {
    return Act([&] {
        Lock lock(mutex_);
        HeadlessWindow* w = FindWindow(window);
        if (!w || !(w->flags & WindowResizable) || clientWidth < 0 || clientHeight < 0)
            return false;
        Resized(*w, std::max(clientWidth, w->minimumWidth),
                std::max(clientHeight, w->minimumHeight));
        return true;
    });
}

void HeadlessToolkit::Resized(HeadlessWindow& w, int clientWidth, int clientHeightWithMenu) {
    w.clientWidth = clientWidth;
    w.clientHeight = std::max(0, clientHeightWithMenu - (w.menu >= 0 ? MenuBarPixels : 0));
    for (auto& [id, c] : w.controls) {
        if (c.kind != HeadlessKind::Canvas || !(c.flags & CanvasStretch) || c.container >= 0)
            continue;
        c.width = std::max(0, w.clientWidth - c.rightGap - c.x);
        c.height = std::max(0, w.clientHeight - c.bottomGap - c.y);
        c.repaintPending = true;
    }
}

bool HeadlessToolkit::movePointer(int window, int control, int x, int y) {
    return Act([&] {
        {
            Lock lock(mutex_);
            HeadlessControl* c = Find(window, control);
            if (!c || c->kind != HeadlessKind::Canvas) return false;
            if (x < 0 || y < 0 || x >= c->width || y >= c->height) return false;
            c->pointerInside = true;
            c->pointerX = x;
            c->pointerY = y;
        }
        ToolkitEvents().Produce(Event{ControlEvent, window, control, PointerMoved});
        return true;
    });
}

bool HeadlessToolkit::pointerLeaves(int window, int control) {
    return Act([&] {
        {
            Lock lock(mutex_);
            HeadlessControl* c = Find(window, control);
            if (!c || c->kind != HeadlessKind::Canvas || !c->pointerInside) return false;
            c->pointerInside = false;
        }
        ToolkitEvents().Produce(Event{ControlEvent, window, control, PointerMoved});
        return true;
    });
}

std::vector<HeadlessDrawing> HeadlessToolkit::paintCanvas(int window, int control) {
    RecordingSurface surface;
    Act([&] {
        int width = 0, height = 0;
        {
            Lock lock(mutex_);
            HeadlessControl* c = Find(window, control);
            if (!c || c->kind != HeadlessKind::Canvas) return false;
            c->repaintPending = false;
            width = c->width;
            height = c->height;
        }
        // Outside the lock: the handler may call back into the toolkit.
        PaintCanvas(window, control, width, height, surface);
        return true;
    });
    return std::move(surface.drawn);
}

bool HeadlessToolkit::SaveCanvasImage(int window, int control, std::u16string_view path) {
    SavedImage image;
    {
        Lock lock(mutex_);
        const HeadlessControl* c = Find(window, control);
        if (!c || c->kind != HeadlessKind::Canvas || path.empty()) return false;
        image.path = path;
        image.width = c->width;
        image.height = c->height;
    }
    // The handler draws into a recording of its own; a pending paint stays pending.
    RecordingSurface surface;
    PaintCanvas(window, control, image.width, image.height, surface);
    image.drawn = std::move(surface.drawn);
    Lock lock(mutex_);
    images_.push_back(std::move(image));
    return true;
}

std::vector<HeadlessToolkit::SavedImage> HeadlessToolkit::savedImages() const {
    Lock lock(mutex_);
    return images_;
}

int HeadlessToolkit::paintPendingCanvases() {
    std::vector<std::pair<int, int>> pending;
    {
        Lock lock(mutex_);
        for (const auto& [windowId, w] : windows_)
            for (const auto& [controlId, c] : w.controls)
                if (c.kind == HeadlessKind::Canvas && c.repaintPending)
                    pending.emplace_back(windowId, controlId);
    }
    for (const auto& [window, control] : pending) paintCanvas(window, control);
    return static_cast<int>(pending.size());
}

std::vector<int32_t> HeadlessToolkit::renderCanvas(int window, int control, int& width,
                                                   int& height) {
    {
        Lock lock(mutex_);
        const HeadlessControl* c = Find(window, control);
        if (!c || c->kind != HeadlessKind::Canvas) {
            width = height = 0;
            return {};
        }
        width = c->width;
        height = c->height;
    }
    Raster raster(width, height);
    for (const HeadlessDrawing& d : paintCanvas(window, control)) {
        switch (d.op) {
            case Op::Fill:
                raster.Fill(d.x, d.y, d.width, d.height, d.colour);
                break;
            case Op::Lines:
                for (size_t i = 0; i < d.points.size(); ++i)
                    raster.Line(d.points[i], d.points[i + 1 < d.points.size() ? i + 1 : i],
                                d.penWidth, d.colour);
                break;
            case Op::Text:
                for (size_t i = 0; i < d.text.size(); ++i)
                    raster.Fill(d.x + int(i) * CharWidth, d.y, CharWidth - 1, TextPixels, d.colour);
                break;
            case Op::Clip:
                raster.Clip(d.x, d.y, d.width, d.height);
                break;
            case Op::ClipOff:
                raster.ClipOff();
                break;
        }
    }
    return std::move(raster.pixels);
}

}  // namespace kv::ui
