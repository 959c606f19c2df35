// Acting as the user and looking at what only the user can see, for either implementation.
// The contract tests talk to the toolkit through its free functions and to the "screen"
// through this.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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
};

std::unique_ptr<UiDriver> MakeHeadlessDriver();
std::unique_ptr<UiDriver> MakeQtDriver();
std::unique_ptr<UiDriver> MakeWin32Driver();

}  // namespace kv::ui::test
