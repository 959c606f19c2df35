// kalorivox-ui-sample: shows every control kind of the window toolkit on Qt.
//   kalorivox-ui-sample                    run it; a worker thread updates the readings
//   kalorivox-ui-sample --screenshot F.png draw the window into F.png and exit
//   kalorivox-ui-sample --about F.png      draw the About message box into F.png and exit
//   kalorivox-ui-sample --idle SECONDS     leave the window thread waiting in WaitEvent for
//                                          SECONDS and print the processor time used
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "runtime/utf.h"
#include "tools/ui_sample/sample_window.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/toolkit.h"

namespace {

using namespace kv::ui;
using namespace kv::sample;

constexpr int StartMark = 901;  // event kinds the loop uses only to time the idle period
constexpr int EndMark = 902;

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

int Screenshot(const char* path) {
    qt_user::SelectTableRow(SampleWindow, Table, 1);
    for (int i = 0; i < 20; ++i) {
        qt_user::ProcessPendingEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!qt_user::SaveWindowImage(SampleWindow, path)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    std::printf("saved %s\n", path);
    return 0;
}

int AboutBox(const char* path) {
    bool saved = false;
    qt_user::OnNextMessageBox([&] {
        for (int i = 0; i < 10; ++i) qt_user::ProcessPendingEvents();
        saved = qt_user::SaveDialogImage(path);
    });
    ShowMessageBox(kv::U16("О программе"),
                   kv::U16("Мониторинг температуры с использованием DS18x20.\nE-Mail: "
                           "support@kalorivox.example"));
    std::printf(saved ? "saved %s\n" : "cannot write %s\n", path);
    return saved ? 0 : 1;
}

int Idle(int seconds) {
    std::thread timer([seconds] {
        std::this_thread::sleep_for(std::chrono::seconds(1));  // let the first paint finish
        PostEvent(StartMark, SampleWindow, 0, 0);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        PostEvent(EndMark, SampleWindow, 0, 0);
    });
    double processStart = 0, threadStart = 0;
    int returns = 0;
    for (;;) {
        const int kind = WaitEvent();
        if (kind == StartMark) {
            processStart = ProcessCpuMs();
            threadStart = ThreadCpuMs();
            returns = 0;
            continue;
        }
        ++returns;
        if (kind == EndMark) break;
    }
    const double process = ProcessCpuMs() - processStart;
    const double window = ThreadCpuMs() - threadStart;
    timer.join();
    std::printf(
        "idle %d s in WaitEvent: process CPU %.1f ms, window thread CPU %.1f ms, "
        "WaitEvent returns %d\n",
        seconds, process, window, returns - 1);
    return 0;
}

int Run() {
    std::atomic<bool> stop{false};
    std::thread worker([&stop] {
        int tick = 0;
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            if (stop) break;
            WriteReading(0, 215 + (tick % 7) - 3);  // carried out on the window thread
            SetStatusText(SampleStatus, 0, kv::U16("Опрос " + std::to_string(++tick)));
        }
    });
    for (bool running = true; running;) {
        switch (WaitEvent()) {
            case CloseEvent:
                running = false;
                break;
            case MenuEvent:
                if (EventObject() == ItemExit) running = false;
                if (EventObject() == ItemAbout)
                    ShowMessageBox(kv::U16("О программе"),
                                   kv::U16("Образец элементов окна.\nKalorivox"));
                if (EventObject() == ItemLog || EventObject() == ItemLowCpu)
                    SetMenuItemState(
                        SampleMenu, EventObject(),
                        CheckState(GetMenuItemState(SampleMenu, EventObject()) == Unchecked));
                break;
            default:
                break;
        }
    }
    stop = true;
    HideWindow(SampleWindow, 1);
    // The worker may be waiting for the window thread; serving stops here, so release frees it.
    ToolkitRelease();
    worker.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    InstallQtToolkit(argc, argv);
    BuildSampleWindow();
    FillSampleData();
    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) return Screenshot(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--about") == 0) return AboutBox(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--idle") == 0) return Idle(std::atoi(argv[2]));
    return Run();
}
