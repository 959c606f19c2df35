// Acting as the user and looking at what only the user can see, for either implementation.
// The contract tests talk to the toolkit through its free functions and to the "screen"
// through this.
#pragma once
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
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
    // The window that owns `window` (SetWindowOwner), or NoOwner.
    virtual int WindowOwner(int window) = 0;
    virtual bool MovePointer(int window, int control, int x, int y) = 0;
    virtual bool PointerLeaves(int window, int control) = 0;
    // Lets the platform carry out the paints that were asked for.
    virtual void ProcessPaints() = 0;
    // The canvas as it paints itself, row by row (0x00BBGGRR).
    virtual std::vector<int32_t> CanvasPixels(int window, int control, int& width, int& height) = 0;
    // The size of the image SaveCanvasImage wrote at `path`; false when there is none.
    virtual bool SavedImageSize(const std::string& path, int& width, int& height) = 0;
};

// The size a PNG file gives in its header; false when the file is not a PNG image.
inline bool PngFileSize(const std::string& path, int& width, int& height) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 33 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
        bytes.compare(12, 4, "IHDR") != 0)
        return false;
    auto number = [&](size_t at) {
        return int((uint8_t(bytes[at]) << 24) | (uint8_t(bytes[at + 1]) << 16) |
                   (uint8_t(bytes[at + 2]) << 8) | uint8_t(bytes[at + 3]));
    };
    width = number(16);
    height = number(20);
    return true;
}

std::unique_ptr<UiDriver> MakeHeadlessDriver();
std::unique_ptr<UiDriver> MakeQtDriver();
std::unique_ptr<UiDriver> MakeWin32Driver();

}  // namespace kv::ui::test
