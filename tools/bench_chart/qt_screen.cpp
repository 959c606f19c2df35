#include <time.h>
#include <QWidget>
#include <QWindow>

#include "tools/bench_chart/screen.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_toolkit.h"

namespace kv::bench {

void InstallScreenToolkit(int& argc, char** argv) {
    ui::InstallQtToolkit(argc, argv);
}

void PaintNow(int window, int control) {
    ui::QtToolkit* toolkit = ui::InstalledQtToolkit();
    ui::QtControl* c = toolkit ? toolkit->Find(window, control) : nullptr;
    if (!c) return;
    // The window is shown (and can be painted) once Qt has handled its showing.
    if (!c->widget->window()->windowHandle() || !c->widget->window()->windowHandle()->isExposed())
        ui::qt_user::ProcessPendingEvents();
    c->widget->repaint();
}

bool SaveCanvas(int window, int control, const std::string& path) {
    ui::QtToolkit* toolkit = ui::InstalledQtToolkit();
    ui::QtControl* c = toolkit ? toolkit->Find(window, control) : nullptr;
    return c && c->widget->grab().save(QString::fromStdString(path), "PNG");
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000 + double(now.tv_nsec) / 1e6;
}

}  // namespace kv::bench
