// The Win32 implementation's objects. Everything here lives on the window thread, except
// Wake and the message-box dismissal, which only post messages.
#pragma once
#include <windows.h>

// Needs the types of windows.h before it.
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit_backend.h"

namespace kv::ui {

namespace win32 {
// The DPI at which the program's coordinates are given.
inline constexpr int BaseDpi = 96;
}  // namespace win32

enum class Win32Kind { Label, DropDownList, SpinBox, CheckBox, Container, Table, Canvas };

// A drop-down list reports one Changed per choice of the user, whatever the order in which
// the platform's notifications arrive (see win32_events.cpp).
struct Win32ListChoice {
    // lastReported when no choice waits for its last notification: not even NoSelection.
    static constexpr int NoneReported = NoSelection - 1;
    bool dropped = false;
    int selectionAtDrop = NoSelection;
    bool reportedWhileDropped = false;
    int lastReported =
        NoneReported;           // selection reported by the end of a choice, until the next change
    bool quietOpening = false;  // the next opening is part of a choice a test makes; no report
};

// A spin box arrow step between its announcement and the moment the value moved.
struct Win32SpinStep {
    bool pending = false;
    int oldValue = 0;
    int delta = 0;
};

struct Win32Control {
    Win32Kind kind = Win32Kind::Label;
    HWND hwnd = nullptr;
    HWND arrows = nullptr;  // spin box: the up-down control beside its field (hwnd)
    // As placed, in the parent's coordinates at 96 DPI (see Win32Toolkit::Scaled).
    int x = 0, y = 0, width = 0, height = 0;
    int minimum = 0, maximum = 0;
    Win32ListChoice choice;
    Win32SpinStep step;
    std::vector<std::vector<int32_t>> colours;  // table: one background per cell
    // Canvas: distances to the client area's right and bottom edges kept when stretched (at
    // 96 DPI), and where the pointer is (in the screen's pixels, as it draws).
    bool stretch = false;
    int rightGap = 0, bottomGap = 0;
    bool pointerInside = false;
    int pointerX = 0, pointerY = 0;
    bool repaintWaiting = false;  // a paint asked for later, its timer running
};

struct Win32Window {
    HWND hwnd = nullptr;
    DWORD style = 0;
    int minimumWidth = 0, minimumHeight = 0;  // client size at 96 DPI, menu bar counted in
    int menu = -1, statusBar = -1;
    HWND openContainer = nullptr;
    HWND toolTips = nullptr;
    HWND lastFocus = nullptr;  // the control that had the keyboard when the window went inactive
    std::map<int, Win32Control> controls;
    std::map<HWND, int> byHandle;  // every child handle (field and arrows too) to its control
};

struct Win32Menu {
    int window = -1;
    HMENU bar = nullptr;
    HMENU current = nullptr;
    std::map<int, HMENU> items;  // item number to the popup that holds it
};

struct Win32StatusBar {
    int window = -1;
    HWND hwnd = nullptr;
    std::vector<int> widths;            // as given; FillWidth shares what the fixed ones leave
    std::vector<std::u16string> texts;  // what each field shows
};

class Win32Toolkit final : public ToolkitBackend {
  public:
    Win32Toolkit();
    ~Win32Toolkit() override;

    void DestroyAll() override;
    void Wake() override;
    void WaitForActivity() override;
    int OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
                   std::u16string_view title, unsigned flags) override;
    void HideWindow(int window, bool hide) override;
    void ResizeWindow(int window, int clientWidth) override;
    int WindowWidth(int window) override;
    int WindowHeight(int window) override;
    int MenuBarHeight() override;
    int CreateMenuBar(int menu, int window) override;
    void AddMenuTitle(int menu, std::u16string_view title) override;
    void AddMenuItem(int menu, int item, std::u16string_view text) override;
    void AddMenuSeparator(int menu) override;
    int GetMenuItemState(int menu, int item) override;
    void SetMenuItemState(int menu, int item, bool checked) override;
    ScreenRect WindowFrame(int window) override;
    ScreenRect ScreenWorkArea(int window) override;
    void PlaceWindow(int window, int x, int y, int clientWidth, int clientHeight) override;
    void SetMinimumWindowSize(int window, int clientWidth, int clientHeight) override;
    void SetWindowOwner(int window, int owner) override;
    bool WindowExists(int window) override { return FindTop(window) != nullptr; }
    bool ControlExists(int window, int control) override;
    bool CreateLabel(int window, int control, int x, int y, int width, int height,
                     std::u16string_view text) override;
    bool CreateDropDownList(int window, int control, int x, int y, int width, int height) override;
    bool CreateSpinBox(int window, int control, int x, int y, int width, int height, int minimum,
                       int maximum, unsigned flags) override;
    bool CreateCheckBox(int window, int control, int x, int y, int width, int height,
                        std::u16string_view caption) override;
    bool CreateContainer(int window, int control, int x, int y, int width, int height,
                         int edge) override;
    void CloseContainer(int window) override;
    bool CreateTable(int window, int control, int x, int y, int width, int height,
                     std::u16string_view firstHeading, int firstWidth, unsigned flags) override;
    void AddTableColumn(int window, int control, int position, std::u16string_view heading,
                        int width) override;
    void SetToolTip(int window, int control, std::u16string_view text) override;
    int ControlX(int window, int control) override;
    int ControlY(int window, int control) override;
    int ControlWidth(int window, int control) override;
    int ControlHeight(int window, int control) override;
    int RequiredWidth(int window, int control) override;
    void ResizeControl(int window, int control, int x, int y, int width, int height) override;
    int GetState(int window, int control) override;
    void SetState(int window, int control, int state) override;
    std::u16string GetText(int window, int control) override;
    void SetText(int window, int control, std::u16string_view text) override;
    void AddItem(int window, int control, int position, std::u16string_view text) override;
    void SetItemText(int window, int control, int row, std::u16string_view text,
                     int column) override;
    void ClearItems(int window, int control) override;
    int CountItems(int window, int control) override;
    void SetItemColour(int window, int control, int row, int colourKind, int32_t colour,
                       int column) override;
    bool CreateCanvas(int window, int control, int x, int y, int width, int height,
                      unsigned flags) override;
    void RepaintControl(int window, int control, int afterMs) override;
    bool CanvasPointer(int window, int control, int& x, int& y) override;
    bool SaveCanvasImage(int window, int control, std::u16string_view path) override;
    int CreateStatusBar(int bar, int window) override;
    void AddStatusField(int bar, int width) override;
    int StatusBarHeight(int bar) override;
    void SetStatusText(int bar, int field, std::u16string_view text) override;
    void ShowMessageBox(std::u16string_view caption, std::u16string_view text) override;

    // --- for the window procedures and win32_user -----------------------------------------
    Win32Window* FindTop(int window);
    Win32Control* Find(int window, int control);
    Win32Menu* FindMenu(int menu);
    Win32StatusBar* FindBar(int bar);
    int WindowOf(HWND top);  // -1 when it is none of ours
    // Turns a notification of a child into the program's events (win32_events.cpp). True when
    // the message was one of ours and `result` holds the answer.
    bool OnChildMessage(int window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    LRESULT OnTopMessage(int window, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnWakeMessage(UINT message);
    static int32_t TableCellColour(const Win32Control& table, int row, int column);
    // The user changed the size of a resizable window: stretched canvases follow.
    void FollowWindowSize(int window);
    // What a canvas is told (win32_canvas.cpp).
    LRESULT OnCanvasMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Paints a canvas into `dc`, its whole client area.
    void PaintCanvasInto(HWND hwnd, HDC dc);
    // The whole text of the bar's field at a point of the screen when the field cuts it off;
    // empty when it shows whole or no field is there.
    std::u16string StatusTip(const Win32StatusBar& bar, POINT screen);
    void SetSessionEndAction(void (*action)()) { sessionEndAction_ = action; }

    // The program's coordinates and widths count pixels at 96 DPI; the screen's are scaled
    // from them (system DPI), so at 96 DPI the two are the same.
    int Scaled(int length) const { return MulDiv(length, dpi_, win32::BaseDpi); }
    int Unscaled(int pixels) const { return MulDiv(pixels, win32::BaseDpi, dpi_); }
    // Tests: a screen of this DPI in place of the system's; set before any window is made.
    void SetScreenDpi(int dpi) { dpi_ = dpi > 0 ? dpi : win32::BaseDpi; }

    std::function<void()> nextBoxAction;
    bool keepNextBoxOpen = false;
    // Any thread: closes the open message box, or the next one as soon as it opens.
    void DismissMessageBox();
    HFONT Font() const { return font_; }

  private:
    bool AddControl(int window, int control, Win32Control made);
    HWND ParentFor(Win32Window& window);
    HWND NewChild(Win32Window& window, const wchar_t* windowClass, std::u16string_view text,
                  DWORD style, DWORD exStyle, int id);
    static Win32Control NewControl(Win32Kind kind, int x, int y, int width, int height);
    // Moves the control's windows to its coordinates, scaled to the screen.
    void Place(const Win32Control& control);
    void PlaceStatusBar(Win32Window& window);
    // Gives the keyboard to `candidate` when it is a control of the window that can take it,
    // else to the control that had it last, else to the first one.
    void RestoreFocus(Win32Window& window, HWND candidate);
    int FrameHeightWithoutMenu(const Win32Window& window);
    // The outer size of a window of this client size at 96 DPI (menu bar counted in), in the
    // screen's pixels.
    SIZE OuterSize(const Win32Window& window, int clientWidth, int clientHeight);
    ScreenRect Unscaled(const RECT& rect) const;
    int ClientAndMenuHeight(const Win32Window& window);  // screen pixels
    HWND OpenMessageBox();
    void CloseOpenMessageBox();
    void Dispatch(MSG& message);

    HWND wake_ = nullptr;  // message-only window that receives the wake-ups
    HFONT font_ = nullptr;
    std::wstring shownTip_;  // the text a tooltip asked for last; it reads it after the answer
    int dpi_ = win32::BaseDpi;
    std::atomic<bool> wakePosted_{false};
    std::map<int, Win32Window> windows_;
    std::map<int, Win32Menu> menus_;
    std::map<int, Win32StatusBar> bars_;
    int boxDepth_ = 0;
    bool dismissWaiting_ = false;
    void (*sessionEndAction_)() = nullptr;
};

Win32Toolkit* InstalledWin32Toolkit();

// Message numbers and identifiers shared by the files of the implementation.
namespace win32 {
// Child window identifiers: a control's number is offset so that it never meets the
// identifiers the dialog manager sends on its own (IDOK, IDCANCEL for Enter and Escape).
inline constexpr int ControlIdBase = 0x1000;
inline constexpr int ArrowsIdBase = 0x5000;  // the up-down half of a spin box
inline constexpr int MenuIdBase = 0x9000;
inline constexpr int StatusBarIdBase = 0xA000;
inline constexpr int MinimumStatusBarHeight = 18;
// What a status bar part leaves for its text, less than its width: edges and margins.
inline constexpr int StatusTextInset = 8;
inline constexpr wchar_t TopClass[] = L"KalorivoxWindow";
inline constexpr wchar_t ContainerClass[] = L"KalorivoxFrame";
inline constexpr wchar_t WakeClass[] = L"KalorivoxWake";
inline constexpr wchar_t CanvasClass[] = L"KalorivoxCanvas";
// Posted to the wake window: serve what waits; run the test's message-box action; close the
// open message box.
UINT WakeMessage();
inline constexpr UINT BoxOpenedMessage = WM_APP + 1;
inline constexpr UINT BoxDismissMessage = WM_APP + 2;
std::wstring Wide(std::u16string_view text);
std::u16string Narrow(const wchar_t* text, size_t length);
std::u16string WindowText(HWND hwnd);
// The selected entry of a drop-down list, or NoSelection.
int ComboSelection(HWND list);
}  // namespace win32

}  // namespace kv::ui
