// Acting as the user on the Qt toolkit: each action goes through the same widget call a
// mouse click or key press ends in, so the events come from Qt's own signals.
#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QWindow>

#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_toolkit.h"

namespace kv::ui::qt_user {
namespace {

template <class Widget>
Widget* Control(int window, int control, QtKind kind) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtControl* c = toolkit ? toolkit->Find(window, control) : nullptr;
    return c && c->kind == kind ? static_cast<Widget*>(c->widget) : nullptr;
}

}  // namespace

bool ChooseEntry(int window, int control, int index) {
    auto* list = Control<QComboBox>(window, control, QtKind::DropDownList);
    if (!list || index < 0 || index >= list->count()) return false;
    // What the popup does when an entry is clicked: select it, then report the choice.
    list->setCurrentIndex(index);
    emit list->activated(index);
    return true;
}

bool OpenDropDown(int window, int control) {
    auto* list = Control<QComboBox>(window, control, QtKind::DropDownList);
    if (!list) return false;
    list->showPopup();
    list->hidePopup();
    return true;
}

bool StepSpinBox(int window, int control, int delta) {
    auto* spin = Control<KvSpinBox>(window, control, QtKind::SpinBox);
    if (!spin || delta == 0) return false;
    spin->stepBy(delta);
    return true;
}

bool ClickCheckBox(int window, int control) {
    auto* box = Control<QCheckBox>(window, control, QtKind::CheckBox);
    if (!box) return false;
    box->click();
    return true;
}

bool ChooseMenuItem(int menu, int item) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtMenu* m = toolkit ? toolkit->FindMenu(menu) : nullptr;
    if (!m || !m->items.count(item)) return false;
    m->items[item]->trigger();
    return true;
}

bool PressCloseButton(int window) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtWindow* w = toolkit ? toolkit->FindWindow(window) : nullptr;
    if (!w) return false;
    w->top->close();
    return true;
}

bool ResizeWindow(int window, int clientWidth, int clientHeight) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtWindow* w = toolkit ? toolkit->FindWindow(window) : nullptr;
    if (!w || !w->resizable) return false;
    w->top->resize(clientWidth, clientHeight);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return true;
}

int WindowOwner(int window) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtWindow* w = toolkit ? toolkit->FindWindow(window) : nullptr;
    QWindow* handle = w ? w->top->windowHandle() : nullptr;
    QWindow* owner = handle ? handle->transientParent() : nullptr;
    return owner ? toolkit->WindowOf(owner) : NoOwner;
}

bool MovePointer(int window, int control, int x, int y) {
    auto* canvas = Control<KvCanvas>(window, control, QtKind::Canvas);
    if (!canvas || x < 0 || y < 0 || x >= canvas->width() || y >= canvas->height()) return false;
    const QPointF local(x, y);
    QMouseEvent move(QEvent::MouseMove, local, canvas->mapToGlobal(local), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &move);
    return true;
}

bool PointerLeaves(int window, int control) {
    auto* canvas = Control<KvCanvas>(window, control, QtKind::Canvas);
    if (!canvas || !canvas->pointerInside()) return false;
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(canvas, &leave);
    return true;
}

std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height) {
    auto* canvas = Control<KvCanvas>(window, control, QtKind::Canvas);
    width = height = 0;
    if (!canvas) return {};
    const QImage image = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    width = image.width();
    height = image.height();
    std::vector<int32_t> pixels;
    pixels.reserve(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb rgb = image.pixel(x, y);
            pixels.push_back(qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16));
        }
    return pixels;
}

bool SelectTableRow(int window, int control, int row) {
    auto* table = Control<KvTable>(window, control, QtKind::Table);
    if (!table || row < 0 || row >= table->rowCount()) return false;
    table->selectRow(row);
    return true;
}

std::u16string CellText(int window, int control, int row, int column) {
    auto* table = Control<KvTable>(window, control, QtKind::Table);
    QTableWidgetItem* cell = table ? table->item(row, column) : nullptr;
    return cell ? FromQString(cell->text()) : std::u16string();
}

int32_t CellColour(int window, int control, int row, int column) {
    auto* table = Control<KvTable>(window, control, QtKind::Table);
    return table ? QtCellColour(*table, row, column) : DefaultColour;
}

std::u16string StatusText(int bar, int field) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtStatusBar* b = toolkit ? toolkit->FindBar(bar) : nullptr;
    if (!b || field < 0 || field >= static_cast<int>(b->fields.size())) return {};
    return FromQString(b->fields[field]->text());
}

bool WindowVisible(int window) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtWindow* w = toolkit ? toolkit->FindWindow(window) : nullptr;
    return w && w->top->isVisible();
}

void OnNextMessageBox(std::function<void()> whileOpen) {
    if (QtToolkit* toolkit = InstalledQtToolkit()) toolkit->nextBoxAction = std::move(whileOpen);
}

void KeepNextMessageBoxOpen() {
    if (QtToolkit* toolkit = InstalledQtToolkit()) toolkit->keepNextBoxOpen = true;
}

void DismissMessageBox() {
    if (QtToolkit* toolkit = InstalledQtToolkit()) toolkit->DismissMessageBox();
}

bool SaveWindowImage(int window, const std::string& path) {
    QtToolkit* toolkit = InstalledQtToolkit();
    QtWindow* w = toolkit ? toolkit->FindWindow(window) : nullptr;
    if (!w) return false;
    return w->top->grab().save(QString::fromStdString(path), "PNG");
}

bool SaveDialogImage(const std::string& path) {
    QWidget* dialog = QApplication::activeModalWidget();
    return dialog && dialog->grab().save(QString::fromStdString(path), "PNG");
}

void ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace kv::ui::qt_user
