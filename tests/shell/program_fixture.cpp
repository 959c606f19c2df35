#include "tests/shell/program_fixture.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "monitor/control_block.h"
#include "monitor/window_ids.h"
#include "runtime/utf.h"
#include "shell/program.h"
#include "shell/settings.h"
#include "ui/toolkit.h"

namespace kv::testing {
namespace {

constexpr int MarkerEvent = -7;
constexpr int MarkerWindow = -7;

// Each simulated sleep also yields this much real time, so that a worker looping idly (no
// port, no devices) does not spin a core while the window thread is pumped.
constexpr int64_t SleepRealPauseUs = 200;
// Shutdown raises the stop flag without telling the clock: a parked sleep looks this often.
constexpr auto ParkedStopCheck = std::chrono::milliseconds(1);
// Between two pumps: the worker's calls to the window wait for the next one.
constexpr auto PumpPause = std::chrono::microseconds(500);
// Only for a test whose simulated time stands still while it waits.
constexpr auto PumpRealLimit = std::chrono::seconds(30);

std::string SettingsName() {
    return Utf8FromUtf16(SettingsFileName);
}

}  // namespace

ProgramClock::ProgramClock() : limitUs_(clock_.peekMicroseconds()) {
    clock_.setRealPauseMicroseconds(SleepRealPauseUs);
}

void ProgramClock::sleepMilliseconds(int32_t milliseconds) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (limitUs_ >= 0 && clock_.peekMicroseconds() >= limitUs_ &&
               ControlBlock.StopRequested == 0) {
            moved_.wait_for(lock, ParkedStopCheck);
        }
    }
    clock_.sleepMilliseconds(milliseconds);
}

void ProgramClock::run(int64_t milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    limitUs_ = milliseconds < 0 ? -1 : clock_.peekMicroseconds() + milliseconds * 1000;
    moved_.notify_all();
}

void ProgramTest::SetUp() {
    previousFolder_ = std::filesystem::current_path();
    std::random_device random;
    do {
        folder = std::filesystem::temp_directory_path() /
                 ("kv-shell-" + std::to_string(random()) + std::to_string(random()));
    } while (!std::filesystem::create_directory(folder));
    ui = &ui::InstallHeadlessToolkit();
    timeScope_ = std::make_unique<ScopedTimeSource>(&clock);
}

void ProgramTest::TearDown() {
    Stop();
    timeScope_.reset();
    std::filesystem::current_path(previousFolder_);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void ProgramTest::WriteSettings(const std::string& lines) {
    std::ofstream out(folder / SettingsName(), std::ios::binary);
    out << "\xEF\xBB\xBF\r\n";
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) out << line << "\r\n";
}

void ProgramTest::StartWithoutEvents() {
    ProgramStart(Utf16FromUtf8(folder.string() + "/"));
    running = true;
}

void ProgramTest::Start() {
    StartWithoutEvents();
    Pump();
}

bool ProgramTest::Pump() {
    if (!running) return false;
    const int marker = ++marker_;
    ui::PostEvent(MarkerEvent, MarkerWindow, marker, 0);
    for (;;) {
        const int kind = ui::WaitEvent();
        if (kind == MarkerEvent && ui::EventWindow() == MarkerWindow &&
            ui::EventObject() == marker) {
            return true;
        }
        if (!DispatchEvent(kind)) {
            running = false;
            return false;
        }
    }
}

bool ProgramTest::PumpUntil(const std::function<bool()>& done, int limitMs) {
    const int64_t deadline = clock.nowMs() + limitMs;
    const auto realDeadline = std::chrono::steady_clock::now() + PumpRealLimit;
    while (Pump()) {
        if (done()) return true;
        if (clock.nowMs() >= deadline || std::chrono::steady_clock::now() >= realDeadline)
            return false;
        std::this_thread::sleep_for(PumpPause);
    }
    return false;
}

bool ProgramTest::Post(int kind, int object, int type) {
    ui::PostEvent(kind, MainWindow, object, type);
    return Pump();
}

void ProgramTest::Stop() {
    if (!running) return;
    Shutdown();
    running = false;
}

std::string ProgramTest::ReadFile(const std::string& name) const {
    std::ifstream in(folder / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string ProgramTest::SettingsBytes() const {
    return ReadFile(SettingsName());
}

bool ProgramTest::SettingsExist() const {
    return std::filesystem::exists(folder / SettingsName());
}

std::string SettingsFile(const std::string& port, int interval, int thermoControl, int convertOnly,
                         int thermoMin, int thermoMax, int log, int cpu, int invert) {
    std::ostringstream text;
    text << "\xEF\xBB\xBF\r\n"
         << "Port = " << port << "\r\n"
         << "Interval = " << interval << "\r\n"
         << "ThermoControl = " << thermoControl << "\r\n"
         << "ConvertOnly = " << convertOnly << "\r\n"
         << "ThermoMin = " << thermoMin << "\r\n"
         << "ThermoMax = " << thermoMax << "\r\n"
         << "Log = " << log << "\r\n"
         << "CPU_MinUsage = " << cpu << "\r\n"
         << "Invert = " << invert << "\r\n";
    return text.str();
}

}  // namespace kv::testing
