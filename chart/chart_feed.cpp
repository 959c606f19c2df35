#include "chart/chart_feed.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "chart/log_reader.h"
#include "monitor/control_block.h"
#include "monitor/monitor_worker.h"
#include "monitor/reading_sink.h"
#include "runtime/threads.h"

namespace kv {
namespace {

// Readings from before this are not kept: the log is read back a day, and the margin leaves
// room for a clock set back a little.
constexpr int64_t HistoryReachMs = 2 * HistoryDayMs;
// A pass takes about this long beside the interval: the conversion and the readings.
constexpr int64_t PassTimeMs = 1'000;
constexpr int64_t MsPerSecond = 1000;

std::atomic<void (*)()> notifyAfter{nullptr};
int32_t sinkConsumer = 0;  // window thread (start-up)

struct Loader {
    std::mutex lock;
    std::u16string path;
    ChartLoadState state;
    int thread = 0;
    std::atomic<bool> stop{false};
};

Loader& TheLoader() {
    static Loader* loader = new Loader;  // a thread may still run at the exit
    return *loader;
}

void Notify() {
    if (void (*notify)() = notifyAfter.load()) notify();
}

int LoadInBackground(intptr_t) {
    Loader& loader = TheLoader();
    std::u16string path;
    {
        std::lock_guard guard(loader.lock);
        path = loader.path;
    }
    const int64_t now = ChartNowMs();
    const LocalZone zone;
    LogLoad load = LoadLog(path, now - HistoryDayMs, now, zone, loader.stop);
    if (!loader.stop) ChartHistory().AddLoaded(load.readings, load.older.Readings());
    {
        std::lock_guard guard(loader.lock);
        loader.state = ChartLoadState{true, load.opened, load.records, load.skipped};
    }
    Notify();
    return 0;
}

}  // namespace

int64_t ChartNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

ReadingHistory& ChartHistory() {
    static ReadingHistory* history = new ReadingHistory(ChartNowMs() - HistoryReachMs);
    return *history;
}

void ChartFeedReset() {
    ChartLoadStop(ThreadWaitInfinite);
    Loader& loader = TheLoader();
    {
        std::lock_guard guard(loader.lock);
        loader.thread = 0;
        loader.state = ChartLoadState{};
        loader.stop = false;
    }
    ChartHistory().Reset(ChartNowMs() - HistoryReachMs);
    // Every reading that reaches the log (or would, with logging off) reaches the chart.
    if (sinkConsumer != 0) ReadingSinkRemove(sinkConsumer);
    sinkConsumer = ReadingSinkAdd(
        [](const SensorReading& reading) { ChartTakeReading(reading.rom, reading.celsius); },
        ChartSensorAnswering);
}

int64_t ChartExpectedSpacingMs() {
    // Readings of one sensor come an interval (and a pass) apart, or in separate polling one
    // round of all devices apart.
    const int64_t interval = std::max<int64_t>(1, ControlBlock.Interval.load());
    const int64_t devices = ControlBlock.ConvertOnly != 0
                                ? std::max(1, MonitorWorkerStatistics().deviceCount.load())
                                : 1;
    return (interval * MsPerSecond + PassTimeMs) * devices;
}

void ChartTakeReading(const RomCode& rom, float celsius) {
    ReadingHistory& history = ChartHistory();
    history.SetInterval(std::max<int32_t>(1, ControlBlock.Interval.load()));
    history.Add(rom, ChartNowMs(), celsius, ChartExpectedSpacingMs());
    Notify();
}

void ChartSensorAnswering(const RomCode& rom, bool answering) {
    ChartHistory().SetAnswering(rom, answering);
    Notify();
}

void ChartSetNotify(void (*notify)()) {
    notifyAfter = notify;
}

void ChartLoadStart(std::u16string_view path) {
    Loader& loader = TheLoader();
    std::lock_guard guard(loader.lock);
    if (loader.thread != 0 || loader.state.finished) return;
    loader.path = path;
    loader.stop = false;
    loader.thread = ThreadStart(LoadInBackground, 0);
    if (loader.thread == 0) loader.state.finished = true;  // no thread: no history from the log
}

void ChartLoadStop(uint32_t limitMs) {
    Loader& loader = TheLoader();
    loader.stop = true;
    int thread = 0;
    {
        std::lock_guard guard(loader.lock);
        thread = loader.thread;
    }
    if (thread != 0) ThreadWait(thread, limitMs);
}

ChartLoadState ChartLoadProgress() {
    Loader& loader = TheLoader();
    std::lock_guard guard(loader.lock);
    return loader.state;
}

}  // namespace kv
