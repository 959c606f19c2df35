// The window toolkit contract. The shell and the monitor reach the screen only through
// these operations; implementations: headless (tests), Qt 6 (Linux), Win32.
// Identifiers are small integers chosen by the program; windows, menus, status bars and
// controls are separate families. No toolkit type crosses this header.
#pragma once
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kv::ui {

// Event kinds (WaitEvent's result) and control event types (EventType()).
inline constexpr int ControlEvent = 13100;
inline constexpr int MenuEvent = 13101;
inline constexpr int CloseEvent = 13116;
inline constexpr int IgnoredEvent = 0;  // a wake-up that produced no event of the program

inline constexpr int Changed = 768;
inline constexpr int SteppedUp = 4;
inline constexpr int SteppedDown = 5;
inline constexpr int Clicked = 0;  // check box, after it toggled
// Drop-down list: the user is opening its list. A handler bound to it runs before the list
// is shown, so the entries it sets (and the selection it keeps) are what the user sees.
inline constexpr int DroppedDown = 7;
// Canvas: the pointer moved over it or left it (CanvasPointerX/Y tell where it is now).
inline constexpr int PointerMoved = 512;

// GetState/SetState of a drop-down list: the index of the selected entry, or none.
inline constexpr int NoSelection = -1;
// GetState/SetState of a check box, GetMenuItemState/SetMenuItemState of a menu item. Any
// state other than Unchecked that the program sets counts as Checked.
inline constexpr int Unchecked = 0;
inline constexpr int Checked = 1;
constexpr int CheckState(bool checked) {
    return checked ? Checked : Unchecked;
}

inline constexpr int AutoId = -1;          // Create*: the layer picks the identifier
inline constexpr int AppendPosition = -1;  // AddItem
inline constexpr int AllRows = -1;         // SetItemColour row
inline constexpr int AllColumns = -1;      // SetItemColour column
inline constexpr int NoChange = INT_MIN;   // ResizeControl
inline constexpr int FillWidth = -1;       // AddStatusField: share the remaining width
inline constexpr int ColourBackground = 1;
inline constexpr int32_t DefaultColour = -1;
constexpr int32_t Rgb(int r, int g, int b) {
    return (b << 16) | (g << 8) | r;
}  // 0x00BBGGRR

// OpenWindow flags.
inline constexpr unsigned WindowSystemMenu = 1;
inline constexpr unsigned WindowMinimiseButton = 2;
inline constexpr unsigned WindowCentred = 4;
inline constexpr unsigned WindowHidden = 8;
// A sizing border and a maximise button: the user may change the window's size.
inline constexpr unsigned WindowResizable = 16;
// CreateSpinBox flags.
inline constexpr unsigned SpinReadOnlyText = 1;
inline constexpr unsigned SpinNumeric = 2;
// CreateContainer edge styles.
inline constexpr int EdgeNone = 0;
inline constexpr int EdgeThinSunken = 1;
// CreateTable flags.
inline constexpr unsigned TableSingleSelection = 1;
inline constexpr unsigned TableShowSelectionAlways = 2;
inline constexpr unsigned TableFullRowSelect = 4;
inline constexpr unsigned TableGridLines = 8;
inline constexpr unsigned TableLabelTips = 16;
inline constexpr unsigned TableDoubleBuffer = 32;
inline constexpr unsigned TableSunkenEdge = 64;
// CreateCanvas flags. A stretched canvas keeps its distances to the right and bottom edges
// of its window when the user resizes the window.
inline constexpr unsigned CanvasStretch = 1;
// CanvasPointerX/Y while the pointer is not over the canvas.
inline constexpr int NoPointer = INT_MIN;

struct CanvasPoint {
    int x = 0;
    int y = 0;
};

// A rectangle of the screen, in the program's coordinates.
struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
    int Right() const { return x + width; }
    int Bottom() const { return y + height; }
    bool operator==(const ScreenRect&) const = default;
};

// SetWindowOwner: the window has no owner.
inline constexpr int NoOwner = -1;

// A handler bound with BindControlEvent; runs on the window thread; returns 0.
using ControlHandler = int (*)();
// Draws a canvas of the given size with the Canvas* calls below; runs on the window thread
// whenever the platform needs the canvas painted.
using PaintHandler = void (*)(int window, int control, int width, int height);
// The tooltip of a table cell whose text is `cellText`; empty for none (a cell cut off at its
// column's edge then shows its whole text, as TableLabelTips asks). Window thread.
using CellTipHandler = std::u16string (*)(int window, int control, int row, int column,
                                          std::u16string_view cellText);

// Threads. The thread that installs an implementation is the window thread. Any operation
// called from another thread is carried out on the window thread and returns after it took
// effect; calls from one thread take effect in the order issued. They are served while the
// window thread waits in WaitEvent or sits in a message box. While it does neither (for
// instance while it waits for the worker at shutdown) the caller blocks, until it is served
// or until ToolkitRelease; from then on such calls return at once without effect (0, empty
// text). ToolkitRelease never waits for a blocked caller. WaitEvent, the event record,
// ShowMessageBox, BindControlEvent and ToolkitRelease belong to the window thread and do
// nothing elsewhere; PostEvent may be called from any thread and returns at once.
//
// Events. No operation of the program produces an event: changes made through this header
// are never reported back, whichever thread asked for them.

// --- life cycle -----------------------------------------------------------------------
void ToolkitRelease();  // destroys every window, menu, control and status bar

// --- windows and menus ----------------------------------------------------------------
int OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
               std::u16string_view title, unsigned flags);  // nonzero on success
void HideWindow(int window, int hide);
void ResizeWindow(int window, int clientWidth);
int WindowWidth(int window);
int WindowHeight(int window);
int MenuBarHeight();
int CreateMenuBar(int menu, int window);
void AddMenuTitle(int menu, std::u16string_view title);
void AddMenuItem(int menu, int item, std::u16string_view text);
void AddMenuSeparator(int menu);
int GetMenuItemState(int menu, int item);
void SetMenuItemState(int menu, int item, int state);

// --- where windows are -------------------------------------------------------------------
// The window's outer rectangle on the screen, its frame and title bar included (all zero for
// no such window). Where the platform has not framed a window yet, the frame is its client area.
ScreenRect WindowFrame(int window);
// The part of the screen the window is on (the one it is nearest to) that windows may take:
// without task bars and docks.
ScreenRect ScreenWorkArea(int window);
// Moves the window's frame to x, y on the screen and gives it this client size (the menu bar
// counted in, as WindowHeight does); a resizable window stays resizable.
void PlaceWindow(int window, int x, int y, int clientWidth, int clientHeight);
// The user cannot make a resizable window smaller than this client size (menu bar counted in).
void SetMinimumWindowSize(int window, int clientWidth, int clientHeight);
// An owned window stays in front of its owner and is minimised and restored with it; it has no
// button of its own in the task bar where the platform shows one. NoOwner ends the relation.
void SetWindowOwner(int window, int owner);

// --- controls -------------------------------------------------------------------------
// Create* return the control's identifier, or -1 when the window does not exist or the
// identifier is taken. With AutoId the layer picks the lowest free identifier from 1000 up.
int CreateLabel(int window, int control, int x, int y, int width, int height,
                std::u16string_view text);
int CreateDropDownList(int window, int control, int x, int y, int width, int height);
int CreateSpinBox(int window, int control, int x, int y, int width, int height, int minimum,
                  int maximum, unsigned flags);
int CreateCheckBox(int window, int control, int x, int y, int width, int height,
                   std::u16string_view caption);
int CreateContainer(int window, int control, int x, int y, int width, int height, int edge);
void CloseContainer(int window);
int CreateTable(int window, int control, int x, int y, int width, int height,
                std::u16string_view firstHeading, int firstWidth, unsigned flags);
void AddTableColumn(int window, int control, int position, std::u16string_view heading, int width);
void SetToolTip(int window, int control, std::u16string_view text);
// Asked each time the pointer rests on a cell of the table; window thread.
void BindCellTipHandler(int window, int control, CellTipHandler handler);
// What the bound handler gives for the cell, empty without one: what the table shows.
std::u16string CellTipText(int window, int control, int row, int column,
                           std::u16string_view cellText);
int ControlX(int window, int control);
int ControlY(int window, int control);
int ControlWidth(int window, int control);
int ControlHeight(int window, int control);
int RequiredWidth(int window, int control);
void ResizeControl(int window, int control, int x, int y, int width, int height);
int GetState(int window, int control);
void SetState(int window, int control, int state);
std::u16string GetText(int window, int control);
void SetText(int window, int control, std::u16string_view text);

// Items: entries of a drop-down list, rows of a table (cells separated by line feeds).
// Callable from the monitoring worker: carried out on the window thread, in order.
void AddItem(int window, int control, int position, std::u16string_view text);
void SetItemText(int window, int control, int row, std::u16string_view text, int column);
void ClearItems(int window, int control);
int CountItems(int window, int control);
void SetItemColour(int window, int control, int row, int colourKind, int32_t colour, int column);

// --- drawing surface ------------------------------------------------------------------
// A canvas shows what its paint handler draws. The platform decides when to paint (shown,
// uncovered, resized); RepaintControl asks for a paint soon, or `afterMs` milliseconds from
// now at the latest, and requests made before it happens are served by that one paint. The
// pointer's moves over the canvas are reported as PointerMoved control events.
int CreateCanvas(int window, int control, int x, int y, int width, int height, unsigned flags);
void BindPaintHandler(int window, int control, PaintHandler handler);  // window thread
void RepaintControl(int window, int control, int afterMs = 0);
// The pointer's position in the canvas's coordinates, NoPointer while it is elsewhere.
int CanvasPointerX(int window, int control);
int CanvasPointerY(int window, int control);
// Paints the canvas at its present size with its handler into an image and writes it as a
// PNG file at `path` (replaced when it exists); nonzero when the file was written.
int SaveCanvasImage(int window, int control, std::u16string_view path);

// Drawing, on the canvas whose paint handler runs; elsewhere they do nothing (and measure 0).
// Coordinates are the screen's pixels from the canvas's top left corner (on a scaled screen
// more than the layout's units of ControlWidth), as are the paint handler's size and the
// pointer's position; colours 0x00BBGGRR.
void CanvasFill(int x, int y, int width, int height, int32_t colour);
// A line through `count` points, `penWidth` pixels wide.
void CanvasLines(const CanvasPoint* points, int count, int32_t colour, int penWidth);
// Text in the window font, its top left corner at x, y.
void CanvasText(int x, int y, std::u16string_view text, int32_t colour);
int CanvasTextWidth(std::u16string_view text);
int CanvasTextHeight();
// Drawing outside the rectangle has no effect until CanvasClipOff (or the end of the paint).
void CanvasClip(int x, int y, int width, int height);
void CanvasClipOff();

// --- status bar -----------------------------------------------------------------------
int CreateStatusBar(int bar, int window);
void AddStatusField(int bar, int width);
int StatusBarHeight(int bar);
void SetStatusText(int bar, int field, std::u16string_view text);

// --- dialogs and events ---------------------------------------------------------------
void ShowMessageBox(std::u16string_view caption, std::u16string_view text);
// Returns the next queued event and blocks (without a timeout, without polling) until there
// is one; IgnoredEvent only off the window thread or after ToolkitRelease.
int WaitEvent();
int EventWindow();
int EventObject();
int EventType();
void BindControlEvent(int window, int control, ControlHandler handler, int type);
void PostEvent(int kind, int window, int object, int type);  // any thread

}  // namespace kv::ui
