// The window toolkit on Qt 6 Widgets. The calling thread becomes the window thread; a
// QApplication is created on first installation (and reused by later ones).
//
// Calls of the program from other threads are carried out by the window thread while it
// runs the Qt event loop (inside WaitEvent or a modal message box) and return after they
// took effect, in order. While the window thread does something else (e.g. waits for the
// worker at shutdown) such a caller blocks, until it is served or until ToolkitRelease, after
// which it returns without effect.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv::ui {

void InstallQtToolkit(int& argc, char** argv);

// Closes the open message box, or the next one as soon as it opens: a request to end the
// program that comes from outside the window (a signal) must not wait for the user. Any
// thread; returns at once.
void DismissMessageBoxForClose();

// Acting as the user and looking at the screen, for tests, the sample and screenshots.
// Window thread only; each returns false (or an empty value) when the object is missing.
namespace qt_user {
bool ChooseEntry(int window, int control, int index);
// Opens the list as a click on the arrow does, and closes it again.
bool OpenDropDown(int window, int control);
bool StepSpinBox(int window, int control, int delta);
bool ClickCheckBox(int window, int control);
bool ChooseMenuItem(int menu, int item);
bool PressCloseButton(int window);
// Drags the border of a resizable window to the given client size (menu bar included).
bool ResizeWindow(int window, int clientWidth, int clientHeight);
// The window that owns `window`, or NoOwner.
int WindowOwner(int window);
bool MovePointer(int window, int control, int x, int y);
bool PointerLeaves(int window, int control);
// The canvas painted into an image: its pixels row by row (0x00BBGGRR).
std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height);
bool SelectTableRow(int window, int control, int row);
std::u16string CellText(int window, int control, int row, int column);
int32_t CellColour(int window, int control, int row, int column);
std::u16string StatusText(int bar, int field);
bool WindowVisible(int window);
// The next message box runs `whileOpen` from inside its modal loop, then closes.
void OnNextMessageBox(std::function<void()> whileOpen);
// The next message box stays open until DismissMessageBox, which any thread may call.
void KeepNextMessageBoxOpen();
void DismissMessageBox();
// Renders the window (client area, menu bar and all) into a PNG file.
bool SaveWindowImage(int window, const std::string& path);
// Renders the open modal dialog (a message box) into a PNG file.
bool SaveDialogImage(const std::string& path);
// Lets Qt process what is waiting without blocking (layout, painting).
void ProcessPendingEvents();
}  // namespace qt_user

}  // namespace kv::ui
