// Qt 6 implementation: windows, menus, the status bar, message boxes and the event loop.
#include "ui/qt/qt_backend.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "ui/qt/qt_toolkit.h"

namespace kv::ui {
namespace {

const QEvent::Type WakeEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
constexpr int MinimumStatusBarHeight = 18;

QApplication*& Application() {
    static QApplication* application = nullptr;  // lives until the process ends
    return application;
}

void Report(int kind, int window, int object, int type) {
    ToolkitEvents().Produce(Event{kind, window, object, type});
}

// A resizable window only starts at the size; any other keeps it.
void SizeTop(QtWindow& w, int width, int height) {
    if (w.resizable)
        w.top->resize(width, height);
    else
        w.top->setFixedSize(width, height);
}

}  // namespace

QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

void InstallQtToolkit(int& argc, char** argv) {
    if (!QApplication::instance()) {
        Application() = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    InstallToolkitBackend(std::make_unique<QtToolkit>());
}

void DismissMessageBoxForClose() {
    if (QtToolkit* toolkit = InstalledQtToolkit()) toolkit->DismissMessageBox();
}

QtToolkit* InstalledQtToolkit() {
    return dynamic_cast<QtToolkit*>(InstalledToolkitBackend());
}

bool QtPump::event(QEvent* event) {
    if (event->type() != WakeEventType) return QObject::event(event);
    // Cleared before serving, so that a call arriving meanwhile posts a new wake-up.
    posted = false;
    ToolkitEvents().ServePending();
    return true;
}

QtToolkit::QtToolkit() : pump_(std::make_unique<QtPump>()) {}

QtToolkit::~QtToolkit() {
    DestroyAll();
}

void QtToolkit::DestroyAll() {
    bars_.clear();
    menus_.clear();
    windows_.clear();  // each window deletes its children
}

void QtToolkit::Wake() {
    // Any thread. Posting is thread-safe; one wake-up at a time is enough.
    if (!pump_->posted.exchange(true))
        QCoreApplication::postEvent(pump_.get(), new QEvent(WakeEventType));
}

void QtToolkit::WaitForActivity() {
    // Blocks in the platform's wait until something arrives; no timer, no polling.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Without a running QEventLoop Qt never gets round to objects released with deleteLater
    // (tooltips, popups); do it here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QtWindow* QtToolkit::FindWindow(int window) {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

int QtToolkit::WindowOf(const QWindow* handle) {
    for (auto& [id, w] : windows_)
        if (w.top->windowHandle() == handle) return id;
    return -1;
}

QtMenu* QtToolkit::FindMenu(int menu) {
    auto found = menus_.find(menu);
    return found == menus_.end() ? nullptr : &found->second;
}

QtStatusBar* QtToolkit::FindBar(int bar) {
    auto found = bars_.find(bar);
    return found == bars_.end() ? nullptr : &found->second;
}

int QtToolkit::OpenWindow(int window, int x, int y, int clientWidth, int clientHeight,
                          std::u16string_view title, unsigned flags) {
    if (window < 0 || windows_.count(window) || clientWidth < 0 || clientHeight < 0) return 0;
    QtWindow& w = windows_[window];
    w.top = std::make_unique<KvWindow>([window] { Report(CloseEvent, window, 0, 0); });
    Qt::WindowFlags frame =
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (flags & WindowSystemMenu) frame |= Qt::WindowSystemMenuHint;
    if (flags & WindowMinimiseButton) frame |= Qt::WindowMinimizeButtonHint;
    w.resizable = (flags & WindowResizable) != 0;
    if (w.resizable) frame |= Qt::WindowMaximizeButtonHint;
    w.top->setWindowFlags(frame);
    w.top->setWindowTitle(ToQString(title));
    SizeTop(w, clientWidth, clientHeight);
    w.client = new QWidget(w.top.get());
    w.client->setGeometry(0, 0, clientWidth, clientHeight);
    w.client->setAutoFillBackground(true);
    w.clientWidth = clientWidth;
    w.clientHeight = clientHeight;
    w.top->setOnResize([this, window] { FollowWindowSize(window); });
    if (flags & WindowCentred) {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        x = screen.x() + (screen.width() - clientWidth) / 2;
        y = screen.y() + (screen.height() - clientHeight) / 2;
    }
    w.top->move(x, y);
    if (!(flags & WindowHidden)) w.top->show();
    return 1;
}

void QtToolkit::HideWindow(int window, bool hide) {
    if (QtWindow* w = FindWindow(window)) {
        w->top->setVisible(!hide);
        // Off screen there is nothing to raise; the platform would only complain.
        if (!hide && QGuiApplication::platformName() != QLatin1String("offscreen")) {
            w->top->raise();
            w->top->activateWindow();
        }
    }
}

void QtToolkit::ResizeWindow(int window, int clientWidth) {
    QtWindow* w = FindWindow(window);
    if (!w || clientWidth < 0) return;
    w->clientWidth = clientWidth;
    SizeTop(*w, clientWidth, WindowHeight(window));
    w->client->resize(clientWidth, w->clientHeight);
    if (w->menuBar) w->menuBar->resize(clientWidth, MenuBarHeight());
    PlaceStatusBar(*w);
}

int QtToolkit::WindowWidth(int window) {
    QtWindow* w = FindWindow(window);
    return w ? w->clientWidth : 0;
}

int QtToolkit::WindowHeight(int window) {
    QtWindow* w = FindWindow(window);
    if (!w) return 0;
    return w->clientHeight + (w->menuBar ? MenuBarHeight() : 0);
}

int QtToolkit::MenuBarHeight() {
    if (menuBarHeight_ < 0) {
        QMenuBar probe;
        probe.setNativeMenuBar(false);
        probe.addMenu(QStringLiteral("Xy"));
        menuBarHeight_ = probe.sizeHint().height();
    }
    return menuBarHeight_;
}

int QtToolkit::CreateMenuBar(int menu, int window) {
    QtWindow* w = FindWindow(window);
    if (!w || menu < 0 || menus_.count(menu) || w->menuBar) return 0;
    const int height = MenuBarHeight();
    w->menuBar = new QMenuBar(w->top.get());
    w->menuBar->setNativeMenuBar(false);
    w->menuBar->setGeometry(0, 0, w->clientWidth, height);
    // The outer size stays: the menu bar takes its height from the client area.
    w->clientHeight = std::max(0, w->clientHeight - height);
    w->client->setGeometry(0, height, w->clientWidth, w->clientHeight);
    w->menu = menu;
    menus_[menu] = QtMenu{window, w->menuBar, nullptr, {}, {}};
    PlaceStatusBar(*w);
    return 1;
}

void QtToolkit::AddMenuTitle(int menu, std::u16string_view title) {
    if (QtMenu* m = FindMenu(menu)) m->current = m->bar->addMenu(ToQString(title));
}

void QtToolkit::AddMenuItem(int menu, int item, std::u16string_view text) {
    QtMenu* m = FindMenu(menu);
    if (!m || !m->current || item < 0 || m->items.count(item)) return;
    QAction* action = m->current->addAction(ToQString(text));
    const int window = m->window;
    QObject::connect(action, &QAction::triggered, action, [this, menu, item, window, action] {
        // Qt toggles a checkable action by itself; the mark is the program's, so put it back.
        if (QtMenu* owner = FindMenu(menu); owner && action->isCheckable())
            action->setChecked(owner->checked[item]);
        Report(MenuEvent, window, item, 0);
    });
    m->items[item] = action;
    m->checked[item] = false;
}

void QtToolkit::AddMenuSeparator(int menu) {
    if (QtMenu* m = FindMenu(menu); m && m->current) m->current->addSeparator();
}

int QtToolkit::GetMenuItemState(int menu, int item) {
    QtMenu* m = FindMenu(menu);
    if (!m || !m->items.count(item)) return 0;
    return CheckState(m->checked[item]);
}

void QtToolkit::SetMenuItemState(int menu, int item, bool checked) {
    QtMenu* m = FindMenu(menu);
    if (!m || !m->items.count(item)) return;
    m->checked[item] = checked;
    QAction* action = m->items[item];
    // An item shows the check column only once the program has given it a mark.
    action->setCheckable(true);
    action->setChecked(checked);
}

void QtToolkit::FollowWindowSize(int window) {
    QtWindow* w = FindWindow(window);
    if (w && w->resizable) LayOut(*w);
}

void QtToolkit::LayOut(QtWindow& w) {
    const int menuHeight = w.menuBar ? MenuBarHeight() : 0;
    w.clientWidth = w.top->width();
    w.clientHeight = std::max(0, w.top->height() - menuHeight);
    w.client->setGeometry(0, menuHeight, w.clientWidth, w.clientHeight);
    if (w.menuBar) w.menuBar->resize(w.clientWidth, menuHeight);
    PlaceStatusBar(w);
    for (auto& [id, c] : w.controls) {
        if (!c.stretch) continue;
        c.widget->resize(std::max(0, w.clientWidth - c.rightGap - c.widget->x()),
                         std::max(0, w.clientHeight - c.bottomGap - c.widget->y()));
    }
}

// The frame the window manager puts around the window: its own once it is shown in one;
// before, that of a window of ours that is (it frames them alike); none without one.
QMargins QtToolkit::FrameMargins(QtWindow& window) {
    auto framed = [](const QtWindow& w) {
        return w.top->isVisible() && w.top->frameGeometry() != w.top->geometry();
    };
    auto margins = [](const QtWindow& w) {
        const QRect frame = w.top->frameGeometry(), client = w.top->geometry();
        return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                        frame.right() - client.right(), frame.bottom() - client.bottom());
    };
    if (framed(window)) return margins(window);
    for (auto& [id, w] : windows_)
        if (framed(w)) return margins(w);
    return {};
}

ScreenRect QtToolkit::WindowFrame(int window) {
    QtWindow* w = FindWindow(window);
    if (!w) return {};
    const QRect frame = w->top->geometry().marginsAdded(FrameMargins(*w));
    return {frame.x(), frame.y(), frame.width(), frame.height()};
}

ScreenRect QtToolkit::ScreenWorkArea(int window) {
    QScreen* screen = nullptr;
    if (QtWindow* w = FindWindow(window))
        screen = QGuiApplication::screenAt(w->top->frameGeometry().center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect area = screen->availableGeometry();
    return {area.x(), area.y(), area.width(), area.height()};
}

void QtToolkit::PlaceWindow(int window, int x, int y, int clientWidth, int clientHeight) {
    QtWindow* w = FindWindow(window);
    if (!w) return;
    // Qt places a window that was never shown by its client area: the frame goes around it.
    const QMargins frame = FrameMargins(*w);
    SizeTop(*w, clientWidth, clientHeight);
    w->top->setGeometry(x + frame.left(), y + frame.top(), w->top->width(), w->top->height());
    // A hidden window is told of its new size only when it shows: lay it out now.
    LayOut(*w);
}

void QtToolkit::SetMinimumWindowSize(int window, int clientWidth, int clientHeight) {
    QtWindow* w = FindWindow(window);
    if (!w || !w->resizable) return;
    w->top->setMinimumSize(clientWidth, clientHeight);
    LayOut(*w);
}

void QtToolkit::SetWindowOwner(int window, int owner) {
    QtWindow* w = FindWindow(window);
    QtWindow* o = FindWindow(owner);
    if (!w) return;
    // The platform's windows are made now if they were not yet; the relation is theirs.
    w->top->winId();
    QWindow* parent = nullptr;
    if (o) {
        o->top->winId();
        parent = o->top->windowHandle();
    }
    if (QWindow* handle = w->top->windowHandle()) handle->setTransientParent(parent);
}

void QtToolkit::PlaceStatusBar(QtWindow& window) {
    QtStatusBar* b = FindBar(window.statusBar);
    if (!b) return;
    const int height = std::max(MinimumStatusBarHeight, b->bar->sizeHint().height());
    b->bar->setGeometry(0, window.clientHeight - height, window.clientWidth, height);
}

int QtToolkit::CreateStatusBar(int bar, int window) {
    QtWindow* w = FindWindow(window);
    if (!w || bar < 0 || bars_.count(bar) || w->statusBar >= 0) return 0;
    auto* status = new QStatusBar(w->client);
    status->setSizeGripEnabled(false);
    status->show();
    bars_[bar] = QtStatusBar{window, status, {}};
    w->statusBar = bar;
    PlaceStatusBar(*w);
    return 1;
}

void QtToolkit::AddStatusField(int bar, int width) {
    QtStatusBar* b = FindBar(bar);
    if (!b) return;
    auto* field = new KvStatusField(b->bar);
    if (width == FillWidth) {
        b->bar->addWidget(field, 1);  // fields that fill share the rest equally
    } else {
        field->setFixedWidth(std::max(0, width));
        b->bar->addWidget(field, 0);
    }
    b->fields.push_back(field);
    if (QtWindow* w = FindWindow(b->window)) PlaceStatusBar(*w);
}

int QtToolkit::StatusBarHeight(int bar) {
    QtStatusBar* b = FindBar(bar);
    return b ? b->bar->height() : 0;
}

void QtToolkit::SetStatusText(int bar, int field, std::u16string_view text) {
    QtStatusBar* b = FindBar(bar);
    if (!b || field < 0 || field >= static_cast<int>(b->fields.size())) return;
    b->fields[field]->setText(ToQString(text));
}

void QtToolkit::ShowMessageBox(std::u16string_view caption, std::u16string_view text) {
    QWidget* owner = QApplication::activeWindow();
    if (!owner) {
        for (auto& [id, w] : windows_)
            if (w.top->isVisible()) {
                owner = w.top.get();
                break;
            }
    }
    QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Ok,
                    owner);
    box.setWindowModality(Qt::ApplicationModal);
    // The text is shown as written; Qt would otherwise guess at markup in it.
    box.setTextFormat(Qt::PlainText);
    // A box without an action stays open until dismissed anyway; keepOpen only matters when
    // an action would otherwise close it.
    const bool keepOpen = std::exchange(keepNextBoxOpen, false);
    if (nextBoxAction) {
        std::function<void()> action = std::move(nextBoxAction);
        nextBoxAction = nullptr;
        QMetaObject::invokeMethod(
            &box,
            [&box, action, keepOpen] {
                action();
                if (!keepOpen) box.accept();
            },
            Qt::QueuedConnection);
    }
    {
        std::lock_guard lock(boxMutex_);
        openBox_ = &box;
        if (std::exchange(dismissWaiting_, false))
            QMetaObject::invokeMethod(&box, &QDialog::accept, Qt::QueuedConnection);
    }
    // The modal loop dispatches the pump's wake-ups, so calls from the worker keep being served.
    box.exec();
    std::lock_guard lock(boxMutex_);
    openBox_ = nullptr;
}

void QtToolkit::DismissMessageBox() {
    std::lock_guard lock(boxMutex_);
    if (openBox_)
        QMetaObject::invokeMethod(openBox_, &QDialog::accept, Qt::QueuedConnection);
    else
        dismissWaiting_ = true;
}

}  // namespace kv::ui
