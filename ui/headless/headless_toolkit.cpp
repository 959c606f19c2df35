// The program's side of the headless toolkit: objects kept as data under one lock.
#include "ui/headless/headless_toolkit.h"

#include <algorithm>

#include "runtime/integer_text.h"
#include "ui/text_rules.h"

namespace kv::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

bool Focusable(HeadlessKind kind) {
    return kind == HeadlessKind::DropDownList || kind == HeadlessKind::SpinBox ||
           kind == HeadlessKind::CheckBox || kind == HeadlessKind::Table;
}

HeadlessControl Made(HeadlessKind kind, int x, int y, int width, int height) {
    HeadlessControl made;
    made.kind = kind;
    made.x = x;
    made.y = y;
    made.width = width;
    made.height = height;
    return made;
}

void InsertColumn(HeadlessControl& table, int position, std::u16string_view heading, int width) {
    const int count = static_cast<int>(table.columns.size());
    if (position < 0 || position > count) position = count;
    table.columns.insert(table.columns.begin() + position, {std::u16string(heading), width});
    for (auto& row : table.cells) row.insert(row.begin() + position, std::u16string());
    for (auto& row : table.colours) row.insert(row.begin() + position, DefaultColour);
}

}  // namespace

HeadlessToolkit& InstallHeadlessToolkit() {
    auto made = std::make_unique<HeadlessToolkit>();
    HeadlessToolkit& toolkit = *made;
    InstallToolkitBackend(std::move(made));
    return toolkit;
}

int HeadlessToolkit::TextWidth(std::u16string_view text) {
    int characters = 0;
    for (char16_t c : text)
        if (c < 0xDC00 || c > 0xDFFF) ++characters;  // a surrogate pair is one character
    return characters * CharWidth;
}

HeadlessWindow* HeadlessToolkit::FindWindow(int window) {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

HeadlessControl* HeadlessToolkit::Find(int window, int control) {
    HeadlessWindow* w = FindWindow(window);
    if (!w) return nullptr;
    auto found = w->controls.find(control);
    return found == w->controls.end() ? nullptr : &found->second;
}

const HeadlessControl* HeadlessToolkit::Find(int window, int control) const {
    return const_cast<HeadlessToolkit*>(this)->Find(window, control);
}

void HeadlessToolkit::DestroyAll() {
    Lock lock(mutex_);
    windows_.clear();
    menus_.clear();
    bars_.clear();
}

void HeadlessToolkit::WaitForActivity() {
    ToolkitEvents().WaitForPending();
}

int HeadlessToolkit::OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
                                std::u16string_view title, unsigned flags) {
    Lock lock(mutex_);
    if (window < 0 || windows_.count(window) || clientWidth < 0 || clientHeight < 0) return 0;
    HeadlessWindow& w = windows_[window];
    w.exists = true;
    w.clientWidth = clientWidth;
    w.clientHeight = clientHeight;
    w.x = (flags & WindowCentred) ? (ScreenWidth - clientWidth) / 2 : x;
    w.y = (flags & WindowCentred) ? (ScreenHeight - clientHeight) / 2 : y;
    w.title = title;
    w.flags = flags;
    w.visible = !(flags & WindowHidden);
    return 1;
}

void HeadlessToolkit::HideWindow(int window, bool hide) {
    Lock lock(mutex_);
    if (HeadlessWindow* w = FindWindow(window)) w->visible = !hide;
}

void HeadlessToolkit::ResizeWindow(int window, int clientWidth) {
    Lock lock(mutex_);
    if (HeadlessWindow* w = FindWindow(window); w && clientWidth >= 0) w->clientWidth = clientWidth;
}

int HeadlessToolkit::WindowWidth(int window) {
    Lock lock(mutex_);
    HeadlessWindow* w = FindWindow(window);
    return w ? w->clientWidth : 0;
}

int HeadlessToolkit::WindowHeight(int window) {
    Lock lock(mutex_);
    HeadlessWindow* w = FindWindow(window);
    if (!w) return 0;
    return w->clientHeight + (w->menu >= 0 ? MenuBarPixels : 0);
}

int HeadlessToolkit::CreateMenuBar(int menu, int window) {
    Lock lock(mutex_);
    HeadlessWindow* w = FindWindow(window);
    if (!w || menu < 0 || menus_.count(menu) || w->menu >= 0) return 0;
    menus_[menu].window = window;
    w->menu = menu;
    // The outer size stays: the menu bar takes its height from the client area.
    w->clientHeight = std::max(0, w->clientHeight - MenuBarPixels);
    return 1;
}

void HeadlessToolkit::AddMenuTitle(int menu, std::u16string_view title) {
    Lock lock(mutex_);
    auto found = menus_.find(menu);
    if (found != menus_.end()) found->second.titles.push_back({std::u16string(title), {}});
}

void HeadlessToolkit::AddMenuItem(int menu, int item, std::u16string_view text) {
    Lock lock(mutex_);
    auto found = menus_.find(menu);
    if (found == menus_.end() || found->second.titles.empty() || item < 0) return;
    found->second.titles.back().items.push_back({item, std::u16string(text), false});
}

void HeadlessToolkit::AddMenuSeparator(int menu) {
    Lock lock(mutex_);
    auto found = menus_.find(menu);
    if (found == menus_.end() || found->second.titles.empty()) return;
    found->second.titles.back().items.push_back({-1, {}, false});
}

int HeadlessToolkit::GetMenuItemState(int menu, int item) {
    return CheckState(menuChecked(menu, item));
}

void HeadlessToolkit::SetMenuItemState(int menu, int item, bool checked) {
    Lock lock(mutex_);
    auto found = menus_.find(menu);
    if (found == menus_.end() || item < 0) return;
    for (auto& title : found->second.titles)
        for (auto& entry : title.items)
            if (entry.item == item) entry.checked = checked;
}

bool HeadlessToolkit::ControlExists(int window, int control) {
    Lock lock(mutex_);
    return Find(window, control) != nullptr;
}

bool HeadlessToolkit::AddControl(int window, int control, HeadlessControl made) {
    HeadlessWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    made.exists = true;
    made.container = w->openContainer;
    w->controls[control] = std::move(made);
    w->creationOrder.push_back(control);
    return true;
}

bool HeadlessToolkit::CreateLabel(int window, int control, int x, int y, int width, int height,
                                  std::u16string_view text) {
    Lock lock(mutex_);
    HeadlessControl label = Made(HeadlessKind::Label, x, y, width, height);
    label.text = text;
    return AddControl(window, control, std::move(label));
}

bool HeadlessToolkit::CreateDropDownList(int window, int control, int x, int y, int width,
                                         int height) {
    Lock lock(mutex_);
    HeadlessControl list = Made(HeadlessKind::DropDownList, x, y, width, height);
    list.state = NoSelection;
    return AddControl(window, control, std::move(list));
}

bool HeadlessToolkit::CreateSpinBox(int window, int control, int x, int y, int width, int height,
                                    int minimum, int maximum, unsigned flags) {
    Lock lock(mutex_);
    const int initial = std::clamp(0, minimum, maximum);
    HeadlessControl spin = Made(HeadlessKind::SpinBox, x, y, width, height);
    spin.state = initial;
    spin.text = IntegerToText(initial);
    spin.minimum = minimum;
    spin.maximum = maximum;
    spin.flags = flags;
    return AddControl(window, control, std::move(spin));
}

bool HeadlessToolkit::CreateCheckBox(int window, int control, int x, int y, int width, int height,
                                     std::u16string_view caption) {
    Lock lock(mutex_);
    HeadlessControl box = Made(HeadlessKind::CheckBox, x, y, width, height);
    box.text = caption;
    return AddControl(window, control, std::move(box));
}

bool HeadlessToolkit::CreateContainer(int window, int control, int x, int y, int width, int height,
                                      int edge) {
    Lock lock(mutex_);
    HeadlessControl frame = Made(HeadlessKind::Container, x, y, width, height);
    frame.edge = edge;
    if (!AddControl(window, control, std::move(frame))) return false;
    FindWindow(window)->openContainer = control;
    return true;
}

void HeadlessToolkit::CloseContainer(int window) {
    Lock lock(mutex_);
    if (HeadlessWindow* w = FindWindow(window)) w->openContainer = -1;
}

bool HeadlessToolkit::CreateTable(int window, int control, int x, int y, int width, int height,
                                  std::u16string_view firstHeading, int firstWidth,
                                  unsigned flags) {
    Lock lock(mutex_);
    HeadlessControl table = Made(HeadlessKind::Table, x, y, width, height);
    table.flags = flags;
    table.columns.push_back({std::u16string(firstHeading), firstWidth});
    return AddControl(window, control, std::move(table));
}

void HeadlessToolkit::AddTableColumn(int window, int control, int position,
                                     std::u16string_view heading, int width) {
    Lock lock(mutex_);
    HeadlessControl* c = Find(window, control);
    if (c && c->kind == HeadlessKind::Table) InsertColumn(*c, position, heading, width);
}

void HeadlessToolkit::SetToolTip(int window, int control, std::u16string_view text) {
    Lock lock(mutex_);
    if (HeadlessControl* c = Find(window, control)) c->toolTip = text;
}

int HeadlessToolkit::ControlX(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    return c ? c->x : 0;
}

int HeadlessToolkit::ControlY(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    return c ? c->y : 0;
}

int HeadlessToolkit::ControlWidth(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    return c ? c->width : 0;
}

int HeadlessToolkit::ControlHeight(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    return c ? c->height : 0;
}

int HeadlessToolkit::RequiredWidth(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    if (!c) return 0;
    // The check box's box and gap take 18 pixels beside the text.
    return TextWidth(c->text) + (c->kind == HeadlessKind::CheckBox ? 20 : 2);
}

void HeadlessToolkit::ResizeControl(int window, int control, int x, int y, int width, int height) {
    Lock lock(mutex_);
    if (HeadlessControl* c = Find(window, control)) {
        c->x = x;
        c->y = y;
        c->width = std::max(0, width);
        c->height = std::max(0, height);
    }
}

int HeadlessToolkit::GetState(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    if (!c) return 0;
    switch (c->kind) {
        case HeadlessKind::DropDownList:
        case HeadlessKind::SpinBox:
        case HeadlessKind::CheckBox:
            return c->state;
        default:
            return 0;
    }
}

void HeadlessToolkit::SetState(int window, int control, int state) {
    Lock lock(mutex_);
    HeadlessControl* c = Find(window, control);
    if (!c) return;
    switch (c->kind) {
        case HeadlessKind::DropDownList:
            // An index that names no entry clears the selection, as NoSelection does.
            c->state =
                (state >= 0 && state < static_cast<int>(c->entries.size())) ? state : NoSelection;
            break;
        case HeadlessKind::SpinBox:
            c->state = std::clamp(state, c->minimum, c->maximum);
            c->text = IntegerToText(c->state);
            break;
        case HeadlessKind::CheckBox:
            c->state = CheckState(state != Unchecked);
            break;
        default:
            break;
    }
}

std::u16string HeadlessToolkit::GetText(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    if (!c) return {};
    switch (c->kind) {
        case HeadlessKind::DropDownList:
            return c->state >= 0 ? c->entries[c->state] : std::u16string();
        case HeadlessKind::Label:
        case HeadlessKind::SpinBox:
        case HeadlessKind::CheckBox:
            return c->text;
        default:
            return {};
    }
}

void HeadlessToolkit::SetText(int window, int control, std::u16string_view text) {
    Lock lock(mutex_);
    HeadlessControl* c = Find(window, control);
    if (!c) return;
    switch (c->kind) {
        case HeadlessKind::DropDownList:
            if (text.empty()) {
                c->state = NoSelection;
            } else if (int found = FindEntryIgnoringCase(c->entries, text); found >= 0) {
                c->state = found;
            }
            break;
        case HeadlessKind::SpinBox:
            // The field shows numbers only: a number moves the value, anything else is refused.
            if (auto value = ParseWholeInteger(text)) {
                c->state = std::clamp(static_cast<int>(*value), c->minimum, c->maximum);
                c->text = IntegerToText(c->state);
            }
            break;
        case HeadlessKind::Label:
        case HeadlessKind::CheckBox:
            c->text = text;
            break;
        default:
            break;
    }
}

void HeadlessToolkit::AddItem(int window, int control, int position, std::u16string_view text) {
    Lock lock(mutex_);
    HeadlessControl* c = Find(window, control);
    if (!c) return;
    if (c->kind == HeadlessKind::DropDownList) {
        const int count = static_cast<int>(c->entries.size());
        if (position < 0 || position > count) position = count;
        c->entries.insert(c->entries.begin() + position, std::u16string(text));
        if (c->state >= position) ++c->state;  // the selected entry stays selected
    } else if (c->kind == HeadlessKind::Table) {
        const int count = static_cast<int>(c->cells.size());
        if (position < 0 || position > count) position = count;
        std::vector<std::u16string> pieces = SplitCells(text);
        pieces.resize(c->columns.size());
        c->cells.insert(c->cells.begin() + position, std::move(pieces));
        c->colours.insert(c->colours.begin() + position,
                          std::vector<int32_t>(c->columns.size(), DefaultColour));
    }
}

void HeadlessToolkit::SetItemText(int window, int control, int row, std::u16string_view text,
                                  int column) {
    Lock lock(mutex_);
    HeadlessControl* c = Find(window, control);
    if (!c || c->kind != HeadlessKind::Table) return;
    if (row < 0 || row >= static_cast<int>(c->cells.size())) return;
    if (column < 0 || column >= static_cast<int>(c->columns.size())) return;
    c->cells[row][column] = text;
}

void HeadlessToolkit::ClearItems(int window, int control) {
    Lock lock(mutex_);
    HeadlessControl* c = Find(window, control);
    if (!c) return;
    c->entries.clear();
    c->cells.clear();
    c->colours.clear();
    if (c->kind == HeadlessKind::DropDownList) c->state = NoSelection;
}

int HeadlessToolkit::CountItems(int window, int control) {
    Lock lock(mutex_);
    const HeadlessControl* c = Find(window, control);
    if (!c) return 0;
    if (c->kind == HeadlessKind::DropDownList) return static_cast<int>(c->entries.size());
    if (c->kind == HeadlessKind::Table) return static_cast<int>(c->cells.size());
    return 0;
}

void HeadlessToolkit::SetItemColour(int window, int control, int row, int colourKind,
                                    int32_t colour, int column) {
    Lock lock(mutex_);
    HeadlessControl* c = Find(window, control);
    if (!c || c->kind != HeadlessKind::Table || colourKind != ColourBackground) return;
    const int rows = static_cast<int>(c->colours.size());
    const int columns = static_cast<int>(c->columns.size());
    if (row != AllRows && (row < 0 || row >= rows)) return;
    if (column != AllColumns && (column < 0 || column >= columns)) return;
    if (colour != DefaultColour) colour &= 0xFFFFFF;
    for (int r = (row == AllRows ? 0 : row); r < (row == AllRows ? rows : row + 1); ++r)
        for (int k = (column == AllColumns ? 0 : column);
             k < (column == AllColumns ? columns : column + 1); ++k)
            c->colours[r][k] = colour;
}

int HeadlessToolkit::CreateStatusBar(int bar, int window) {
    Lock lock(mutex_);
    HeadlessWindow* w = FindWindow(window);
    if (!w || bar < 0 || bars_.count(bar) || w->statusBar >= 0) return 0;
    HeadlessStatusBar& made = bars_[bar];
    made.exists = true;
    made.window = window;
    w->statusBar = bar;
    return 1;
}

void HeadlessToolkit::AddStatusField(int bar, int width) {
    Lock lock(mutex_);
    auto found = bars_.find(bar);
    if (found == bars_.end()) return;
    found->second.widths.push_back(width);
    found->second.texts.emplace_back();
}

int HeadlessToolkit::StatusBarHeight(int bar) {
    Lock lock(mutex_);
    return bars_.count(bar) ? StatusBarPixels : 0;
}

void HeadlessToolkit::SetStatusText(int bar, int field, std::u16string_view text) {
    Lock lock(mutex_);
    auto found = bars_.find(bar);
    if (found == bars_.end() || field < 0 || field >= static_cast<int>(found->second.texts.size()))
        return;
    found->second.texts[field] = text;
}

void HeadlessToolkit::ShowMessageBox(std::u16string_view caption, std::u16string_view text) {
    EventCore& core = ToolkitEvents();
    std::function<void()> action;
    bool keepOpen = false;
    {
        Lock lock(mutex_);
        boxes_.push_back({std::u16string(caption), std::u16string(text)});
        action = boxAction_;
        keepOpen = !autoDismiss_;
        boxOpen_ = true;
    }
    core.ServePending();
    if (action) {
        action();
        core.ServePending();
    }
    while (keepOpen) {
        {
            Lock lock(mutex_);
            if (!boxOpen_) break;
        }
        if (core.Released()) break;
        core.WaitForPending();
        core.ServePending();
    }
    Lock lock(mutex_);
    boxOpen_ = false;
}

bool HeadlessToolkit::Act(const std::function<bool()>& action) {
    EventCore& core = ToolkitEvents();
    if (core.OnWindowThread()) return action();
    bool result = false;
    core.RunOnWindowThread([&] { result = action(); });
    return result;
}

int HeadlessToolkit::focusedControl(int window) const {
    Lock lock(mutex_);
    auto found = windows_.find(window);
    return found == windows_.end() ? -1 : found->second.focus;
}

int HeadlessToolkit::pressTab(int window, bool backward) {
    int focused = -1;
    Act([&] {
        Lock lock(mutex_);
        HeadlessWindow* w = FindWindow(window);
        if (!w) return false;
        std::vector<int> stops;
        for (int id : w->creationOrder)
            if (Focusable(w->controls[id].kind)) stops.push_back(id);
        if (stops.empty()) return false;
        auto at = std::find(stops.begin(), stops.end(), w->focus);
        int index = at == stops.end() ? -1 : static_cast<int>(at - stops.begin());
        const int n = static_cast<int>(stops.size());
        if (index < 0)
            index = backward ? n - 1 : 0;
        else
            index = (index + (backward ? n - 1 : 1)) % n;
        w->focus = focused = stops[index];
        return true;
    });
    return focused;
}

}  // namespace kv::ui
