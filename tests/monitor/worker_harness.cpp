#include "tests/monitor/worker_harness.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <random>

#include "monitor/control_block.h"
#include "monitor/monitor_worker.h"
#include "monitor/port_chooser.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/port.h"
#include "runtime/text_file.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv::test {

namespace {
constexpr auto RealLimit = std::chrono::seconds(60);
}

// --- ScriptClock ------------------------------------------------------------------------

int64_t ScriptClock::nowMicroseconds() {
    const int64_t t = clock_.nowMicroseconds();
    runDue(t);
    return t;
}

void ScriptClock::sleepMilliseconds(int32_t milliseconds) {
    if (milliseconds == LoopSleepMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (gated_) {
            parked_ = true;
            cv_.notify_all();
            cv_.wait(lock, [&] { return budget_ > 0 || !gated_; });
            if (budget_ > 0) --budget_;
            parked_ = false;
            ++passed_;
        }
    }
    clock_.sleepMilliseconds(milliseconds);
    runDue(clock_.peekMicroseconds());
}

void ScriptClock::at(int64_t microseconds, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(actionsMutex_);
    actions_.emplace_back(microseconds, std::move(action));
}

void ScriptClock::runDue(int64_t now) {
    std::vector<std::function<void()>> due;
    {
        std::lock_guard<std::mutex> lock(actionsMutex_);
        for (auto it = actions_.begin(); it != actions_.end();) {
            if (it->first <= now) {
                due.push_back(std::move(it->second));
                it = actions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& action : due) action();
}

void ScriptClock::setGated(bool gated) {
    std::lock_guard<std::mutex> lock(mutex_);
    gated_ = gated;
    cv_.notify_all();
}

bool ScriptClock::grant(int n, const std::function<bool()>& finished) {
    std::unique_lock<std::mutex> lock(mutex_);
    budget_ += n;
    cv_.notify_all();
    return cv_.wait_for(lock, RealLimit, [&] { return (parked_ && budget_ == 0) || finished(); });
}

void ScriptClock::wakeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    cv_.notify_all();
}

// --- WorkerHarness ----------------------------------------------------------------------

WorkerHarness::WorkerHarness() {
    PortChoiceSet(u"");  // no port kept from an earlier test
    timeScope_ = std::make_unique<ScopedTimeSource>(&clock);
    toolkit = &ui::InstallHeadlessToolkit();
    toolkit->setDirectCrossThreadCalls(true);
    ui::OpenWindow(MainWindow, 0, 0, 640, 400, u"Kalorivox", 0);
    ui::CreateDropDownList(MainWindow, PortSelector, 0, 0, 100, 20);
    ui::CreateTable(MainWindow, SensorTable, 0, 30, 600, 300, u"Тип", 100, 0);
    ui::AddTableColumn(MainWindow, SensorTable, 1, u"Серийный номер", 150);
    ui::AddTableColumn(MainWindow, SensorTable, 2, u"Подключение", 150);
    ui::AddTableColumn(MainWindow, SensorTable, 3, u"Температура", 100);
    ui::AddTableColumn(MainWindow, SensorTable, 4, u"Статус", 100);
    ui::CreateStatusBar(StatusLine, MainWindow);
    ui::AddStatusField(StatusLine, ui::FillWidth);
    ControlBlockReset();
    ControlBlock.Interval = 1;
    OneWireSetOptions(0);
    MonitorWorkerStatisticsReset();
}

WorkerHarness::~WorkerHarness() {
    if (worker_.joinable()) {
        ControlBlock.StopRequested = 1;
        clock.setGated(false);
        worker_.join();
    }
    SerialCloseAll();
    currentPort = PortNone;
    for (const auto& name : registered_) SerialUnregisterVirtualPort(name);
    TextFileCloseAll();
    if (!previousFolder_.empty()) {
        std::error_code ignored;
        std::filesystem::current_path(previousFolder_, ignored);
        std::filesystem::remove_all(tempFolder_, ignored);
    }
    ControlBlockReset();
    ui::ToolkitRelease();
}

std::shared_ptr<SimBus> WorkerHarness::addBus(const std::u16string& name) {
    auto bus = std::make_shared<SimBus>(7);
    SimRegisterBus(name, bus);
    registered_.push_back(name);
    offerPort(name);
    return bus;
}

void WorkerHarness::offerPort(const std::u16string& name) {
    ui::AddItem(MainWindow, PortSelector, ui::AppendPosition, name);
    if (std::find(registered_.begin(), registered_.end(), name) == registered_.end())
        registered_.push_back(name);  // unregistering a name never registered is harmless
}

void WorkerHarness::choosePort(const std::u16string& name) {
    ui::SetText(MainWindow, PortSelector, name);
}

std::filesystem::path WorkerHarness::useTempFolder() {
    std::random_device random;
    tempFolder_ = std::filesystem::temp_directory_path() /
                  ("kv-monitor-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(tempFolder_);
    previousFolder_ = std::filesystem::current_path();
    std::filesystem::current_path(tempFolder_);
    return tempFolder_;
}

void WorkerHarness::start() {
    clock.setGated(true);
    worker_ = std::thread([this] {
        result_ = MonitorWorker(0);
        finished_ = true;
        clock.wakeAll();
    });
    clock.grant(0, [this] { return finished_.load(); });
}

bool WorkerHarness::step(int sleeps) {
    return clock.grant(sleeps, [this] { return finished_.load(); });
}

bool WorkerHarness::stepUntil(const std::function<bool()>& done, int maxSleeps) {
    for (int i = 0; i < maxSleeps; ++i) {
        if (done()) return true;
        if (finished_ || !step(1)) return done();
    }
    return done();
}

bool WorkerHarness::stop(int maxSleeps) {
    ControlBlock.StopRequested = 1;
    for (int i = 0; i <= maxSleeps && !finished_; ++i) step(1);
    if (!finished_) return false;
    worker_.join();
    return true;
}

std::u16string WorkerHarness::status() const {
    return toolkit->statusText(StatusLine, 0);
}

std::u16string WorkerHarness::cell(int row, int column) const {
    return toolkit->cellText(MainWindow, SensorTable, row, column);
}

int32_t WorkerHarness::colour(int row, int column) const {
    return toolkit->cellColour(MainWindow, SensorTable, row, column);
}

int WorkerHarness::rows() const {
    return ui::CountItems(MainWindow, SensorTable);
}

}  // namespace kv::test
