// The Qt 6 implementation's objects. Everything here lives on the window thread.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMargins>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QStatusBar>
#include <QWindow>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ui/qt/qt_widgets.h"
#include "ui/toolkit_backend.h"

namespace kv::ui {

enum class QtKind { Label, DropDownList, SpinBox, CheckBox, Container, Table, Canvas };

struct QtControl {
    QtKind kind = QtKind::Label;
    QWidget* widget = nullptr;  // owned by its window
    // A stretched canvas: its distances to the client area's right and bottom edges.
    bool stretch = false;
    int rightGap = 0, bottomGap = 0;
};

struct QtWindow {
    std::unique_ptr<KvWindow> top;
    QWidget* client = nullptr;  // the area below the menu bar
    QMenuBar* menuBar = nullptr;
    int clientWidth = 0, clientHeight = 0;
    bool resizable = false;
    int menu = -1, statusBar = -1;
    QWidget* openContainer = nullptr;
    std::map<int, QtControl> controls;
};

struct QtMenu {
    int window = -1;
    QMenuBar* bar = nullptr;
    QMenu* current = nullptr;
    std::map<int, QAction*> items;
    std::map<int, bool> checked;
};

struct QtStatusBar {
    int window = -1;
    QStatusBar* bar = nullptr;
    std::vector<QLabel*> fields;
};

// Receives the wake-ups posted from other threads and serves what waits.
class QtPump final : public QObject {
  public:
    bool event(QEvent* event) override;
    std::atomic<bool> posted{false};
};

class QtToolkit final : public ToolkitBackend {
  public:
    QtToolkit();
    ~QtToolkit() override;

    void DestroyAll() override;
    void Wake() override;
    void WaitForActivity() override;
    int OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
                   std::u16string_view title, unsigned flags) override;
    void HideWindow(int window, bool hide) override;
    void ResizeWindow(int window, int clientWidth) override;
    int WindowWidth(int window) override;
    int WindowHeight(int window) override;
    int MenuBarHeight() override;
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
    bool WindowExists(int window) override { return FindWindow(window) != nullptr; }
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

    // For qt_user.
    QtWindow* FindWindow(int window);
    // The window whose platform window `handle` is, or -1.
    int WindowOf(const QWindow* handle);
    QtControl* Find(int window, int control);
    QtMenu* FindMenu(int menu);
    QtStatusBar* FindBar(int bar);
    std::function<void()> nextBoxAction;
    bool keepNextBoxOpen = false;
    // Any thread: closes the open message box, or the next one as soon as it opens.
    void DismissMessageBox();

  private:
    bool AddControl(int window, int control, QtKind kind, QWidget* widget, int x, int y, int width,
                    int height);
    QWidget* ParentFor(QtWindow& window);
    void PlaceStatusBar(QtWindow& window);
    // The user changed the size of a resizable window: the client area, the menu bar, the
    // status bar and the stretched canvases follow.
    void FollowWindowSize(int window);
    // The window's top level has its new size: the rest follows.
    void LayOut(QtWindow& window);
    QMargins FrameMargins(QtWindow& window);

    std::unique_ptr<QtPump> pump_;
    std::map<int, QtWindow> windows_;
    std::map<int, QtMenu> menus_;
    std::map<int, QtStatusBar> bars_;
    int menuBarHeight_ = -1;
    std::mutex boxMutex_;
    QDialog* openBox_ = nullptr;
    bool dismissWaiting_ = false;
};

QtToolkit* InstalledQtToolkit();
// The colour a table cell was given (0x00BBGGRR), or DefaultColour.
int32_t QtCellColour(QTableWidget& table, int row, int column);
QString ToQString(std::u16string_view text);
std::u16string FromQString(const QString& text);

}  // namespace kv::ui
