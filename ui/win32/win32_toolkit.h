// The window toolkit on plain Win32 (user32, gdi32, comctl32, gdiplus). The calling thread
// becomes the window thread. Calls of the program from other threads are carried out by the window
// thread while it waits for messages (inside WaitEvent or a message box) and return after they
// took effect, in order; a posted message wakes it. No system type crosses this header.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv::ui {

void InstallWin32Toolkit();

// Windows ends the process once the session-end message returns, so the program has to shut
// down from inside it: the toolkit queues a CloseEvent of the window and then runs `action`,
// which is expected to carry out the program's event loop up to its shutdown and end the
// process. Window thread; nullptr for none.
void Win32SetSessionEndAction(void (*action)());

// Closes the open message box, or the next one as soon as it opens. Any thread; returns at
// once.
void DismissMessageBoxForClose();

// Acting as the user and looking at the screen, for tests, the sample and screenshots. Window
// thread only; each returns false (or an empty value) when the object is missing.
namespace win32_user {
bool ChooseEntry(int window, int control, int index);
// Opens the list of a drop-down list and closes it again.
bool OpenDropDown(int window, int control);
bool StepSpinBox(int window, int control, int delta);
bool ClickCheckBox(int window, int control);
bool ChooseMenuItem(int menu, int item);
bool PressCloseButton(int window);
// Drags the border of a resizable window to the given client size (menu bar included).
bool ResizeWindow(int window, int clientWidth, int clientHeight);
// The window that owns `window`, or -1 (NoOwner) for none.
int WindowOwner(int window);
bool MovePointer(int window, int control, int x, int y);
bool PointerLeaves(int window, int control);
// The canvas painted into a bitmap: its pixels row by row (0x00BBGGRR).
std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height);
// The session-end messages Windows sends at logout or shutdown.
bool EndSession(int window);
// Tab (or Shift+Tab) as the keyboard gives it; returns the control that has the focus then,
// or -1.
int PressTab(int window, bool backward);
std::u16string CellText(int window, int control, int row, int column);
int32_t CellColour(int window, int control, int row, int column);
std::u16string StatusText(int bar, int field);
std::u16string WindowTitle(int window);
bool WindowVisible(int window);
// The next message box runs `whileOpen` from inside its modal loop, then closes.
void OnNextMessageBox(std::function<void()> whileOpen);
// The next message box stays open until DismissMessageBox, which any thread may call.
void KeepNextMessageBoxOpen();
void DismissMessageBox();
// Lets the window thread handle what is waiting without blocking (layout, painting).
void ProcessPendingMessages();
// Paints the window (frame, menu bar and client area) and returns the colour (0x00BBGGRR)
// of the pixel at client coordinates x, y of `control`, or -1.
int32_t PixelAt(int window, int control, int x, int y);
}  // namespace win32_user

}  // namespace kv::ui
