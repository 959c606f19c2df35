// What an implementation of the window toolkit provides. The free functions of toolkit.h
// check the thread, pick identifiers, suppress events of the program's own changes and
// marshal calls from other threads; an implementation only builds and changes its objects
// (always on the window thread) and reports user actions to the shared EventCore.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/event_core.h"

namespace kv::ui {

// What a canvas is painted on while its paint handler runs; one per implementation.
class CanvasSurface {
  public:
    virtual ~CanvasSurface() = default;
    virtual void Fill(int x, int y, int width, int height, int32_t colour) = 0;
    virtual void Lines(const CanvasPoint* points, int count, int32_t colour, int penWidth) = 0;
    virtual void Text(int x, int y, std::u16string_view text, int32_t colour) = 0;
    virtual int TextWidth(std::u16string_view text) = 0;
    virtual int TextHeight() = 0;
    virtual void Clip(int x, int y, int width, int height) = 0;
    virtual void ClipOff() = 0;
};

// A line `penWidth` pixels wide drawn with thin lines, covering what a square brush of that
// width would (but for the corners of a diagonal step) at a fraction of what outlining a wide
// pen costs: `across(dx)` draws the whole line moved across by each dx from -(penWidth - 1) / 2
// to penWidth / 2, which widens its steep and diagonal parts; `flat(points, count)` draws the
// pairs of points it is given, each pair a line of its own: the flatter parts, moved down by
// each such dy but 0. `scratch` holds those pairs.
template <class Across, class Flat>
void DrawWideLine(const CanvasPoint* points, int count, int penWidth,
                  std::vector<CanvasPoint>& scratch, Across across, Flat flat) {
    const int from = -(std::max(1, penWidth) - 1) / 2, to = std::max(1, penWidth) / 2;
    for (int dx = from; dx <= to; ++dx) across(dx);
    for (int dy = from; dy <= to; ++dy) {
        if (dy == 0) continue;
        scratch.clear();
        for (int i = 0; i + 1 < count; ++i) {
            const CanvasPoint a = points[i], b = points[i + 1];
            if (std::abs(b.x - a.x) <= std::abs(b.y - a.y)) continue;
            scratch.push_back({a.x, a.y + dy});
            scratch.push_back({b.x, b.y + dy});
        }
        if (!scratch.empty()) flat(scratch.data(), static_cast<int>(scratch.size()));
    }
}

// Window thread: runs the paint handler bound to the canvas (if any) with `surface` as the
// target of the Canvas* drawing calls. Implementations call it from their paint code.
void PaintCanvas(int window, int control, int width, int height, CanvasSurface& surface);

class ToolkitBackend {
  public:
    virtual ~ToolkitBackend() = default;

    // Destroys every window, menu, control and status bar.
    virtual void DestroyAll() = 0;
    // Any thread: make the window thread return from WaitForActivity soon.
    virtual void Wake() = 0;
    // Window thread: block until the platform delivers something, and process it. Pending
    // calls and posted events are served by the caller afterwards (and may be served inside).
    virtual void WaitForActivity() = 0;

    virtual int OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
                           std::u16string_view title, unsigned flags) = 0;
    virtual void HideWindow(int window, bool hide) = 0;
    virtual void ResizeWindow(int window, int clientWidth) = 0;
    virtual int WindowWidth(int window) = 0;
    virtual int WindowHeight(int window) = 0;
    virtual int MenuBarHeight() = 0;
    virtual int CreateMenuBar(int menu, int window) = 0;
    virtual void AddMenuTitle(int menu, std::u16string_view title) = 0;
    virtual void AddMenuItem(int menu, int item, std::u16string_view text) = 0;
    virtual void AddMenuSeparator(int menu) = 0;
    virtual int GetMenuItemState(int menu, int item) = 0;
    virtual void SetMenuItemState(int menu, int item, bool checked) = 0;

    virtual ScreenRect WindowFrame(int window) = 0;
    virtual ScreenRect ScreenWorkArea(int window) = 0;
    virtual void PlaceWindow(int window, int x, int y, int clientWidth, int clientHeight) = 0;
    virtual void SetMinimumWindowSize(int window, int clientWidth, int clientHeight) = 0;
    // `owner` exists (or is NoOwner) and is not `window`: the caller checked.
    virtual void SetWindowOwner(int window, int owner) = 0;
    virtual bool WindowExists(int window) = 0;

    virtual bool ControlExists(int window, int control) = 0;
    // Each returns false when the window does not exist or the identifier is taken.
    virtual bool CreateLabel(int window, int control, int x, int y, int width, int height,
                             std::u16string_view text) = 0;
    virtual bool CreateDropDownList(int window, int control, int x, int y, int width,
                                    int height) = 0;
    virtual bool CreateSpinBox(int window, int control, int x, int y, int width, int height,
                               int minimum, int maximum, unsigned flags) = 0;
    virtual bool CreateCheckBox(int window, int control, int x, int y, int width, int height,
                                std::u16string_view caption) = 0;
    virtual bool CreateContainer(int window, int control, int x, int y, int width, int height,
                                 int edge) = 0;
    virtual void CloseContainer(int window) = 0;
    virtual bool CreateTable(int window, int control, int x, int y, int width, int height,
                             std::u16string_view firstHeading, int firstWidth, unsigned flags) = 0;
    virtual void AddTableColumn(int window, int control, int position, std::u16string_view heading,
                                int width) = 0;
    virtual void SetToolTip(int window, int control, std::u16string_view text) = 0;
    virtual int ControlX(int window, int control) = 0;
    virtual int ControlY(int window, int control) = 0;
    virtual int ControlWidth(int window, int control) = 0;
    virtual int ControlHeight(int window, int control) = 0;
    virtual int RequiredWidth(int window, int control) = 0;
    // NoChange values are resolved by the caller.
    virtual void ResizeControl(int window, int control, int x, int y, int width, int height) = 0;
    virtual int GetState(int window, int control) = 0;
    virtual void SetState(int window, int control, int state) = 0;
    virtual std::u16string GetText(int window, int control) = 0;
    virtual void SetText(int window, int control, std::u16string_view text) = 0;
    virtual void AddItem(int window, int control, int position, std::u16string_view text) = 0;
    virtual void SetItemText(int window, int control, int row, std::u16string_view text,
                             int column) = 0;
    virtual void ClearItems(int window, int control) = 0;
    virtual int CountItems(int window, int control) = 0;
    virtual void SetItemColour(int window, int control, int row, int colourKind, int32_t colour,
                               int column) = 0;

    virtual bool CreateCanvas(int window, int control, int x, int y, int width, int height,
                              unsigned flags) = 0;
    // Asks for a paint soon, or after `afterMs` when that is not 0; a request while one waits
    // is served by the same paint. Returns at once.
    virtual void RepaintControl(int window, int control, int afterMs) = 0;
    // False when the pointer is not over the canvas (or there is no such canvas).
    virtual bool CanvasPointer(int window, int control, int& x, int& y) = 0;
    virtual bool SaveCanvasImage(int window, int control, std::u16string_view path) = 0;

    virtual int CreateStatusBar(int bar, int window) = 0;
    virtual void AddStatusField(int bar, int width) = 0;
    virtual int StatusBarHeight(int bar) = 0;
    virtual void SetStatusText(int bar, int field, std::u16string_view text) = 0;

    // Modal; serves pending calls and posted events (EventCore::ServePending) while open.
    virtual void ShowMessageBox(std::u16string_view caption, std::u16string_view text) = 0;
};

// The shared event state of the installed toolkit.
EventCore& ToolkitEvents();
// Makes `backend` the toolkit of the calling thread, which becomes the window thread. The
// previous implementation, if any, is destroyed first.
void InstallToolkitBackend(std::unique_ptr<ToolkitBackend> backend);
// The installed implementation, or null.
ToolkitBackend* InstalledToolkitBackend();

}  // namespace kv::ui
