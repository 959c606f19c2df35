#include "tests/ui/ui_driver.h"
#include "ui/qt/qt_toolkit.h"

// Qt loads fontconfig, which keeps caches for the life of the process; LeakSanitizer (in
// sanitizer builds) would report them as leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace kv::ui::test {
namespace {

class QtDriver final : public UiDriver {
  public:
    void Install() override {
        static int argc = 1;
        static char name[] = "kv_ui_tests";
        static char* argv[] = {name, nullptr};
        InstallQtToolkit(argc, argv);
    }
    bool ChooseEntry(int window, int control, int index) override {
        return qt_user::ChooseEntry(window, control, index);
    }
    bool OpenDropDown(int window, int control) override {
        return qt_user::OpenDropDown(window, control);
    }
    bool StepSpinBox(int window, int control, int delta) override {
        return qt_user::StepSpinBox(window, control, delta);
    }
    bool ClickCheckBox(int window, int control) override {
        return qt_user::ClickCheckBox(window, control);
    }
    bool ChooseMenuItem(int menu, int item) override { return qt_user::ChooseMenuItem(menu, item); }
    bool PressCloseButton(int window) override { return qt_user::PressCloseButton(window); }
    std::u16string CellText(int window, int control, int row, int column) override {
        return qt_user::CellText(window, control, row, column);
    }
    int32_t CellColour(int window, int control, int row, int column) override {
        return qt_user::CellColour(window, control, row, column);
    }
    std::u16string StatusText(int bar, int field) override {
        return qt_user::StatusText(bar, field);
    }
    bool WindowVisible(int window) override { return qt_user::WindowVisible(window); }
    void OnNextMessageBox(std::function<void()> whileOpen) override {
        qt_user::OnNextMessageBox(std::move(whileOpen));
    }
    void KeepNextMessageBoxOpen() override { qt_user::KeepNextMessageBoxOpen(); }
    void DismissMessageBox() override { qt_user::DismissMessageBox(); }
    bool ResizeWindow(int window, int clientWidth, int clientHeight) override {
        return qt_user::ResizeWindow(window, clientWidth, clientHeight);
    }
    int WindowOwner(int window) override { return qt_user::WindowOwner(window); }
    bool MovePointer(int window, int control, int x, int y) override {
        return qt_user::MovePointer(window, control, x, y);
    }
    bool PointerLeaves(int window, int control) override {
        return qt_user::PointerLeaves(window, control);
    }
    void ProcessPaints() override { qt_user::ProcessPendingEvents(); }
    std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height) override {
        return qt_user::CanvasPixels(window, control, width, height);
    }
    bool SavedImageSize(const std::string& path, int& width, int& height) override {
        return PngFileSize(path, width, height);
    }
};

}  // namespace

std::unique_ptr<UiDriver> MakeQtDriver() {
    return std::make_unique<QtDriver>();
}

}  // namespace kv::ui::test
