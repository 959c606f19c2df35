// The toolkit's free functions: one place for the rules every implementation shares.
// - Calls from a thread other than the window thread are carried out on the window thread
//   (EventCore::RunOnWindowThread) and return once they took effect.
// - No call of the program produces an event: every call runs inside a SuppressScope, so a
//   platform signal raised by a programmatic change never reaches handlers or the queue.
// - Operations that only make sense on the window thread (WaitEvent, the event record,
//   message boxes, handler binding, release) do nothing elsewhere.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "ui/toolkit.h"
#include "ui/toolkit_backend.h"

namespace kv::ui {
namespace {

// Identifiers the layer chooses start here, well above those a program picks by hand.
constexpr int FirstAutoId = 1000;

// Never destroyed: a worker abandoned at shutdown may still return through the toolkit while
// the process runs its exit handlers.
EventCore& Core() {
    static EventCore* core = new EventCore;
    return *core;
}

std::unique_ptr<ToolkitBackend>& Slot() {
    static auto* backend = new std::unique_ptr<ToolkitBackend>;
    return *backend;
}

template <class F>
auto Marshal(F call) -> std::invoke_result_t<F&, ToolkitBackend&> {
    using R = std::invoke_result_t<F&, ToolkitBackend&>;
    ToolkitBackend* backend = Slot().get();
    if (!backend) return R();
    EventCore& core = Core();
    if (core.OnWindowThread() || core.DirectCalls()) {
        EventCore::SuppressScope quiet;
        return call(*backend);
    }
    if constexpr (std::is_void_v<R>) {
        core.RunOnWindowThread([call, backend]() mutable {
            EventCore::SuppressScope quiet;
            call(*backend);
        });
    } else {
        auto result = std::make_shared<R>();
        core.RunOnWindowThread([call, backend, result]() mutable {
            EventCore::SuppressScope quiet;
            *result = call(*backend);
        });
        return *result;
    }
}

bool OnWindowThreadWithToolkit() {
    return Slot() && Core().OnWindowThread();
}

int PickControlId(ToolkitBackend& backend, int window, int control) {
    if (control != AutoId) return control;
    int id = FirstAutoId;
    while (backend.ControlExists(window, id)) ++id;
    return id;
}

}  // namespace

EventCore& ToolkitEvents() {
    return Core();
}

ToolkitBackend* InstalledToolkitBackend() {
    return Slot().get();
}

void InstallToolkitBackend(std::unique_ptr<ToolkitBackend> backend) {
    Core().Release();
    Slot().reset();
    ToolkitBackend* raw = backend.get();
    Core().Reset([raw] { raw->Wake(); });
    Slot() = std::move(backend);
}

void ToolkitRelease() {
    if (!OnWindowThreadWithToolkit()) return;
    // Workers blocked on a call must not wait for a window thread that will never serve them.
    Core().Release();
    EventCore::SuppressScope quiet;
    Slot()->DestroyAll();
}

int OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
               std::u16string_view title, unsigned flags) {
    return Marshal([=, title = std::u16string(title)](ToolkitBackend& b) {
        return b.OpenWindow(window, x, y, clientWidth, clientHeight, title, flags);
    });
}

void HideWindow(int window, int hide) {
    Marshal([=](ToolkitBackend& b) { b.HideWindow(window, hide != 0); });
}

void ResizeWindow(int window, int clientWidth) {
    Marshal([=](ToolkitBackend& b) { b.ResizeWindow(window, clientWidth); });
}

int WindowWidth(int window) {
    return Marshal([=](ToolkitBackend& b) { return b.WindowWidth(window); });
}

int WindowHeight(int window) {
    return Marshal([=](ToolkitBackend& b) { return b.WindowHeight(window); });
}

int MenuBarHeight() {
    return Marshal([](ToolkitBackend& b) { return b.MenuBarHeight(); });
}

int CreateMenuBar(int menu, int window) {
    return Marshal([=](ToolkitBackend& b) { return b.CreateMenuBar(menu, window); });
}

void AddMenuTitle(int menu, std::u16string_view title) {
    Marshal([=, title = std::u16string(title)](ToolkitBackend& b) { b.AddMenuTitle(menu, title); });
}

void AddMenuItem(int menu, int item, std::u16string_view text) {
    Marshal(
        [=, text = std::u16string(text)](ToolkitBackend& b) { b.AddMenuItem(menu, item, text); });
}

void AddMenuSeparator(int menu) {
    Marshal([=](ToolkitBackend& b) { b.AddMenuSeparator(menu); });
}

int GetMenuItemState(int menu, int item) {
    return Marshal([=](ToolkitBackend& b) { return b.GetMenuItemState(menu, item); });
}

void SetMenuItemState(int menu, int item, int state) {
    Marshal([=](ToolkitBackend& b) { b.SetMenuItemState(menu, item, state != Unchecked); });
}

ScreenRect WindowFrame(int window) {
    return Marshal([=](ToolkitBackend& b) { return b.WindowFrame(window); });
}

ScreenRect ScreenWorkArea(int window) {
    return Marshal([=](ToolkitBackend& b) { return b.ScreenWorkArea(window); });
}

void PlaceWindow(int window, int x, int y, int clientWidth, int clientHeight) {
    Marshal([=](ToolkitBackend& b) {
        if (clientWidth >= 0 && clientHeight >= 0)
            b.PlaceWindow(window, x, y, clientWidth, clientHeight);
    });
}

void SetMinimumWindowSize(int window, int clientWidth, int clientHeight) {
    Marshal([=](ToolkitBackend& b) {
        b.SetMinimumWindowSize(window, std::max(0, clientWidth), std::max(0, clientHeight));
    });
}

void SetWindowOwner(int window, int owner) {
    Marshal([=](ToolkitBackend& b) {
        if (owner == window || !b.WindowExists(window)) return;
        if (owner != NoOwner && !b.WindowExists(owner)) return;
        b.SetWindowOwner(window, owner);
    });
}

int CreateLabel(int window, int control, int x, int y, int width, int height,
                std::u16string_view text) {
    return Marshal([=, text = std::u16string(text)](ToolkitBackend& b) {
        const int id = PickControlId(b, window, control);
        return b.CreateLabel(window, id, x, y, width, height, text) ? id : -1;
    });
}

int CreateDropDownList(int window, int control, int x, int y, int width, int height) {
    return Marshal([=](ToolkitBackend& b) {
        const int id = PickControlId(b, window, control);
        return b.CreateDropDownList(window, id, x, y, width, height) ? id : -1;
    });
}

int CreateSpinBox(int window, int control, int x, int y, int width, int height, int minimum,
                  int maximum, unsigned flags) {
    return Marshal([=](ToolkitBackend& b) {
        const int id = PickControlId(b, window, control);
        const int low = minimum <= maximum ? minimum : maximum;
        const int high = minimum <= maximum ? maximum : minimum;
        return b.CreateSpinBox(window, id, x, y, width, height, low, high, flags) ? id : -1;
    });
}

int CreateCheckBox(int window, int control, int x, int y, int width, int height,
                   std::u16string_view caption) {
    return Marshal([=, caption = std::u16string(caption)](ToolkitBackend& b) {
        const int id = PickControlId(b, window, control);
        return b.CreateCheckBox(window, id, x, y, width, height, caption) ? id : -1;
    });
}

int CreateContainer(int window, int control, int x, int y, int width, int height, int edge) {
    return Marshal([=](ToolkitBackend& b) {
        const int id = PickControlId(b, window, control);
        return b.CreateContainer(window, id, x, y, width, height, edge) ? id : -1;
    });
}

void CloseContainer(int window) {
    Marshal([=](ToolkitBackend& b) { b.CloseContainer(window); });
}

int CreateTable(int window, int control, int x, int y, int width, int height,
                std::u16string_view firstHeading, int firstWidth, unsigned flags) {
    return Marshal([=, heading = std::u16string(firstHeading)](ToolkitBackend& b) {
        const int id = PickControlId(b, window, control);
        return b.CreateTable(window, id, x, y, width, height, heading, firstWidth, flags) ? id : -1;
    });
}

void AddTableColumn(int window, int control, int position, std::u16string_view heading, int width) {
    Marshal([=, heading = std::u16string(heading)](ToolkitBackend& b) {
        b.AddTableColumn(window, control, position, heading, width);
    });
}

void SetToolTip(int window, int control, std::u16string_view text) {
    Marshal([=, text = std::u16string(text)](ToolkitBackend& b) {
        b.SetToolTip(window, control, text);
    });
}

void BindCellTipHandler(int window, int control, CellTipHandler handler) {
    if (!OnWindowThreadWithToolkit()) return;
    Core().BindCellTip(window, control, handler);
}

std::u16string CellTipText(int window, int control, int row, int column,
                           std::u16string_view cellText) {
    if (!OnWindowThreadWithToolkit()) return {};
    const CellTipHandler handler = Core().CellTipHandlerOf(window, control);
    return handler ? handler(window, control, row, column, cellText) : std::u16string();
}

int ControlX(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.ControlX(window, control); });
}

int ControlY(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.ControlY(window, control); });
}

int ControlWidth(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.ControlWidth(window, control); });
}

int ControlHeight(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.ControlHeight(window, control); });
}

int RequiredWidth(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.RequiredWidth(window, control); });
}

void ResizeControl(int window, int control, int x, int y, int width, int height) {
    Marshal([=](ToolkitBackend& b) {
        if (!b.ControlExists(window, control)) return;
        b.ResizeControl(window, control, x == NoChange ? b.ControlX(window, control) : x,
                        y == NoChange ? b.ControlY(window, control) : y,
                        width == NoChange ? b.ControlWidth(window, control) : width,
                        height == NoChange ? b.ControlHeight(window, control) : height);
    });
}

int GetState(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.GetState(window, control); });
}

void SetState(int window, int control, int state) {
    Marshal([=](ToolkitBackend& b) { b.SetState(window, control, state); });
}

std::u16string GetText(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.GetText(window, control); });
}

void SetText(int window, int control, std::u16string_view text) {
    Marshal(
        [=, text = std::u16string(text)](ToolkitBackend& b) { b.SetText(window, control, text); });
}

void AddItem(int window, int control, int position, std::u16string_view text) {
    Marshal([=, text = std::u16string(text)](ToolkitBackend& b) {
        b.AddItem(window, control, position, text);
    });
}

void SetItemText(int window, int control, int row, std::u16string_view text, int column) {
    Marshal([=, text = std::u16string(text)](ToolkitBackend& b) {
        b.SetItemText(window, control, row, text, column);
    });
}

void ClearItems(int window, int control) {
    Marshal([=](ToolkitBackend& b) { b.ClearItems(window, control); });
}

int CountItems(int window, int control) {
    return Marshal([=](ToolkitBackend& b) { return b.CountItems(window, control); });
}

void SetItemColour(int window, int control, int row, int colourKind, int32_t colour, int column) {
    Marshal([=](ToolkitBackend& b) {
        b.SetItemColour(window, control, row, colourKind, colour, column);
    });
}

int CreateCanvas(int window, int control, int x, int y, int width, int height, unsigned flags) {
    return Marshal([=](ToolkitBackend& b) {
        const int id = PickControlId(b, window, control);
        return b.CreateCanvas(window, id, x, y, width, height, flags) ? id : -1;
    });
}

void BindPaintHandler(int window, int control, PaintHandler handler) {
    if (!OnWindowThreadWithToolkit()) return;
    Core().BindPaint(window, control, handler);
}

void RepaintControl(int window, int control, int afterMs) {
    Marshal(
        [=](ToolkitBackend& b) { b.RepaintControl(window, control, afterMs < 0 ? 0 : afterMs); });
}

int CanvasPointerX(int window, int control) {
    return Marshal([=](ToolkitBackend& b) {
        int x = 0, y = 0;
        return b.CanvasPointer(window, control, x, y) ? x : NoPointer;
    });
}

int CanvasPointerY(int window, int control) {
    return Marshal([=](ToolkitBackend& b) {
        int x = 0, y = 0;
        return b.CanvasPointer(window, control, x, y) ? y : NoPointer;
    });
}

int SaveCanvasImage(int window, int control, std::u16string_view path) {
    return Marshal([=, path = std::u16string(path)](ToolkitBackend& b) {
        return b.SaveCanvasImage(window, control, path) ? 1 : 0;
    });
}

int CreateStatusBar(int bar, int window) {
    return Marshal([=](ToolkitBackend& b) { return b.CreateStatusBar(bar, window); });
}

void AddStatusField(int bar, int width) {
    Marshal([=](ToolkitBackend& b) { b.AddStatusField(bar, width); });
}

int StatusBarHeight(int bar) {
    return Marshal([=](ToolkitBackend& b) { return b.StatusBarHeight(bar); });
}

void SetStatusText(int bar, int field, std::u16string_view text) {
    Marshal(
        [=, text = std::u16string(text)](ToolkitBackend& b) { b.SetStatusText(bar, field, text); });
}

void ShowMessageBox(std::u16string_view caption, std::u16string_view text) {
    if (!OnWindowThreadWithToolkit() || Core().Released()) return;
    Slot()->ShowMessageBox(caption, text);
}

int WaitEvent() {
    if (!OnWindowThreadWithToolkit()) return IgnoredEvent;
    EventCore& core = Core();
    ToolkitBackend& backend = *Slot();
    Event event;
    core.ServePending();
    while (!core.TakeQueued(event)) {
        // After release nothing can wake a window thread that waits for itself.
        if (core.Released()) return IgnoredEvent;
        backend.WaitForActivity();
        core.ServePending();
    }
    core.SetRecord(event);
    return event.kind;
}

int EventWindow() {
    return OnWindowThreadWithToolkit() ? Core().Record().window : 0;
}
int EventObject() {
    return OnWindowThreadWithToolkit() ? Core().Record().object : 0;
}
int EventType() {
    return OnWindowThreadWithToolkit() ? Core().Record().type : 0;
}

void BindControlEvent(int window, int control, ControlHandler handler, int type) {
    if (!OnWindowThreadWithToolkit()) return;
    Core().Bind(window, control, type, handler);
}

void PostEvent(int kind, int window, int object, int type) {
    if (!Slot()) return;
    Core().Post(Event{kind, window, object, type});
}

}  // namespace kv::ui
