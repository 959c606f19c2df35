// Acting as the user and looking at what only the user can see, for either implementation.
// The contract tests talk to the toolkit through its free functions and to the "screen"
// through this.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::ui::test {

class UiDriver {
  public:
    virtual ~UiDriver() = default;
    // Installs a fresh toolkit; the calling thread becomes the window thread.
    virtual void Install() = 0;
    virtual bool ChooseEntry(int window, int control, int index) = 0;
    // Opens the list of a drop-down list (and closes it); false when there is none.
    virtual bool OpenDropDown(int window, int control) = 0;
    virtual bool StepSpinBox(int window, int control, int delta) = 0;
    virtual bool ClickCheckBox(int window, int control) = 0;
    virtual bool ChooseMenuItem(int menu, int item) = 0;
    virtual bool PressCloseButton(int window) = 0;
    virtual std::u16string CellText(int window, int control, int row, int column) = 0;
    virtual int32_t CellColour(int window, int control, int row, int column) = 0;
    virtual std::u16string StatusText(int bar, int field) = 0;
    virtual bool WindowVisible(int window) = 0;
    // The next message box runs `whileOpen` on the window thread, then is dismissed.
    virtual void OnNextMessageBox(std::function<void()> whileOpen) = 0;
    // The next message box stays open until DismissMessageBox, which another thread calls.
    virtual void KeepNextMessageBoxOpen() = 0;
    virtual void DismissMessageBox() = 0;
    // Drags the border of a resizable window to a client size (menu bar included); false for
    // a window of fixed size.
    virtual bool ResizeWindow(int window, int clientWidth, int clientHeight) = 0;
    virtual bool MovePointer(int window, int control, int x, int y) = 0;
    virtual bool PointerLeaves(int window, int control) = 0;
    // Lets the platform carry out the paints that were asked for.
    virtual void ProcessPaints() = 0;
    // The canvas as it paints itself, row by row (0x00BBGGRR).
    virtual std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height) = 0;
};

std::unique_ptr<UiDriver> MakeHeadlessDriver();
std::unique_ptr<UiDriver> MakeQtDriver();
std::unique_ptr<UiDriver> MakeWin32Driver();

}  // namespace kv::ui::test
