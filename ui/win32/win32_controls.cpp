// Win32 implementation: the controls.
#include <algorithm>
#include <string_view>
#include <utility>

#include "runtime/integer_text.h"
#include "ui/text_rules.h"
#include "ui/win32/win32_backend.h"

namespace kv::ui {
namespace {

// A drop-down list is created as tall as its field plus the list it opens.
constexpr int DropListHeight = 200;
// What a control needs beyond the width of its text in its font: a little air for a label,
// the box in front of the caption for a check box. The window's layout adds its own margins.
constexpr int LabelTextExtra = 2;
constexpr int CheckBoxTextExtra = 20;
// The index CB_SETCURSEL takes to clear a drop-down list's selection.
constexpr int ComboNoIndex = -1;

int ArrowsWidth() {
    return GetSystemMetrics(SM_CXVSCROLL);
}

int TextWidthInFont(HWND hwnd, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return size.cx;
}

int TableColumnCount(HWND table) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(table, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

void SetCell(HWND table, int row, int column, const std::wstring& text) {
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(table, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&cell));
}

bool CellHolds(HWND table, int row, int column, const std::wstring& text) {
    // One character more than the text: a longer text in the cell does not read as equal.
    std::wstring now(text.size() + 2, L'\0');
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = now.data();
    cell.cchTextMax = static_cast<int>(now.size());
    const LRESULT length = SendMessageW(table, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                        reinterpret_cast<LPARAM>(&cell));
    return static_cast<size_t>(length) == text.size() &&
           std::wstring_view(cell.pszText, text.size()) == text;
}

// Marks one cell for repainting; the rest of the table keeps what it shows.
void InvalidateCell(HWND table, int row, int column) {
    RECT cell{};
    cell.top = column;
    cell.left = LVIR_BOUNDS;
    if (!SendMessageW(table, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                      reinterpret_cast<LPARAM>(&cell)))
        return;
    // Column 0's bounds are the whole row's.
    if (column == 0)
        cell.right = cell.left + static_cast<LONG>(SendMessageW(table, LVM_GETCOLUMNWIDTH, 0, 0));
    InvalidateRect(table, &cell, FALSE);
}

std::u16string ComboEntry(HWND list, int index) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    return got == CB_ERR ? std::u16string() : win32::Narrow(text.data(), static_cast<size_t>(got));
}

void ShowSpinValue(const Win32Control& spin, int value) {
    SendMessageW(spin.arrows, UDM_SETPOS32, 0, value);
    // The field is the up-down's buddy; it is written here too so that both agree whatever
    // the version of the common controls does on its own.
    SetWindowTextW(spin.hwnd, std::to_wstring(value).c_str());
}

}  // namespace

Win32Control* Win32Toolkit::Find(int window, int control) {
    Win32Window* w = FindTop(window);
    if (!w) return nullptr;
    auto found = w->controls.find(control);
    return found == w->controls.end() ? nullptr : &found->second;
}

bool Win32Toolkit::ControlExists(int window, int control) {
    return Find(window, control) != nullptr;
}

HWND Win32Toolkit::ParentFor(Win32Window& window) {
    return window.openContainer ? window.openContainer : window.hwnd;
}

// Made without a size: Place puts it where its control's coordinates say.
HWND Win32Toolkit::NewChild(Win32Window& window, const wchar_t* windowClass,
                            std::u16string_view text, DWORD style, DWORD exStyle, int id) {
    HWND hwnd = CreateWindowExW(exStyle, windowClass, win32::Wide(text).c_str(),
                                WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, ParentFor(window),
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    if (hwnd) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return hwnd;
}

Win32Control Win32Toolkit::NewControl(Win32Kind kind, int x, int y, int width, int height) {
    Win32Control made;
    made.kind = kind;
    made.x = x, made.y = y, made.width = std::max(0, width), made.height = std::max(0, height);
    return made;
}

void Win32Toolkit::Place(const Win32Control& c) {
    // The edges are scaled, not the sizes: controls placed edge to edge stay so at any DPI.
    const int left = Scaled(c.x), top = Scaled(c.y);
    const int width = Scaled(c.x + c.width) - left, height = Scaled(c.y + c.height) - top;
    switch (c.kind) {
        case Win32Kind::SpinBox: {
            const int arrows = std::min(ArrowsWidth(), width);
            MoveWindow(c.hwnd, left, top, width - arrows, height, TRUE);
            MoveWindow(c.arrows, left + width - arrows, top, arrows, height, TRUE);
            break;
        }
        case Win32Kind::DropDownList:
            MoveWindow(c.hwnd, left, top, width, height + Scaled(DropListHeight), TRUE);
            break;
        default:
            MoveWindow(c.hwnd, left, top, width, height, TRUE);
            break;
    }
}

bool Win32Toolkit::AddControl(int window, int control, Win32Control made) {
    if (!made.hwnd) return false;
    Win32Window* w = FindTop(window);
    Place(made);
    w->byHandle[made.hwnd] = control;
    if (made.arrows) w->byHandle[made.arrows] = control;
    w->controls[control] = std::move(made);
    return true;
}

bool Win32Toolkit::CreateLabel(int window, int control, int x, int y, int width, int height,
                               std::u16string_view text) {
    Win32Window* w = FindTop(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    Win32Control made = NewControl(Win32Kind::Label, x, y, width, height);
    // No prefix: the text is shown as written, an ampersand included.
    made.hwnd =
        NewChild(*w, L"Static", text, SS_LEFT | SS_NOPREFIX, 0, win32::ControlIdBase + control);
    return AddControl(window, control, std::move(made));
}

bool Win32Toolkit::CreateDropDownList(int window, int control, int x, int y, int width,
                                      int height) {
    Win32Window* w = FindTop(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    Win32Control made = NewControl(Win32Kind::DropDownList, x, y, width, height);
    made.hwnd =
        NewChild(*w, L"ComboBox", u"", CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP,
                 0, win32::ControlIdBase + control);
    return AddControl(window, control, std::move(made));
}

bool Win32Toolkit::CreateSpinBox(int window, int control, int x, int y, int width, int height,
                                 int minimum, int maximum, unsigned flags) {
    Win32Window* w = FindTop(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    Win32Control made = NewControl(Win32Kind::SpinBox, x, y, width, height);
    DWORD fieldStyle = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
    if (flags & SpinReadOnlyText) fieldStyle |= ES_READONLY;
    if (flags & SpinNumeric) fieldStyle |= ES_NUMBER;
    made.hwnd =
        NewChild(*w, L"EDIT", u"", fieldStyle, WS_EX_CLIENTEDGE, win32::ControlIdBase + control);
    // Arrow keys in the field step too; plain decimal without group separators.
    made.arrows = NewChild(*w, UPDOWN_CLASSW, u"",
                           UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS | UDS_HOTTRACK, 0,
                           win32::ArrowsIdBase + control);
    if (!made.hwnd || !made.arrows) {
        if (made.hwnd) DestroyWindow(made.hwnd);
        if (made.arrows) DestroyWindow(made.arrows);
        return false;
    }
    SendMessageW(made.arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(made.hwnd), 0);
    SendMessageW(made.arrows, UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
    made.minimum = minimum, made.maximum = maximum;
    ShowSpinValue(made, std::clamp(0, minimum, maximum));
    return AddControl(window, control, std::move(made));
}

bool Win32Toolkit::CreateCheckBox(int window, int control, int x, int y, int width, int height,
                                  std::u16string_view caption) {
    Win32Window* w = FindTop(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    Win32Control made = NewControl(Win32Kind::CheckBox, x, y, width, height);
    made.hwnd = NewChild(*w, L"Button", caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0,
                         win32::ControlIdBase + control);
    return AddControl(window, control, std::move(made));
}

bool Win32Toolkit::CreateContainer(int window, int control, int x, int y, int width, int height,
                                   int edge) {
    Win32Window* w = FindTop(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    Win32Control made = NewControl(Win32Kind::Container, x, y, width, height);
    // Tab and Shift+Tab go through its children as through the window's own.
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (edge == EdgeThinSunken) exStyle |= WS_EX_STATICEDGE;
    made.hwnd = NewChild(*w, win32::ContainerClass, u"", WS_CLIPSIBLINGS, exStyle,
                         win32::ControlIdBase + control);
    HWND frame = made.hwnd;
    if (!AddControl(window, control, std::move(made))) return false;
    w->openContainer = frame;
    return true;
}

void Win32Toolkit::CloseContainer(int window) {
    if (Win32Window* w = FindTop(window)) w->openContainer = nullptr;
}

bool Win32Toolkit::CreateTable(int window, int control, int x, int y, int width, int height,
                               std::u16string_view firstHeading, int firstWidth, unsigned flags) {
    Win32Window* w = FindTop(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    DWORD style = LVS_REPORT | LVS_NOSORTHEADER | WS_TABSTOP;
    if (flags & TableSingleSelection) style |= LVS_SINGLESEL;
    if (flags & TableShowSelectionAlways) style |= LVS_SHOWSELALWAYS;
    Win32Control made = NewControl(Win32Kind::Table, x, y, width, height);
    made.hwnd =
        NewChild(*w, WC_LISTVIEWW, u"", style, (flags & TableSunkenEdge) ? WS_EX_CLIENTEDGE : 0,
                 win32::ControlIdBase + control);
    if (!made.hwnd) return false;
    // The cell tips of the program are asked for each time the pointer rests on a row.
    DWORD extended = LVS_EX_INFOTIP;
    if (flags & TableFullRowSelect) extended |= LVS_EX_FULLROWSELECT;
    if (flags & TableGridLines) extended |= LVS_EX_GRIDLINES;
    if (flags & TableLabelTips) extended |= LVS_EX_LABELTIP;
    if (flags & TableDoubleBuffer) extended |= LVS_EX_DOUBLEBUFFER;
    SendMessageW(made.hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    const std::wstring heading = win32::Wide(firstHeading);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = Scaled(firstWidth);
    column.pszText = const_cast<wchar_t*>(heading.c_str());
    SendMessageW(made.hwnd, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    return AddControl(window, control, std::move(made));
}

void Win32Toolkit::AddTableColumn(int window, int control, int position,
                                  std::u16string_view heading, int width) {
    Win32Control* c = Find(window, control);
    if (!c || c->kind != Win32Kind::Table) return;
    const int count = TableColumnCount(c->hwnd);
    if (position < 0 || position > count) position = count;
    const std::wstring text = win32::Wide(heading);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = Scaled(width);
    column.pszText = const_cast<wchar_t*>(text.c_str());
    const LRESULT at = SendMessageW(c->hwnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(position),
                                    reinterpret_cast<LPARAM>(&column));
    if (at < 0) return;
    for (auto& row : c->colours)
        row.insert(row.begin() + std::min<size_t>(static_cast<size_t>(at), row.size()),
                   DefaultColour);
}

void Win32Toolkit::SetToolTip(int window, int control, std::u16string_view text) {
    Win32Window* w = FindTop(window);
    Win32Control* c = Find(window, control);
    if (!w || !c || !w->toolTips) return;
    std::wstring wide = win32::Wide(text);
    for (HWND part : {c->hwnd, c->arrows}) {
        if (!part) continue;
        TOOLINFOW tool{};
        // The size every version of the common controls accepts.
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = w->hwnd;
        tool.uId = reinterpret_cast<UINT_PTR>(part);
        tool.lpszText = wide.data();
        SendMessageW(w->toolTips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(w->toolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

int Win32Toolkit::ControlX(int window, int control) {
    Win32Control* c = Find(window, control);
    return c ? c->x : 0;
}

int Win32Toolkit::ControlY(int window, int control) {
    Win32Control* c = Find(window, control);
    return c ? c->y : 0;
}

int Win32Toolkit::ControlWidth(int window, int control) {
    Win32Control* c = Find(window, control);
    return c ? c->width : 0;
}

int Win32Toolkit::ControlHeight(int window, int control) {
    Win32Control* c = Find(window, control);
    return c ? c->height : 0;
}

int Win32Toolkit::RequiredWidth(int window, int control) {
    Win32Control* c = Find(window, control);
    if (!c) return 0;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(c->hwnd, WM_GETFONT, 0, 0));
    if (!font) font = font_;
    const std::u16string text = win32::WindowText(c->hwnd);
    // The text's pixels at the screen's DPI, in the window's coordinates, rounded up.
    const int pixels = TextWidthInFont(c->hwnd, font, std::wstring(text.begin(), text.end()));
    const int width = (pixels * win32::BaseDpi + dpi_ - 1) / dpi_;
    switch (c->kind) {
        case Win32Kind::Label:
            return width + LabelTextExtra;
        case Win32Kind::CheckBox:
            return width + CheckBoxTextExtra;
        default:
            return LabelTextExtra;
    }
}

void Win32Toolkit::ResizeControl(int window, int control, int x, int y, int width, int height) {
    Win32Control* c = Find(window, control);
    if (!c) return;
    c->x = x, c->y = y, c->width = std::max(0, width), c->height = std::max(0, height);
    Place(*c);
}

int Win32Toolkit::GetState(int window, int control) {
    Win32Control* c = Find(window, control);
    if (!c) return 0;
    switch (c->kind) {
        case Win32Kind::DropDownList:
            return win32::ComboSelection(c->hwnd);
        case Win32Kind::SpinBox: {
            BOOL failed = FALSE;
            const int value = static_cast<int>(
                SendMessageW(c->arrows, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
            return std::clamp(value, c->minimum, c->maximum);
        }
        case Win32Kind::CheckBox:
            return CheckState(SendMessageW(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED);
        default:
            return 0;
    }
}

void Win32Toolkit::SetState(int window, int control, int state) {
    Win32Control* c = Find(window, control);
    if (!c) return;
    switch (c->kind) {
        case Win32Kind::DropDownList: {
            const int count = static_cast<int>(SendMessageW(c->hwnd, CB_GETCOUNT, 0, 0));
            SendMessageW(c->hwnd, CB_SETCURSEL,
                         static_cast<WPARAM>(state >= 0 && state < count ? state : ComboNoIndex),
                         0);
            break;
        }
        case Win32Kind::SpinBox:
            ShowSpinValue(*c, std::clamp(state, c->minimum, c->maximum));
            break;
        case Win32Kind::CheckBox:
            SendMessageW(c->hwnd, BM_SETCHECK, state != Unchecked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        default:
            break;
    }
}

std::u16string Win32Toolkit::GetText(int window, int control) {
    Win32Control* c = Find(window, control);
    if (!c) return {};
    switch (c->kind) {
        case Win32Kind::DropDownList: {
            const int selected = win32::ComboSelection(c->hwnd);
            return selected != NoSelection ? ComboEntry(c->hwnd, selected) : std::u16string();
        }
        case Win32Kind::Label:
        case Win32Kind::SpinBox:
        case Win32Kind::CheckBox:
            return win32::WindowText(c->hwnd);
        default:
            return {};
    }
}

void Win32Toolkit::SetText(int window, int control, std::u16string_view text) {
    Win32Control* c = Find(window, control);
    if (!c) return;
    switch (c->kind) {
        case Win32Kind::Label:
        case Win32Kind::CheckBox:
            SetWindowTextW(c->hwnd, win32::Wide(text).c_str());
            break;
        case Win32Kind::DropDownList: {
            if (text.empty()) {
                SendMessageW(c->hwnd, CB_SETCURSEL, static_cast<WPARAM>(ComboNoIndex), 0);
                break;
            }
            std::vector<std::u16string> entries;
            const int count = static_cast<int>(SendMessageW(c->hwnd, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) entries.push_back(ComboEntry(c->hwnd, i));
            if (const int found = FindEntryIgnoringCase(entries, text); found >= 0)
                SendMessageW(c->hwnd, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
            break;
        }
        case Win32Kind::SpinBox:
            // The field shows numbers only: a number moves the value, anything else is refused.
            if (auto value = ParseWholeInteger(text))
                ShowSpinValue(*c, std::clamp(static_cast<int>(*value), c->minimum, c->maximum));
            break;
        default:
            break;
    }
}

void Win32Toolkit::AddItem(int window, int control, int position, std::u16string_view text) {
    Win32Control* c = Find(window, control);
    if (!c) return;
    if (c->kind == Win32Kind::DropDownList) {
        const int count = static_cast<int>(SendMessageW(c->hwnd, CB_GETCOUNT, 0, 0));
        if (position < 0 || position > count) position = count;
        const int selected = win32::ComboSelection(c->hwnd);
        SendMessageW(c->hwnd, CB_INSERTSTRING, static_cast<WPARAM>(position),
                     reinterpret_cast<LPARAM>(win32::Wide(text).c_str()));
        // The same entry stays selected when one is inserted before it.
        if (selected != NoSelection)
            SendMessageW(c->hwnd, CB_SETCURSEL,
                         static_cast<WPARAM>(selected + (position <= selected ? 1 : 0)), 0);
    } else if (c->kind == Win32Kind::Table) {
        const int count = static_cast<int>(SendMessageW(c->hwnd, LVM_GETITEMCOUNT, 0, 0));
        if (position < 0 || position > count) position = count;
        const std::vector<std::u16string> pieces = SplitCells(text);
        const int columns = TableColumnCount(c->hwnd);
        std::wstring first = pieces.empty() ? std::wstring() : win32::Wide(pieces[0]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = position;
        item.pszText = first.data();
        const LRESULT row =
            SendMessageW(c->hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (row < 0) return;
        for (int column = 1; column < columns && static_cast<size_t>(column) < pieces.size();
             ++column)
            SetCell(c->hwnd, static_cast<int>(row), column,
                    win32::Wide(pieces[static_cast<size_t>(column)]));
        c->colours.insert(c->colours.begin() + std::min<size_t>(row, c->colours.size()),
                          std::vector<int32_t>(static_cast<size_t>(columns), DefaultColour));
    }
}

void Win32Toolkit::SetItemText(int window, int control, int row, std::u16string_view text,
                               int column) {
    Win32Control* c = Find(window, control);
    if (!c || c->kind != Win32Kind::Table) return;
    const int rows = static_cast<int>(SendMessageW(c->hwnd, LVM_GETITEMCOUNT, 0, 0));
    if (row < 0 || row >= rows || column < 0 || column >= TableColumnCount(c->hwnd)) return;
    // The worker writes every reading's cells each pass, mostly with what they show already.
    const std::wstring wide = win32::Wide(text);
    if (CellHolds(c->hwnd, row, column, wide)) return;
    // The list view marks the whole row for repainting; only this cell changed. What was due
    // before stays due.
    HRGN due = CreateRectRgn(0, 0, 0, 0);
    const int before = GetUpdateRgn(c->hwnd, due, FALSE);
    SetCell(c->hwnd, row, column, wide);
    ValidateRect(c->hwnd, nullptr);
    if (before != NULLREGION && before != ERROR) InvalidateRgn(c->hwnd, due, FALSE);
    DeleteObject(due);
    InvalidateCell(c->hwnd, row, column);
}

void Win32Toolkit::ClearItems(int window, int control) {
    Win32Control* c = Find(window, control);
    if (!c) return;
    if (c->kind == Win32Kind::DropDownList) SendMessageW(c->hwnd, CB_RESETCONTENT, 0, 0);
    if (c->kind == Win32Kind::Table) {
        SendMessageW(c->hwnd, LVM_DELETEALLITEMS, 0, 0);
        c->colours.clear();
    }
}

int Win32Toolkit::CountItems(int window, int control) {
    Win32Control* c = Find(window, control);
    if (!c) return 0;
    if (c->kind == Win32Kind::DropDownList)
        return static_cast<int>(SendMessageW(c->hwnd, CB_GETCOUNT, 0, 0));
    if (c->kind == Win32Kind::Table)
        return static_cast<int>(SendMessageW(c->hwnd, LVM_GETITEMCOUNT, 0, 0));
    return 0;
}

void Win32Toolkit::SetItemColour(int window, int control, int row, int colourKind, int32_t colour,
                                 int column) {
    Win32Control* c = Find(window, control);
    if (!c || c->kind != Win32Kind::Table || colourKind != ColourBackground) return;
    const int rows = static_cast<int>(c->colours.size());
    const int columns = TableColumnCount(c->hwnd);
    if (row != AllRows && (row < 0 || row >= rows)) return;
    if (column != AllColumns && (column < 0 || column >= columns)) return;
    if (colour != DefaultColour) colour &= 0xFFFFFF;
    for (int r = (row == AllRows ? 0 : row); r < (row == AllRows ? rows : row + 1); ++r) {
        auto& cells = c->colours[static_cast<size_t>(r)];
        cells.resize(static_cast<size_t>(columns), DefaultColour);
        for (int k = (column == AllColumns ? 0 : column);
             k < (column == AllColumns ? columns : column + 1); ++k) {
            // Drawn from the colours at the next paint (custom draw, win32_events.cpp); a cell
            // that keeps its colour is not painted again.
            if (std::exchange(cells[static_cast<size_t>(k)], colour) != colour)
                InvalidateCell(c->hwnd, r, k);
        }
    }
}

int32_t Win32Toolkit::TableCellColour(const Win32Control& table, int row, int column) {
    if (row < 0 || column < 0 || static_cast<size_t>(row) >= table.colours.size())
        return DefaultColour;
    const auto& cells = table.colours[static_cast<size_t>(row)];
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)]
                                                      : DefaultColour;
}

}  // namespace kv::ui
