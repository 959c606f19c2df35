// Where headless windows are: their frames (the client area with the menu bar), the screen's
// work area, the owner relation, and the user moving a window.
#include <algorithm>

#include "ui/headless/headless_toolkit.h"

namespace kv::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

}  // namespace

ScreenRect HeadlessToolkit::WindowFrame(int window) {
    Lock lock(mutex_);
    const HeadlessWindow* w = FindWindow(window);
    if (!w) return {};
    return {w->x, w->y, w->clientWidth, w->clientHeight + (w->menu >= 0 ? MenuBarPixels : 0)};
}

ScreenRect HeadlessToolkit::ScreenWorkArea(int) {
    Lock lock(mutex_);
    return workArea_;
}

void HeadlessToolkit::setWorkArea(ScreenRect area) {
    Lock lock(mutex_);
    workArea_ = area;
}

void HeadlessToolkit::PlaceWindow(int window, int x, int y, int clientWidth, int clientHeight) {
    Lock lock(mutex_);
    HeadlessWindow* w = FindWindow(window);
    if (!w) return;
    w->x = x;
    w->y = y;
    Resized(*w, clientWidth, clientHeight);
}

void HeadlessToolkit::SetMinimumWindowSize(int window, int clientWidth, int clientHeight) {
    Lock lock(mutex_);
    HeadlessWindow* w = FindWindow(window);
    if (!w || !(w->flags & WindowResizable)) return;
    w->minimumWidth = clientWidth;
    w->minimumHeight = clientHeight;
    const int height = w->clientHeight + (w->menu >= 0 ? MenuBarPixels : 0);
    if (w->clientWidth < clientWidth || height < clientHeight)
        Resized(*w, std::max(w->clientWidth, clientWidth), std::max(height, clientHeight));
}

void HeadlessToolkit::SetWindowOwner(int window, int owner) {
    Lock lock(mutex_);
    if (HeadlessWindow* w = FindWindow(window)) w->owner = owner;
}

bool HeadlessToolkit::WindowExists(int window) {
    Lock lock(mutex_);
    return FindWindow(window) != nullptr;
}

bool HeadlessToolkit::moveWindow(int window, int x, int y) {
    return Act([&] {
        Lock lock(mutex_);
        HeadlessWindow* w = FindWindow(window);
        if (!w) return false;
        w->x = x;
        w->y = y;
        return true;
    });
}

}  // namespace kv::ui
