// Acting as the user on the Win32 toolkit: each action sends the messages that the mouse or the
// keyboard would, so the events come from the controls' own notifications.
#include <cstdlib>
#include <vector>

#include "ui/win32/win32_backend.h"
#include "ui/win32/win32_toolkit.h"

namespace kv::ui::win32_user {
namespace {

Win32Control* Control(int window, int control, Win32Kind kind) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    Win32Control* c = toolkit ? toolkit->Find(window, control) : nullptr;
    return c && c->kind == kind ? c : nullptr;
}

Win32Window* Top(int window) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    return toolkit ? toolkit->FindTop(window) : nullptr;
}

void PressKey(HWND hwnd, WPARAM key) {
    SendMessageW(hwnd, WM_KEYDOWN, key, 1);
    SendMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
}

}  // namespace

bool ChooseEntry(int window, int control, int index) {
    Win32Control* list = Control(window, control, Win32Kind::DropDownList);
    if (!list) return false;
    const int count = static_cast<int>(SendMessageW(list->hwnd, CB_GETCOUNT, 0, 0));
    if (index < 0 || index >= count) return false;
    // Open the list, walk to the entry with the keys, take it with Enter. The opening is a
    // user action of its own (OpenDropDown); here it only serves the choice.
    list->choice.quietOpening = true;
    SendMessageW(list->hwnd, CB_SHOWDROPDOWN, TRUE, 0);
    PressKey(list->hwnd, VK_HOME);
    for (int i = 0; i < index; ++i) PressKey(list->hwnd, VK_DOWN);
    PressKey(list->hwnd, VK_RETURN);
    return true;
}

bool OpenDropDown(int window, int control) {
    Win32Control* list = Control(window, control, Win32Kind::DropDownList);
    if (!list) return false;
    SendMessageW(list->hwnd, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(list->hwnd, CB_SHOWDROPDOWN, FALSE, 0);
    return true;
}

bool StepSpinBox(int window, int control, int delta) {
    Win32Control* spin = Control(window, control, Win32Kind::SpinBox);
    if (!spin || delta == 0) return false;
    // A held arrow steps by the acceleration in force; a press of the key by its first stage.
    UDACCEL saved[8] = {};
    const int stages = static_cast<int>(
        SendMessageW(spin->arrows, UDM_GETACCEL, 8, reinterpret_cast<LPARAM>(saved)));
    UDACCEL once{0, static_cast<UINT>(std::abs(delta))};
    SendMessageW(spin->arrows, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&once));
    PressKey(spin->hwnd, delta > 0 ? VK_UP : VK_DOWN);
    if (stages > 0)
        SendMessageW(spin->arrows, UDM_SETACCEL, static_cast<WPARAM>(std::min(stages, 8)),
                     reinterpret_cast<LPARAM>(saved));
    return true;
}

bool ClickCheckBox(int window, int control) {
    Win32Control* box = Control(window, control, Win32Kind::CheckBox);
    if (!box) return false;
    SendMessageW(box->hwnd, BM_CLICK, 0, 0);
    return true;
}

bool ChooseMenuItem(int menu, int item) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    Win32Menu* m = toolkit ? toolkit->FindMenu(menu) : nullptr;
    if (!m || !m->items.count(item)) return false;
    Win32Window* w = toolkit->FindTop(m->window);
    if (!w) return false;
    // What the menu sends its window when an item is chosen.
    SendMessageW(w->hwnd, WM_COMMAND, MAKEWPARAM(win32::MenuIdBase + item, 0), 0);
    return true;
}

bool PressCloseButton(int window) {
    Win32Window* w = Top(window);
    if (!w) return false;
    SendMessageW(w->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

bool EndSession(int window) {
    Win32Window* w = Top(window);
    if (!w) return false;
    if (!SendMessageW(w->hwnd, WM_QUERYENDSESSION, 0, 0)) return false;
    SendMessageW(w->hwnd, WM_ENDSESSION, TRUE, 0);
    return true;
}

int PressTab(int window, bool backward) {
    Win32Window* w = Top(window);
    if (!w) return -1;
    HWND focus = GetFocus();
    MSG message{focus ? focus : w->hwnd, WM_KEYDOWN, VK_TAB, 1, 0, {}};
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    const BYTE shift = keys[VK_SHIFT];
    keys[VK_SHIFT] = backward ? 0x80 : 0;
    SetKeyboardState(keys);
    IsDialogMessageW(w->hwnd, &message);
    keys[VK_SHIFT] = shift;
    SetKeyboardState(keys);
    auto found = w->byHandle.find(GetFocus());
    return found == w->byHandle.end() ? -1 : found->second;
}

std::u16string CellText(int window, int control, int row, int column) {
    Win32Control* table = Control(window, control, Win32Kind::Table);
    if (!table) return {};
    std::vector<wchar_t> text(1024, L'\0');
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = text.data();
    cell.cchTextMax = static_cast<int>(text.size());
    const LRESULT length = SendMessageW(table->hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                        reinterpret_cast<LPARAM>(&cell));
    return win32::Narrow(cell.pszText, static_cast<size_t>(length > 0 ? length : 0));
}

int32_t CellColour(int window, int control, int row, int column) {
    Win32Control* table = Control(window, control, Win32Kind::Table);
    return table ? Win32Toolkit::TableCellColour(*table, row, column) : DefaultColour;
}

std::u16string StatusText(int bar, int field) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    Win32StatusBar* b = toolkit ? toolkit->FindBar(bar) : nullptr;
    if (!b || field < 0) return {};
    const LRESULT length = SendMessageW(b->hwnd, SB_GETTEXTLENGTHW, static_cast<WPARAM>(field), 0);
    std::vector<wchar_t> text(static_cast<size_t>(LOWORD(length)) + 1, L'\0');
    SendMessageW(b->hwnd, SB_GETTEXTW, static_cast<WPARAM>(field),
                 reinterpret_cast<LPARAM>(text.data()));
    return win32::Narrow(text.data(), LOWORD(length));
}

std::u16string WindowTitle(int window) {
    Win32Window* w = Top(window);
    return w ? win32::WindowText(w->hwnd) : std::u16string();
}

bool WindowVisible(int window) {
    Win32Window* w = Top(window);
    return w && IsWindowVisible(w->hwnd);
}

void OnNextMessageBox(std::function<void()> whileOpen) {
    if (Win32Toolkit* toolkit = InstalledWin32Toolkit())
        toolkit->nextBoxAction = std::move(whileOpen);
}

void KeepNextMessageBoxOpen() {
    if (Win32Toolkit* toolkit = InstalledWin32Toolkit()) {
        toolkit->keepNextBoxOpen = true;
        if (!toolkit->nextBoxAction) toolkit->nextBoxAction = [] {};
    }
}

void DismissMessageBox() {
    if (Win32Toolkit* toolkit = InstalledWin32Toolkit()) toolkit->DismissMessageBox();
}

void ProcessPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int32_t PixelAt(int window, int control, int x, int y) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    Win32Control* c = toolkit ? toolkit->Find(window, control) : nullptr;
    if (!c) return -1;
    RECT client{};
    GetClientRect(c->hwnd, &client);
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) return -1;
    // Painted into a memory bitmap as the control paints itself on the screen.
    HDC screen = GetDC(c->hwnd);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(c->hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                 PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF pixel = GetPixel(memory, x, y);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(c->hwnd, screen);
    return pixel == CLR_INVALID ? -1 : static_cast<int32_t>(pixel);
}

}  // namespace kv::ui::win32_user
