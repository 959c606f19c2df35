#include "tests/ui/ui_driver.h"
#include "ui/headless/headless_toolkit.h"

namespace kv::ui::test {
namespace {

class HeadlessDriver final : public UiDriver {
  public:
    void Install() override { toolkit_ = &InstallHeadlessToolkit(); }
    bool ChooseEntry(int window, int control, int index) override {
        return toolkit_->chooseEntry(window, control, index);
    }
    bool OpenDropDown(int window, int control) override {
        return toolkit_->openDropDown(window, control);
    }
    bool StepSpinBox(int window, int control, int delta) override {
        return toolkit_->stepSpinBox(window, control, delta);
    }
    bool ClickCheckBox(int window, int control) override {
        return toolkit_->clickCheckBox(window, control);
    }
    bool ChooseMenuItem(int menu, int item) override {
        return toolkit_->chooseMenuItem(menu, item);
    }
    bool PressCloseButton(int window) override { return toolkit_->pressCloseButton(window); }
    std::u16string CellText(int window, int control, int row, int column) override {
        return toolkit_->cellText(window, control, row, column);
    }
    int32_t CellColour(int window, int control, int row, int column) override {
        return toolkit_->cellColour(window, control, row, column);
    }
    std::u16string StatusText(int bar, int field) override {
        return toolkit_->statusText(bar, field);
    }
    bool WindowVisible(int window) override { return toolkit_->window(window).visible; }
    void OnNextMessageBox(std::function<void()> whileOpen) override {
        toolkit_->setMessageBoxAction([this, whileOpen] {
            toolkit_->setMessageBoxAction(nullptr);
            whileOpen();
        });
    }
    void KeepNextMessageBoxOpen() override {
        toolkit_->setAutoDismissMessageBoxes(false);
        toolkit_->setMessageBoxAction([this] {
            toolkit_->setMessageBoxAction(nullptr);
            toolkit_->setAutoDismissMessageBoxes(true);  // only this box stays open
        });
    }
    void DismissMessageBox() override { toolkit_->dismissMessageBox(); }
    bool ResizeWindow(int window, int clientWidth, int clientHeight) override {
        return toolkit_->resizeWindow(window, clientWidth, clientHeight);
    }
    int WindowOwner(int window) override { return toolkit_->window(window).owner; }
    bool MovePointer(int window, int control, int x, int y) override {
        return toolkit_->movePointer(window, control, x, y);
    }
    bool PointerLeaves(int window, int control) override {
        return toolkit_->pointerLeaves(window, control);
    }
    void ProcessPaints() override { toolkit_->paintPendingCanvases(); }
    std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height) override {
        return toolkit_->renderCanvas(window, control, width, height);
    }
    // The headless toolkit writes no file: it keeps what it was asked to write.
    bool SavedImageSize(const std::string& path, int& width, int& height) override {
        for (const auto& image : toolkit_->savedImages())
            if (image.path == std::u16string(path.begin(), path.end())) {
                width = image.width;
                height = image.height;
                return true;
            }
        return false;
    }

  private:
    HeadlessToolkit* toolkit_ = nullptr;
};

}  // namespace

std::unique_ptr<UiDriver> MakeHeadlessDriver() {
    return std::make_unique<HeadlessDriver>();
}

}  // namespace kv::ui::test
