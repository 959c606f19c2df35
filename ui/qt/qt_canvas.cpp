// Qt 6 implementation: the drawing surface, painted with QPainter.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "ui/qt/qt_backend.h"

namespace kv::ui {
namespace {

QColor FromRgb(int32_t colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

// Lines and fills on whole pixels, without smoothing: thin lines stay one pixel wide and
// the drawing is the same on every screen.
class PainterSurface final : public CanvasSurface {
  public:
    explicit PainterSurface(QPainter& painter) : painter_(painter) {
        painter_.setRenderHint(QPainter::Antialiasing, false);
    }
    void Fill(int x, int y, int width, int height, int32_t colour) override {
        painter_.fillRect(x, y, width, height, FromRgb(colour));
    }
    void Lines(const CanvasPoint* points, int count, int32_t colour, int penWidth) override {
        if (count == 1) {
            painter_.fillRect(points[0].x - (penWidth - 1) / 2, points[0].y - (penWidth - 1) / 2,
                              penWidth, penWidth, FromRgb(colour));
            return;
        }
        QPen pen(FromRgb(colour));
        pen.setWidth(1);
        pen.setCapStyle(Qt::SquareCap);
        pen.setJoinStyle(Qt::MiterJoin);
        painter_.setPen(pen);
        corners_.resize(static_cast<size_t>(count));
        // The raster engine draws thin lines many times faster than it outlines a wide pen.
        DrawWideLine(
            points, count, penWidth, scratch_,
            [&](int dx) {
                for (int i = 0; i < count; ++i)
                    corners_[size_t(i)] = QPoint(points[i].x + dx, points[i].y);
                painter_.drawPolyline(corners_.data(), count);
            },
            [&](const CanvasPoint* pairs, int n) {
                lines_.resize(size_t(n / 2));
                for (int i = 0; i + 1 < n; i += 2)
                    lines_[size_t(i / 2)] =
                        QLine(pairs[i].x, pairs[i].y, pairs[i + 1].x, pairs[i + 1].y);
                painter_.drawLines(lines_.data(), n / 2);
            });
    }
    void Text(int x, int y, std::u16string_view text, int32_t colour) override {
        painter_.setPen(FromRgb(colour));
        painter_.drawText(QPoint(x, y + painter_.fontMetrics().ascent()), ToQString(text));
    }
    int TextWidth(std::u16string_view text) override {
        return painter_.fontMetrics().horizontalAdvance(ToQString(text));
    }
    int TextHeight() override { return painter_.fontMetrics().height(); }
    void Clip(int x, int y, int width, int height) override {
        painter_.setClipRect(x, y, width, height);
    }
    void ClipOff() override { painter_.setClipping(false); }

  private:
    QPainter& painter_;
    std::vector<QPoint> corners_;
    std::vector<QLine> lines_;
    std::vector<CanvasPoint> scratch_;
};

}  // namespace

KvCanvas::KvCanvas(QWidget* parent, std::function<void(QPainter&, int, int)> onPaint,
                   std::function<void()> onPointer)
    : QWidget(parent), onPaint_(std::move(onPaint)), onPointer_(std::move(onPointer)) {
    setMouseTracking(true);
    // The handler draws every pixel: Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    waiting_.setSingleShot(true);
    QObject::connect(&waiting_, &QTimer::timeout, this, [this] { update(); });
}

void KvCanvas::repaintAfter(int ms) {
    if (ms <= 0) {
        update();
    } else if (!waiting_.isActive()) {
        waiting_.start(ms);  // a request while it runs is served by the same paint
    }
}

void KvCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    if (onPaint_) onPaint_(painter, width(), height());
}

void KvCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (inside_ && at == pointer_) return;
    inside_ = true;
    pointer_ = at;
    if (onPointer_) onPointer_();
}

void KvCanvas::leaveEvent(QEvent*) {
    if (!inside_) return;
    inside_ = false;
    if (onPointer_) onPointer_();
}

bool QtToolkit::CreateCanvas(int window, int control, int x, int y, int width, int height,
                             unsigned flags) {
    QtWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    auto* canvas = new KvCanvas(
        ParentFor(*w),
        [window, control](QPainter& painter, int width, int height) {
            PainterSurface surface(painter);
            PaintCanvas(window, control, width, height, surface);
        },
        [window, control] {
            ToolkitEvents().Produce(Event{ControlEvent, window, control, PointerMoved});
        });
    AddControl(window, control, QtKind::Canvas, canvas, x, y, width, height);
    QtControl& made = w->controls[control];
    made.stretch = (flags & CanvasStretch) && !w->openContainer;
    made.rightGap = w->clientWidth - (x + std::max(0, width));
    made.bottomGap = w->clientHeight - (y + std::max(0, height));
    return true;
}

void QtToolkit::RepaintControl(int window, int control, int afterMs) {
    if (QtControl* c = Find(window, control); c && c->kind == QtKind::Canvas)
        static_cast<KvCanvas*>(c->widget)->repaintAfter(afterMs);
}

bool QtToolkit::CanvasPointer(int window, int control, int& x, int& y) {
    QtControl* c = Find(window, control);
    if (!c || c->kind != QtKind::Canvas) return false;
    auto* canvas = static_cast<KvCanvas*>(c->widget);
    if (!canvas->pointerInside()) return false;
    x = canvas->pointer().x();
    y = canvas->pointer().y();
    return true;
}

bool QtToolkit::SaveCanvasImage(int window, int control, std::u16string_view path) {
    QtControl* c = Find(window, control);
    if (!c || c->kind != QtKind::Canvas || path.empty()) return false;
    const int width = std::max(1, c->widget->width()), height = std::max(1, c->widget->height());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(c->widget->font());
        PainterSurface surface(painter);
        PaintCanvas(window, control, width, height, surface);
    }
    // Whatever stands at the path goes first (an image of the same name, or a link someone
    // put there, whose target is never written), and the image is made as a new file: one
    // that appeared meanwhile is refused rather than written through.
    const QString name = ToQString(path);
    if (QFileInfo(name).isSymLink() || QFileInfo::exists(name)) QFile::remove(name);
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
    const bool written = image.save(&file, "PNG") && file.flush();
    file.close();
    if (!written) file.remove();
    return written;
}

}  // namespace kv::ui
