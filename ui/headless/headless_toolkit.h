// A toolkit without a screen: it keeps every window, control, menu and status bar as data,
// lets tests act as the user and lets them look at everything.
//
// Metrics are fixed so that layout tests are exact: every character (code point) of a text
// is CharWidth pixels wide, a menu bar is MenuBarPixels high, a status bar StatusBarPixels,
// and windows are centred on a ScreenWidth x ScreenHeight screen without a frame (a window's
// frame is its client area with the menu bar), all of which windows may take unless a test
// gives the screen another work area (setWorkArea).
//
// Threads. The thread that installs the toolkit is the window thread. The user actions below
// run on the window thread; called from another thread they are handed to it like any other
// cross-thread call. Calls of the program from another thread are carried out by the window
// thread while it waits in WaitEvent or in an open message box, in the order issued. When
// the window thread does not serve them (it is busy, or waits for the worker to end), the
// calling thread blocks until they are served or until ToolkitRelease, after which they
// return without effect (0, empty text) and later ones return at once.
// setDirectCrossThreadCalls(true) is for tests without a window thread that loops: calls
// from other threads then run at once on the calling thread under the toolkit's lock.
//
// Message boxes are recorded. By default a box is dismissed at once (after serving what
// waits); a test can run an action while the box is open (setMessageBoxAction, on the window
// thread, e.g. to act as the user meanwhile), or keep boxes open until dismissMessageBox()
// is called from another thread (setAutoDismissMessageBoxes(false)).
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/toolkit_backend.h"

namespace kv::ui {

enum class HeadlessKind { Label, DropDownList, SpinBox, CheckBox, Container, Table, Canvas };

// One drawing call of a paint handler, as the headless canvas recorded it.
struct HeadlessDrawing {
    enum class Op { Fill, Lines, Text, Clip, ClipOff };
    Op op = Op::Fill;
    int x = 0, y = 0, width = 0, height = 0;  // Fill, Text (its extent), Clip
    int32_t colour = 0;
    int penWidth = 0;
    std::vector<CanvasPoint> points;  // Lines
    std::u16string text;              // Text
};

struct HeadlessColumn {
    std::u16string heading;
    int width = 0;
};

struct HeadlessControl {
    bool exists = false;
    HeadlessKind kind = HeadlessKind::Label;
    int container = -1;  // the container it was created in, or -1
    int x = 0, y = 0, width = 0, height = 0;
    std::u16string text;  // label text, check box caption, spin box field
    int state = 0;        // selected entry (or NoSelection), spin value, check state
    int minimum = 0, maximum = 0;
    unsigned flags = 0;
    int edge = EdgeNone;
    std::u16string toolTip;
    std::vector<std::u16string> entries;  // drop-down list
    std::vector<HeadlessColumn> columns;  // table
    std::vector<std::vector<std::u16string>> cells;
    std::vector<std::vector<int32_t>> colours;  // DefaultColour until set
    // Canvas: distances to the window's right and bottom edges kept when stretched, where
    // the pointer is, and whether a paint was asked for since the last one.
    int rightGap = 0, bottomGap = 0;
    bool pointerInside = false;
    int pointerX = 0, pointerY = 0;
    bool repaintPending = false;
};

struct HeadlessMenuItem {
    int item = -1;  // -1 for a separator
    std::u16string text;
    bool checked = false;
};

struct HeadlessMenuTitle {
    std::u16string title;
    std::vector<HeadlessMenuItem> items;
};

struct HeadlessWindow {
    bool exists = false;
    int x = 0, y = 0, clientWidth = 0, clientHeight = 0;
    int minimumWidth = 0, minimumHeight = 0;  // what the user can shrink it to (menu counted)
    int owner = NoOwner;
    std::u16string title;
    unsigned flags = 0;
    bool visible = false;
    int menu = -1;
    int statusBar = -1;
    int openContainer = -1;
    int focus = -1;
    std::vector<int> creationOrder;
    std::map<int, HeadlessControl> controls;
};

struct HeadlessMenu {
    int window = -1;
    std::vector<HeadlessMenuTitle> titles;
};

struct HeadlessStatusBar {
    bool exists = false;
    int window = -1;
    std::vector<int> widths;  // as given; FillWidth shares the rest
    std::vector<std::u16string> texts;
};

struct HeadlessMessageBox {
    std::u16string caption;
    std::u16string text;
};

class HeadlessToolkit final : public ToolkitBackend {
  public:
    static constexpr int CharWidth = 7;
    static constexpr int MenuBarPixels = 20;
    static constexpr int StatusBarPixels = 20;
    static constexpr int ScreenWidth = 1024;
    static constexpr int ScreenHeight = 768;
    static constexpr int TextPixels = 14;

    // --- acting as the user; each returns false when the object does not exist -----------
    bool chooseEntry(int window, int control, int index);  // drop-down list
    bool openDropDown(int window, int control);            // shows its entries
    bool stepSpinBox(int window, int control, int delta);  // arrow step (+1 up, -1 down)
    bool clickCheckBox(int window, int control);
    bool chooseMenuItem(int menu, int item);
    bool pressCloseButton(int window);
    // Drags the border of a resizable window to a new client size (menu bar counted in), no
    // smaller than its minimum size; stretched canvases follow.
    bool resizeWindow(int window, int clientWidth, int clientHeight);
    // Drags the window by its title bar: its frame's top left corner goes to x, y.
    bool moveWindow(int window, int x, int y);
    bool movePointer(int window, int control, int x, int y);
    bool pointerLeaves(int window, int control);
    // Paints every canvas that asked for a paint, as the platform does when it has time;
    // returns how many were painted.
    int paintPendingCanvases();
    // Paints the canvas now, as the platform would, and returns what its handler drew.
    std::vector<HeadlessDrawing> paintCanvas(int window, int control);
    // The images the program had written (SaveCanvasImage): the headless toolkit writes no
    // file; it keeps the path and what the canvas's handler drew.
    struct SavedImage {
        std::u16string path;
        int width = 0, height = 0;
        std::vector<HeadlessDrawing> drawn;
    };
    std::vector<SavedImage> savedImages() const;
    // The canvas's pixels (row by row, 0x00BBGGRR, white where nothing was drawn) after a
    // paint: fills and clips exact, lines one pixel per step (widened by the pen), each
    // character of a text a CharWidth - 1 wide block of TextPixels height.
    std::vector<int32_t> renderCanvas(int window, int control, int& width, int& height);
    // Tab (or Shift+Tab with backward) on the window; returns the control that got the focus.
    int pressTab(int window, bool backward = false);

    // --- looking (any thread); missing objects come back with exists == false ------------
    HeadlessWindow window(int window) const;
    HeadlessControl control(int window, int control) const;
    std::u16string cellText(int window, int control, int row, int column) const;
    int32_t cellColour(int window, int control, int row, int column) const;
    std::vector<HeadlessMenuTitle> menu(int menu) const;
    bool menuChecked(int menu, int item) const;
    HeadlessStatusBar statusBar(int bar) const;
    std::u16string statusText(int bar, int field = 0) const;
    std::vector<HeadlessMessageBox> messageBoxes() const;
    int focusedControl(int window) const;
    static int TextWidth(std::u16string_view text);

    // --- test switches -------------------------------------------------------------------
    void setDirectCrossThreadCalls(bool direct);
    // The part of the screen windows may take (ScreenWorkArea); the whole screen by default.
    void setWorkArea(ScreenRect area);
    void setAutoDismissMessageBoxes(bool autoDismiss);
    void setMessageBoxAction(std::function<void()> action);
    void dismissMessageBox();  // from another thread, for a box kept open

    // --- ToolkitBackend ------------------------------------------------------------------
    void DestroyAll() override;
    void Wake() override {}
    void WaitForActivity() override;
    int OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
                   std::u16string_view title, unsigned flags) override;
    void HideWindow(int window, bool hide) override;
    void ResizeWindow(int window, int clientWidth) override;
    int WindowWidth(int window) override;
    int WindowHeight(int window) override;
    int MenuBarHeight() override { return MenuBarPixels; }
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
    bool WindowExists(int window) override;
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

  private:
    HeadlessControl* Find(int window, int control);
    const HeadlessControl* Find(int window, int control) const;
    HeadlessWindow* FindWindow(int window);
    bool AddControl(int window, int control, HeadlessControl made);
    bool Act(const std::function<bool()>& action);
    // The window's client area is now clientWidth x clientHeight + the menu bar, as the user or
    // the program made it: stretched canvases follow.
    void Resized(HeadlessWindow& window, int clientWidth, int clientHeightWithMenu);

    mutable std::recursive_mutex mutex_;
    std::map<int, HeadlessWindow> windows_;
    std::map<int, HeadlessMenu> menus_;
    std::map<int, HeadlessStatusBar> bars_;
    std::vector<HeadlessMessageBox> boxes_;
    std::vector<SavedImage> images_;
    ScreenRect workArea_{0, 0, ScreenWidth, ScreenHeight};
    bool autoDismiss_ = true;
    bool boxOpen_ = false;
    std::function<void()> boxAction_;
};

// Installs a fresh headless toolkit; the calling thread becomes the window thread.
HeadlessToolkit& InstallHeadlessToolkit();

}  // namespace kv::ui
