// Win32 implementation: windows, menus, the status bar, message boxes and the message loop.
#include "ui/win32/win32_backend.h"

#include <algorithm>
#include <utility>

#include "ui/win32/win32_toolkit.h"

namespace kv::ui {
namespace {

// The program's icon in its resources; a program without one gets the system's.
constexpr int ProgramIconId = 1;
constexpr char WakeMessageName[] = "KalorivoxWake";

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

LRESULT CALLBACK TopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    const int window = toolkit ? toolkit->WindowOf(hwnd) : -1;
    if (window < 0) return DefWindowProcW(hwnd, message, wParam, lParam);
    return toolkit->OnTopMessage(window, hwnd, message, wParam, lParam);
}

// A container passes its children's notifications on to the window it belongs to.
LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Toolkit* toolkit = InstalledWin32Toolkit();
    const int window = toolkit ? toolkit->WindowOf(GetAncestor(hwnd, GA_ROOT)) : -1;
    LRESULT result = 0;
    if (window >= 0 && toolkit->OnChildMessage(window, message, wParam, lParam, result))
        return result;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK WakeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == win32::WakeMessage() || message == win32::BoxOpenedMessage ||
        message == win32::BoxDismissMessage) {
        if (Win32Toolkit* toolkit = InstalledWin32Toolkit()) toolkit->OnWakeMessage(message);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClasses() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    WNDCLASSW top{};
    top.lpfnWndProc = TopProc;
    top.hInstance = Instance();
    top.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(ProgramIconId));
    if (!top.hIcon) top.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    top.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    top.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);  // dialog colour
    top.lpszClassName = win32::TopClass;
    RegisterClassW(&top);

    WNDCLASSW frame = top;
    frame.lpfnWndProc = ContainerProc;
    frame.hIcon = nullptr;
    frame.lpszClassName = win32::ContainerClass;
    RegisterClassW(&frame);

    WNDCLASSW wake{};
    wake.lpfnWndProc = WakeProc;
    wake.hInstance = Instance();
    wake.lpszClassName = win32::WakeClass;
    RegisterClassW(&wake);
}

BOOL CALLBACK FindBoxOfThread(HWND hwnd, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, 16);
    // The class of dialog boxes, which is what MessageBoxW makes.
    if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

namespace win32 {

UINT WakeMessage() {
    static const UINT message = RegisterWindowMessageA(WakeMessageName);
    return message;
}

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string Narrow(const wchar_t* text, size_t length) {
    return std::u16string(text, text + length);
}

std::u16string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    return Narrow(text.data(), static_cast<size_t>(std::max(0, got)));
}

int ComboSelection(HWND list) {
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? NoSelection : static_cast<int>(index);
}

}  // namespace win32

void InstallWin32Toolkit() {
    InstallToolkitBackend(std::make_unique<Win32Toolkit>());
}

void Win32SetSessionEndAction(void (*action)()) {
    if (Win32Toolkit* toolkit = InstalledWin32Toolkit()) toolkit->SetSessionEndAction(action);
}

void DismissMessageBoxForClose() {
    if (Win32Toolkit* toolkit = InstalledWin32Toolkit()) toolkit->DismissMessageBox();
}

Win32Toolkit* InstalledWin32Toolkit() {
    return dynamic_cast<Win32Toolkit*>(InstalledToolkitBackend());
}

Win32Toolkit::Win32Toolkit() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    RegisterClasses();
    font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // The program declares itself DPI-aware (common_controls.manifest): the system's DPI is
    // the screen's, and the window font and the system metrics are already scaled to it.
    HDC screen = GetDC(nullptr);
    SetScreenDpi(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    wake_ = CreateWindowExW(0, win32::WakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            Instance(), nullptr);
}

Win32Toolkit::~Win32Toolkit() {
    DestroyAll();
    if (wake_) DestroyWindow(wake_);
}

void Win32Toolkit::DestroyAll() {
    for (auto& [id, w] : windows_) {
        if (w.toolTips) DestroyWindow(w.toolTips);
        DestroyWindow(w.hwnd);  // takes its children and its menu bar along
    }
    windows_.clear();
    menus_.clear();
    bars_.clear();
}

void Win32Toolkit::Wake() {
    // Any thread. One wake-up on its way is enough; the flag is cleared before serving.
    if (!wakePosted_.exchange(true)) {
        if (!PostMessageW(wake_, win32::WakeMessage(), 0, 0)) wakePosted_ = false;
    }
}

void Win32Toolkit::OnWakeMessage(UINT message) {
    if (message == win32::WakeMessage()) {
        wakePosted_ = false;
        ToolkitEvents().ServePending();
        return;
    }
    if (message == win32::BoxDismissMessage) {
        if (boxDepth_ > 0 && OpenMessageBox())
            CloseOpenMessageBox();
        else
            dismissWaiting_ = true;
        return;
    }
    // BoxOpenedMessage: the first message the box's modal loop takes.
    if (std::exchange(dismissWaiting_, false)) {
        CloseOpenMessageBox();
        return;
    }
    const bool keepOpen = std::exchange(keepNextBoxOpen, false);
    if (nextBoxAction) {
        std::function<void()> action = std::move(nextBoxAction);
        nextBoxAction = nullptr;
        action();
        if (!keepOpen) CloseOpenMessageBox();
    }
}

void Win32Toolkit::Dispatch(MSG& message) {
    // Tab and Shift+Tab move the focus through the controls, as in a dialog box.
    HWND top = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top && WindowOf(top) >= 0 && IsDialogMessageW(top, &message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Win32Toolkit::WaitForActivity() {
    // Blocks in GetMessageW until the system delivers something: no timer, no polling.
    // A quit message (GetMessageW returns 0) is dropped: the program ends through its close
    // events, never through the message loop.
    MSG message;
    if (GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message);
}

Win32Window* Win32Toolkit::FindTop(int window) {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

Win32Menu* Win32Toolkit::FindMenu(int menu) {
    auto found = menus_.find(menu);
    return found == menus_.end() ? nullptr : &found->second;
}

Win32StatusBar* Win32Toolkit::FindBar(int bar) {
    auto found = bars_.find(bar);
    return found == bars_.end() ? nullptr : &found->second;
}

int Win32Toolkit::WindowOf(HWND top) {
    for (auto& [id, w] : windows_)
        if (w.hwnd == top) return id;
    return -1;
}

int Win32Toolkit::OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
                             std::u16string_view title, unsigned flags) {
    if (window < 0 || windows_.count(window) || clientWidth < 0 || clientHeight < 0) return 0;
    // Fixed size unless asked for: a caption, no sizing border, no maximise button.
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    if (flags & WindowSystemMenu) style |= WS_SYSMENU;
    if (flags & WindowMinimiseButton) style |= WS_MINIMIZEBOX;
    if (flags & WindowResizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    RECT outer{0, 0, Scaled(clientWidth), Scaled(clientHeight)};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    if (flags & WindowCentred) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        x = work.left + (work.right - work.left - width) / 2;
        y = work.top + (work.bottom - work.top - height) / 2;
    } else {
        x = Scaled(x), y = Scaled(y);
    }
    Win32Window& w = windows_[window];
    w.style = style;
    w.hwnd = CreateWindowExW(exStyle, win32::TopClass, win32::Wide(title).c_str(), style, x, y,
                             width, height, nullptr, nullptr, Instance(), nullptr);
    if (!w.hwnd) {
        windows_.erase(window);
        return 0;
    }
    HICON icon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(ProgramIconId),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    if (icon) SendMessageW(w.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    w.toolTips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w.hwnd,
                                 nullptr, Instance(), nullptr);
    if (!(flags & WindowHidden)) HideWindow(window, false);
    return 1;
}

void Win32Toolkit::HideWindow(int window, bool hide) {
    Win32Window* w = FindTop(window);
    if (!w) return;
    if (hide) {
        ShowWindow(w->hwnd, SW_HIDE);
        return;
    }
    ShowWindow(w->hwnd, SW_SHOW);
    SetForegroundWindow(w->hwnd);
    // The keyboard starts on the first control that takes it.
    if (HWND first = GetNextDlgTabItem(w->hwnd, nullptr, FALSE)) SetFocus(first);
    UpdateWindow(w->hwnd);
}

int Win32Toolkit::FrameHeightWithoutMenu(const Win32Window& window) {
    RECT outer{0, 0, 0, 0};
    AdjustWindowRectEx(&outer, window.style, FALSE, WS_EX_CONTROLPARENT);
    return outer.bottom - outer.top;
}

void Win32Toolkit::ResizeWindow(int window, int clientWidth) {
    Win32Window* w = FindTop(window);
    if (!w || clientWidth < 0) return;
    RECT outer{0, 0, Scaled(clientWidth), 0};
    AdjustWindowRectEx(&outer, w->style, FALSE, WS_EX_CONTROLPARENT);
    RECT now{};
    GetWindowRect(w->hwnd, &now);
    SetWindowPos(w->hwnd, nullptr, 0, 0, outer.right - outer.left, now.bottom - now.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceStatusBar(*w);
}

SIZE Win32Toolkit::OuterSize(const Win32Window& window, int clientWidth, int clientHeight) {
    RECT outer{0, 0, Scaled(clientWidth), 0};
    AdjustWindowRectEx(&outer, window.style, FALSE, WS_EX_CONTROLPARENT);
    return SIZE{outer.right - outer.left, FrameHeightWithoutMenu(window) + Scaled(clientHeight)};
}

ScreenRect Win32Toolkit::Unscaled(const RECT& rect) const {
    const int left = Unscaled(int(rect.left)), top = Unscaled(int(rect.top));
    return {left, top, Unscaled(int(rect.right)) - left, Unscaled(int(rect.bottom)) - top};
}

ScreenRect Win32Toolkit::WindowFrame(int window) {
    Win32Window* w = FindTop(window);
    RECT outer{};
    if (!w || !GetWindowRect(w->hwnd, &outer)) return {};
    return Unscaled(outer);
}

ScreenRect Win32Toolkit::ScreenWorkArea(int window) {
    Win32Window* w = FindTop(window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (w && GetMonitorInfoW(MonitorFromWindow(w->hwnd, MONITOR_DEFAULTTONEAREST), &monitor))
        return Unscaled(monitor.rcWork);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return Unscaled(work);
}

void Win32Toolkit::PlaceWindow(int window, int x, int y, int clientWidth, int clientHeight) {
    Win32Window* w = FindTop(window);
    if (!w) return;
    const SIZE outer = OuterSize(*w, clientWidth, clientHeight);
    // Hidden or shown, the window is told of its size (WM_SIZE): the status bar and the
    // stretched canvases follow.
    SetWindowPos(w->hwnd, nullptr, Scaled(x), Scaled(y), outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Toolkit::SetMinimumWindowSize(int window, int clientWidth, int clientHeight) {
    Win32Window* w = FindTop(window);
    if (!w || !(w->style & WS_THICKFRAME)) return;
    w->minimumWidth = clientWidth;
    w->minimumHeight = clientHeight;
    // The limit holds for the user's sizing (WM_GETMINMAXINFO); a smaller window grows to it.
    RECT now{};
    GetWindowRect(w->hwnd, &now);
    const SIZE least = OuterSize(*w, clientWidth, clientHeight);
    if (now.right - now.left < least.cx || now.bottom - now.top < least.cy)
        SetWindowPos(w->hwnd, nullptr, 0, 0, std::max<LONG>(now.right - now.left, least.cx),
                     std::max<LONG>(now.bottom - now.top, least.cy),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Toolkit::SetWindowOwner(int window, int owner) {
    Win32Window* w = FindTop(window);
    Win32Window* o = FindTop(owner);
    if (!w) return;
    // For a window that is no child, this index names its owner.
    SetWindowLongPtrW(w->hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(o ? o->hwnd : nullptr));
}

int Win32Toolkit::WindowWidth(int window) {
    Win32Window* w = FindTop(window);
    if (!w) return 0;
    RECT client{};
    GetClientRect(w->hwnd, &client);
    return Unscaled(client.right);
}

int Win32Toolkit::ClientAndMenuHeight(const Win32Window& window) {
    // The outer height less caption and borders: the client area with the menu bar in it.
    RECT outer{};
    GetWindowRect(window.hwnd, &outer);
    return outer.bottom - outer.top - FrameHeightWithoutMenu(window);
}

int Win32Toolkit::WindowHeight(int window) {
    Win32Window* w = FindTop(window);
    return w ? Unscaled(ClientAndMenuHeight(*w)) : 0;
}

int Win32Toolkit::MenuBarHeight() {
    // What a window with a one-line menu bar gives up of its client area.
    for (auto& [id, w] : windows_) {
        if (w.menu < 0) continue;
        RECT client{};
        GetClientRect(w.hwnd, &client);
        return Unscaled(ClientAndMenuHeight(w) - client.bottom);
    }
    return Unscaled(GetSystemMetrics(SM_CYMENU));
}

int Win32Toolkit::CreateMenuBar(int menu, int window) {
    Win32Window* w = FindTop(window);
    if (!w || menu < 0 || menus_.count(menu) || w->menu >= 0) return 0;
    HMENU bar = CreateMenu();
    if (!bar) return 0;
    // The outer size stays: the menu bar takes its height from the client area.
    SetMenu(w->hwnd, bar);
    w->menu = menu;
    menus_[menu] = Win32Menu{window, bar, nullptr, {}};
    PlaceStatusBar(*w);
    return 1;
}

void Win32Toolkit::AddMenuTitle(int menu, std::u16string_view title) {
    Win32Menu* m = FindMenu(menu);
    if (!m) return;
    HMENU popup = CreatePopupMenu();
    AppendMenuW(m->bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup),
                win32::Wide(title).c_str());
    m->current = popup;
    if (Win32Window* w = FindTop(m->window)) DrawMenuBar(w->hwnd);
}

void Win32Toolkit::AddMenuItem(int menu, int item, std::u16string_view text) {
    Win32Menu* m = FindMenu(menu);
    if (!m || !m->current || item < 0 || item >= win32::StatusBarIdBase - win32::MenuIdBase ||
        m->items.count(item))
        return;
    AppendMenuW(m->current, MF_STRING, static_cast<UINT_PTR>(win32::MenuIdBase + item),
                win32::Wide(text).c_str());
    m->items[item] = m->current;
}

void Win32Toolkit::AddMenuSeparator(int menu) {
    if (Win32Menu* m = FindMenu(menu); m && m->current)
        AppendMenuW(m->current, MF_SEPARATOR, 0, nullptr);
}

int Win32Toolkit::GetMenuItemState(int menu, int item) {
    Win32Menu* m = FindMenu(menu);
    if (!m || !m->items.count(item)) return 0;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    if (!GetMenuItemInfoW(m->items[item], win32::MenuIdBase + item, FALSE, &info)) return 0;
    return CheckState((info.fState & MFS_CHECKED) != 0);
}

void Win32Toolkit::SetMenuItemState(int menu, int item, bool checked) {
    Win32Menu* m = FindMenu(menu);
    if (!m || !m->items.count(item)) return;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    GetMenuItemInfoW(m->items[item], win32::MenuIdBase + item, FALSE, &info);
    info.fState = checked ? (info.fState | MFS_CHECKED) : (info.fState & ~MFS_CHECKED);
    SetMenuItemInfoW(m->items[item], win32::MenuIdBase + item, FALSE, &info);
}

void Win32Toolkit::PlaceStatusBar(Win32Window& window) {
    Win32StatusBar* b = FindBar(window.statusBar);
    if (!b) return;
    // The bar puts itself at the bottom of its parent's client area when told of a new size.
    SendMessageW(b->hwnd, WM_SIZE, 0, 0);
    RECT client{};
    GetClientRect(window.hwnd, &client);
    int fixed = 0, fills = 0;
    for (int width : b->widths) {
        if (width == FillWidth)
            ++fills;
        else
            fixed += Scaled(std::max(0, width));
    }
    const int share = fills > 0 ? std::max(0, int(client.right) - fixed) / fills : 0;
    std::vector<int> edges;
    int edge = 0;
    for (size_t i = 0; i < b->widths.size(); ++i) {
        edge += b->widths[i] == FillWidth ? share : Scaled(std::max(0, b->widths[i]));
        // The last field reaches the right edge, whatever rounding left over.
        edges.push_back(i + 1 == b->widths.size() && fills > 0 ? -1 : edge);
    }
    if (edges.empty()) edges.push_back(-1);
    SendMessageW(b->hwnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

int Win32Toolkit::CreateStatusBar(int bar, int window) {
    Win32Window* w = FindTop(window);
    if (!w || bar < 0 || bars_.count(bar) || w->statusBar >= 0) return 0;
    // No sizing grip: the window has no sizing border.
    HWND hwnd = CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0, w->hwnd,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(win32::StatusBarIdBase + bar)), Instance(),
        nullptr);
    if (!hwnd) return 0;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageW(hwnd, SB_SETMINHEIGHT, static_cast<WPARAM>(Scaled(win32::MinimumStatusBarHeight)),
                 0);
    bars_[bar] = Win32StatusBar{window, hwnd, {}, {}};
    // A text cut off at the window's edge is shown whole when the pointer rests on it: a tool of
    // the window's tooltips whose text is asked for each time (win32_events.cpp). The bar's own
    // tooltips would only show texts set for parts without text.
    if (w->toolTips) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = w->hwnd;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(w->toolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    w->statusBar = bar;
    PlaceStatusBar(*w);
    return 1;
}

void Win32Toolkit::AddStatusField(int bar, int width) {
    Win32StatusBar* b = FindBar(bar);
    if (!b) return;
    b->widths.push_back(width == FillWidth ? FillWidth : std::max(0, width));
    if (Win32Window* w = FindTop(b->window)) PlaceStatusBar(*w);
}

int Win32Toolkit::StatusBarHeight(int bar) {
    Win32StatusBar* b = FindBar(bar);
    if (!b) return 0;
    RECT rect{};
    GetWindowRect(b->hwnd, &rect);
    return Unscaled(rect.bottom - rect.top);
}

void Win32Toolkit::SetStatusText(int bar, int field, std::u16string_view text) {
    Win32StatusBar* b = FindBar(bar);
    if (!b || field < 0 || field >= static_cast<int>(std::max<size_t>(1, b->widths.size()))) return;
    // A line set again unchanged has nothing to repaint.
    b->texts.resize(std::max(b->texts.size(), static_cast<size_t>(field) + 1));
    if (b->texts[static_cast<size_t>(field)] == text) return;
    b->texts[static_cast<size_t>(field)] = text;
    const std::wstring wide = win32::Wide(text);
    SendMessageW(b->hwnd, SB_SETTEXTW, static_cast<WPARAM>(field),
                 reinterpret_cast<LPARAM>(wide.c_str()));
}

std::u16string Win32Toolkit::StatusTip(const Win32StatusBar& bar, POINT screen) {
    POINT at = screen;
    ScreenToClient(bar.hwnd, &at);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(bar.hwnd, WM_GETFONT, 0, 0));
    for (size_t field = 0; field < bar.texts.size(); ++field) {
        RECT part{};
        if (!SendMessageW(bar.hwnd, SB_GETRECT, field, reinterpret_cast<LPARAM>(&part)) ||
            !PtInRect(&part, at))
            continue;
        const std::u16string& text = bar.texts[field];
        HDC dc = GetDC(bar.hwnd);
        HGDIOBJ old = SelectObject(dc, font ? font : font_);
        SIZE size{};
        GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()),
                              static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(bar.hwnd, dc);
        // The bar draws the text inside the part's edges, a few pixels in.
        const bool cut = size.cx > part.right - part.left - Scaled(win32::StatusTextInset);
        return cut ? text : std::u16string();
    }
    return {};
}

HWND Win32Toolkit::OpenMessageBox() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBoxOfThread, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Win32Toolkit::CloseOpenMessageBox() {
    if (HWND box = OpenMessageBox()) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

void Win32Toolkit::DismissMessageBox() {
    // Any thread: the window thread finds and closes the box when it takes the message.
    PostMessageW(wake_, win32::BoxDismissMessage, 0, 0);
}

void Win32Toolkit::ShowMessageBox(std::u16string_view caption, std::u16string_view text) {
    HWND owner = GetForegroundWindow();
    if (!owner || WindowOf(owner) < 0) {
        owner = nullptr;
        for (auto& [id, w] : windows_)
            if (IsWindowVisible(w.hwnd)) {
                owner = w.hwnd;
                break;
            }
    }
    // Taken by the box's own message loop once the box exists: runs what a test asked for and
    // honours a dismissal that came before the box was there.
    PostMessageW(wake_, win32::BoxOpenedMessage, 0, 0);
    ++boxDepth_;
    // The modal loop dispatches the wake-ups, so calls from the worker keep being served.
    MessageBoxW(owner, win32::Wide(text).c_str(), win32::Wide(caption).c_str(),
                MB_OK | (owner ? MB_APPLMODAL : MB_TASKMODAL));
    --boxDepth_;
}

}  // namespace kv::ui
