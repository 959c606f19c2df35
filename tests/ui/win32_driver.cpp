#include "tests/ui/ui_driver.h"
#include "ui/win32/win32_toolkit.h"

namespace kv::ui::test {
namespace {

class Win32Driver final : public UiDriver {
  public:
    void Install() override { InstallWin32Toolkit(); }
    bool ChooseEntry(int window, int control, int index) override {
        return win32_user::ChooseEntry(window, control, index);
    }
    bool OpenDropDown(int window, int control) override {
        return win32_user::OpenDropDown(window, control);
    }
    bool StepSpinBox(int window, int control, int delta) override {
        return win32_user::StepSpinBox(window, control, delta);
    }
    bool ClickCheckBox(int window, int control) override {
        return win32_user::ClickCheckBox(window, control);
    }
    bool ChooseMenuItem(int menu, int item) override {
        return win32_user::ChooseMenuItem(menu, item);
    }
    bool PressCloseButton(int window) override { return win32_user::PressCloseButton(window); }
    std::u16string CellText(int window, int control, int row, int column) override {
        return win32_user::CellText(window, control, row, column);
    }
    int32_t CellColour(int window, int control, int row, int column) override {
        return win32_user::CellColour(window, control, row, column);
    }
    std::u16string StatusText(int bar, int field) override {
        return win32_user::StatusText(bar, field);
    }
    bool WindowVisible(int window) override { return win32_user::WindowVisible(window); }
    void OnNextMessageBox(std::function<void()> whileOpen) override {
        win32_user::OnNextMessageBox(std::move(whileOpen));
    }
    void KeepNextMessageBoxOpen() override { win32_user::KeepNextMessageBoxOpen(); }
    void DismissMessageBox() override { win32_user::DismissMessageBox(); }
    bool ResizeWindow(int window, int clientWidth, int clientHeight) override {
        return win32_user::ResizeWindow(window, clientWidth, clientHeight);
    }
    int WindowOwner(int window) override { return win32_user::WindowOwner(window); }
    bool MovePointer(int window, int control, int x, int y) override {
        return win32_user::MovePointer(window, control, x, y);
    }
    bool PointerLeaves(int window, int control) override {
        return win32_user::PointerLeaves(window, control);
    }
    void ProcessPaints() override { win32_user::ProcessPendingMessages(); }
    std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height) override {
        return win32_user::CanvasPixels(window, control, width, height);
    }
    bool SavedImageSize(const std::string& path, int& width, int& height) override {
        return PngFileSize(path, width, height);
    }
};

}  // namespace

std::unique_ptr<UiDriver> MakeWin32Driver() {
    return std::make_unique<Win32Driver>();
}

}  // namespace kv::ui::test
