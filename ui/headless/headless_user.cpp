// The test's side of the headless toolkit: acting as the user and looking at the objects.
// User actions change the object first and report the event afterwards, outside the lock,
// because a bound handler may call back into the toolkit.
#include <algorithm>

#include "runtime/integer_text.h"
#include "ui/headless/headless_toolkit.h"
#include "ui/text_rules.h"

namespace kv::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

void Report(int kind, int window, int object, int type) {
    ToolkitEvents().Produce(Event{kind, window, object, type});
}

}  // namespace

bool HeadlessToolkit::chooseEntry(int window, int control, int index) {
    return Act([&] {
        {
            Lock lock(mutex_);
            HeadlessControl* c = Find(window, control);
            if (!c || c->kind != HeadlessKind::DropDownList) return false;
            if (index < 0 || index >= static_cast<int>(c->entries.size())) return false;
            // Choosing the entry that is already selected is reported too: the user asked for it
            // again (a port chosen again is opened again).
            c->state = index;
        }
        Report(ControlEvent, window, control, Changed);
        return true;
    });
}

bool HeadlessToolkit::openDropDown(int window, int control) {
    return Act([&] {
        {
            Lock lock(mutex_);
            HeadlessControl* c = Find(window, control);
            if (!c || c->kind != HeadlessKind::DropDownList) return false;
        }
        Report(ControlEvent, window, control, DroppedDown);
        return true;
    });
}

bool HeadlessToolkit::stepSpinBox(int window, int control, int delta) {
    return Act([&] {
        bool changed = false;
        {
            Lock lock(mutex_);
            HeadlessControl* c = Find(window, control);
            if (!c || c->kind != HeadlessKind::SpinBox || delta == 0) return false;
            const long long wanted = static_cast<long long>(c->state) + delta;
            const int next =
                static_cast<int>(std::clamp<long long>(wanted, c->minimum, c->maximum));
            changed = next != c->state;
            c->state = next;
            c->text = IntegerToText(next);
        }
        // At the end of the range the field does not change, but the step is still reported.
        if (changed) Report(ControlEvent, window, control, Changed);
        Report(ControlEvent, window, control, delta > 0 ? SteppedUp : SteppedDown);
        return true;
    });
}

bool HeadlessToolkit::clickCheckBox(int window, int control) {
    return Act([&] {
        {
            Lock lock(mutex_);
            HeadlessControl* c = Find(window, control);
            if (!c || c->kind != HeadlessKind::CheckBox) return false;
            c->state = CheckState(c->state == Unchecked);
        }
        Report(ControlEvent, window, control, Clicked);
        return true;
    });
}

bool HeadlessToolkit::chooseMenuItem(int menu, int item) {
    return Act([&] {
        int window = -1;
        {
            Lock lock(mutex_);
            auto found = menus_.find(menu);
            if (found == menus_.end() || item < 0) return false;
            bool present = false;
            for (const auto& title : found->second.titles)
                for (const auto& entry : title.items) present = present || entry.item == item;
            if (!present) return false;
            window = found->second.window;
        }
        // The check mark is the program's business: choosing an item never toggles it.
        Report(MenuEvent, window, item, 0);
        return true;
    });
}

bool HeadlessToolkit::pressCloseButton(int window) {
    return Act([&] {
        {
            Lock lock(mutex_);
            if (!FindWindow(window)) return false;
        }
        Report(CloseEvent, window, 0, 0);
        return true;
    });
}

HeadlessWindow HeadlessToolkit::window(int window) const {
    Lock lock(mutex_);
    auto found = windows_.find(window);
    return found == windows_.end() ? HeadlessWindow{} : found->second;
}

HeadlessControl HeadlessToolkit::control(int window, int control) const {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    return c ? *c : HeadlessControl{};
}

std::u16string HeadlessToolkit::cellText(int window, int control, int row, int column) const {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    if (!c || row < 0 || row >= static_cast<int>(c->cells.size())) return {};
    if (column < 0 || column >= static_cast<int>(c->cells[row].size())) return {};
    return c->cells[row][column];
}

int32_t HeadlessToolkit::cellColour(int window, int control, int row, int column) const {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    if (!c || row < 0 || row >= static_cast<int>(c->colours.size())) return DefaultColour;
    if (column < 0 || column >= static_cast<int>(c->colours[row].size())) return DefaultColour;
    return c->colours[row][column];
}

std::vector<HeadlessMenuTitle> HeadlessToolkit::menu(int menu) const {
    Lock lock(mutex_);
    auto found = menus_.find(menu);
    return found == menus_.end() ? std::vector<HeadlessMenuTitle>{} : found->second.titles;
}

bool HeadlessToolkit::menuChecked(int menu, int item) const {
    Lock lock(mutex_);
    auto found = menus_.find(menu);
    if (found == menus_.end() || item < 0) return false;
    for (const auto& title : found->second.titles)
        for (const auto& entry : title.items)
            if (entry.item == item) return entry.checked;
    return false;
}

HeadlessStatusBar HeadlessToolkit::statusBar(int bar) const {
    Lock lock(mutex_);
    auto found = bars_.find(bar);
    return found == bars_.end() ? HeadlessStatusBar{} : found->second;
}

std::u16string HeadlessToolkit::statusText(int bar, int field) const {
    Lock lock(mutex_);
    auto found = bars_.find(bar);
    if (found == bars_.end() || field < 0 || field >= static_cast<int>(found->second.texts.size()))
        return {};
    return found->second.texts[field];
}

std::vector<HeadlessMessageBox> HeadlessToolkit::messageBoxes() const {
    Lock lock(mutex_);
    return boxes_;
}

void HeadlessToolkit::setDirectCrossThreadCalls(bool direct) {
    ToolkitEvents().SetDirectCalls(direct);
}

void HeadlessToolkit::setAutoDismissMessageBoxes(bool autoDismiss) {
    Lock lock(mutex_);
    autoDismiss_ = autoDismiss;
}

void HeadlessToolkit::setMessageBoxAction(std::function<void()> action) {
    Lock lock(mutex_);
    boxAction_ = std::move(action);
}

void HeadlessToolkit::dismissMessageBox() {
    // Served by the open box's wait like any call from another thread, so it cannot be lost
    // between the box's check and its wait.
    Act([&] {
        Lock lock(mutex_);
        boxOpen_ = false;
        return true;
    });
}

}  // namespace kv::ui
