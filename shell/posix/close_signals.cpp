#include "shell/close_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <thread>

#include "monitor/window_ids.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

// A signal handler may do almost nothing; it only writes one byte into a pipe, and an
// ordinary thread turns that byte into an event of the window.
constexpr char CloseByte = 'c';
constexpr char QuitByte = 'q';
// SIGHUP: the terminal that started the program went away, as at the end of a remote login.
constexpr std::array<int, 3> ForwardedSignals = {SIGINT, SIGTERM, SIGHUP};

int pipeFds[2] = {-1, -1};
std::array<struct sigaction, ForwardedSignals.size()> previousActions{};
std::array<bool, ForwardedSignals.size()> forwarding{};
std::thread forwarder;
bool installed = false;
std::atomic<void (*)()> extraAction{nullptr};

void WriteByte(char byte) {
    const int saved = errno;
    while (write(pipeFds[1], &byte, 1) < 0 && errno == EINTR) {
    }
    errno = saved;
}

extern "C" void OnCloseSignal(int) {
    WriteByte(CloseByte);
}

void Forward() {
    for (;;) {
        char byte = 0;
        const ssize_t got = read(pipeFds[0], &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || byte == QuitByte) return;
        ui::PostEvent(ui::CloseEvent, MainWindow, 0, 0);
        if (auto action = extraAction.load()) action();
    }
}

void ClosePipe() {
    for (int& fd : pipeFds) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

}  // namespace

void CloseSignalsSetExtraAction(void (*action)()) {
    extraAction = action;
}

int CloseSignalsInstall() {
    if (installed) return 1;
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return 0;
    forwarder = std::thread(Forward);

    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < ForwardedSignals.size(); ++i) {
        // A signal that whoever started the program chose to ignore (nohup, a background
        // job of a script) stays ignored: it is not a request to close.
        sigaction(ForwardedSignals[i], nullptr, &previousActions[i]);
        forwarding[i] = previousActions[i].sa_handler != SIG_IGN;
        if (forwarding[i]) sigaction(ForwardedSignals[i], &action, nullptr);
    }
    installed = true;
    return 1;
}

void CloseSignalsRelease() {
    if (!installed) return;
    for (size_t i = 0; i < ForwardedSignals.size(); ++i) {
        if (forwarding[i]) sigaction(ForwardedSignals[i], &previousActions[i], nullptr);
        forwarding[i] = false;
    }
    WriteByte(QuitByte);
    forwarder.join();
    ClosePipe();
    installed = false;
}

}  // namespace kv
