// The chart's goals, measured (not a test; the figures go to docs/performance.md):
//   kv_bench_chart [--sensors N] [--hours H] [--interval S] [--repeat R] [--log-mb M]
//                  [--log-sensors K] [--png FILE]
// 1. A history of N sensors over H hours at one reading every S seconds: the memory it takes
//    (glibc's heap, before and after) and its build time.
// 2. Redraws of the chart window's canvas (820 x 450) for each range: median and slowest, and
//    the median of the window thread's own CPU time, which other programs on a busy machine
//    do not stretch.
// 3. A log of M megabytes (K sensors, one reading a second up to now) read in the background
//    through the program's own path, while the window thread answers events: the time to
//    the end, and the longest the window thread waited for an event meanwhile.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "chart/chart_feed.h"
#include "chart/chart_view.h"
#include "monitor/log_line.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "onewire/crc8.h"
#include "runtime/date_text.h"
#include "runtime/local_zone.h"
#include "runtime/threads.h"
#include "runtime/utf.h"
#include "tools/bench_chart/screen.h"
#include "ui/toolkit.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int Window = 0, Canvas = 0;
constexpr int CanvasWidth = 820, CanvasHeight = 450;
constexpr int ProbeEvent = 4242;

struct Options {
    int sensors = 10;
    int hours = 24;
    int interval = 1;
    int repeat = 20;
    int logMb = 100;
    int logSensors = 27;
    std::string png;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Heap bytes in use, where the C library tells; -1 elsewhere.
long long HeapInUse() {
#if defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

RomCode SensorRom(int i) {
    RomCode rom = {0x28, static_cast<uint8_t>(i), 0x1B, 0x5A, 0x04, 0x00, 0x00, 0};
    rom[7] = static_cast<uint8_t>(OneWireCrc8(rom.data(), 7));
    return rom;
}

// Temperatures that wander like rooms, boilers and freezers do.
void Fill(ReadingHistory& history, const Options& o, int64_t nowMs) {
    std::mt19937 random(1);
    std::normal_distribution<float> step(0, 0.03f);
    const int64_t count = int64_t(o.hours) * 3600 / o.interval;
    std::vector<float> value(size_t(o.sensors));
    for (int s = 0; s < o.sensors; ++s) value[size_t(s)] = float(-20 + 9 * s);
    for (int64_t i = 0; i < count; ++i) {
        const int64_t at = nowMs - (count - i) * o.interval * 1000;
        for (int s = 0; s < o.sensors; ++s) {
            value[size_t(s)] += step(random);
            history.Add(SensorRom(s), at, std::round(value[size_t(s)] * 16) / 16,
                        o.interval * 1000);
        }
    }
}

struct Spread {
    double median = 0, slowest = 0, cpu = 0;  // cpu: the median of the thread's CPU time
};

// Runs `step` `repeat` times: the median and the slowest time of one run, in ms.
template <class Step>
Spread Measure(int repeat, Step step) {
    std::vector<double> times, cpu;
    for (int i = 0; i < repeat; ++i) {
        const auto start = Clock::now();
        const double startCpu = bench::ThreadCpuMs();
        step();
        cpu.push_back(bench::ThreadCpuMs() - startCpu);
        times.push_back(Ms(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    return {times[times.size() / 2], times.back(), cpu[cpu.size() / 2]};
}

const ReadingHistory* painted = nullptr;
ChartState paintState;
ChartPaintStats lastStats;
const LocalZone* zone = nullptr;

void Paint(int, int, int width, int height) {
    lastStats = DrawChart(*painted, paintState, width, height, *zone);
}

void MeasureRedraws(const Options& o, const ReadingHistory& history, int64_t nowMs) {
    painted = &history;
    paintState = ChartState{};
    paintState.nowMs = nowMs;
    paintState.limitsOn = true;
    paintState.thermoMin = 20;
    paintState.thermoMax = 25;
    const char* names[ChartRangeCount] = {"10 min", "1 h", "24 h", "all"};
    std::printf("\n%-8s %10s %10s %8s %8s %8s\n", "range", "median ms", "max ms", "cpu ms", "lines",
                "corners");
    for (int r = 0; r < ChartRangeCount; ++r) {
        paintState.range = static_cast<ChartRange>(r);
        bench::PaintNow(Window, Canvas);  // warm
        const Spread paint = Measure(o.repeat, [] { bench::PaintNow(Window, Canvas); });
        std::printf("%-8s %10.2f %10.2f %8.2f %8zu %8zu\n", names[r], paint.median, paint.slowest,
                    paint.cpu, lastStats.lines, lastStats.points);
    }
    // The thinning alone, without drawing: a day of every series onto 600 columns.
    size_t corners = 0;
    const Spread thinning = Measure(o.repeat, [&] {
        std::vector<ChartLine> lines;
        history.Read([&](const std::vector<HistorySeries>& all) {
            const TimeScale time{nowMs - HistoryDayMs, nowMs, 0, 600};
            for (const HistorySeries& s : all)
                for (const HistoryRun& run : s.runs) ThinRun(run, history.BaseMs(), time, lines);
        });
        corners = 0;
        for (const ChartLine& line : lines) corners += line.size();
    });
    std::printf("%-8s %10.2f %10.2f %8.2f %8s %8zu  (24 h thinned to 600 columns, not drawn)\n",
                "thinning", thinning.median, thinning.slowest, thinning.cpu, "", corners);
    // With the pointer over the plot: the readings under it are looked up too.
    paintState.range = ChartRange::Day;
    paintState.pointerX = CanvasWidth / 2;
    paintState.pointerY = CanvasHeight / 2;
    const Spread pointed = Measure(o.repeat, [] { bench::PaintNow(Window, Canvas); });
    std::printf("%-8s %10.2f %10.2f %8.2f  (24 h, pointer over the plot)\n", "pointer",
                pointed.median, pointed.slowest, pointed.cpu);
    if (!o.png.empty()) {
        paintState.pointerX = ui::NoPointer;
        paintState.range = ChartRange::Hour;
        std::printf("\npicture %s: %s\n", o.png.c_str(),
                    bench::SaveCanvas(Window, Canvas, o.png) ? "written" : "not supported here");
    }
}

void MeasureLogLoad(const Options& o, int64_t nowMs) {
    const std::string path = "kv_bench_chart.log";
    const int64_t targetBytes = int64_t(o.logMb) << 20;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "\xEF\xBB\xBF";
        const LocalZone local;
        const int64_t lineBytes = 56;
        const int64_t seconds = targetBytes / lineBytes / o.logSensors + 1;
        const int64_t nowSeconds = nowMs / 1000;
        int64_t written = 3;
        std::mt19937 random(2);
        std::uniform_int_distribution<int> tenths(150, 260);
        for (int64_t s = seconds; s > 0 && written < targetBytes; --s) {
            const auto stamp = static_cast<DateValue>(local.LocalSeconds(nowSeconds - s));
            const std::string date = Utf8FromUtf16(LogStampText(stamp));
            for (int k = 0; k < o.logSensors; ++k) {
                const std::string line = date +
                                         Utf8FromUtf16(LogReadingText(FormatRomCode(SensorRom(k)),
                                                                      tenths(random) / 10.0f)) +
                                         "\r\n";
                out << line;
                written += int64_t(line.size());
            }
        }
        std::printf("\nlog: %.1f MB, %d sensors\n", double(written) / (1 << 20), o.logSensors);
    }
    ChartFeedReset();
    const long long heapBefore = HeapInUse();
    // The window thread meanwhile: an event posted to itself every few milliseconds, and how
    // long it took to come back.
    double worstWait = 0, worstPaint = 0;
    int probes = 0;
    painted = &ChartHistory();
    paintState.range = ChartRange::Day;
    paintState.pointerX = ui::NoPointer;
    const auto start = Clock::now();
    ChartLoadStart(Utf16FromUtf8(path));
    while (!ChartLoadProgress().finished) {
        const auto posted = Clock::now();
        ui::PostEvent(ProbeEvent, Window, 0, 0);
        while (ui::WaitEvent() != ProbeEvent) {
        }
        worstWait = std::max(worstWait, Ms(Clock::now() - posted));
        ++probes;
        // A paint of what has arrived: it takes the history's lock, as the reading does.
        const auto paintStart = Clock::now();
        bench::PaintNow(Window, Canvas);
        worstPaint = std::max(worstPaint, Ms(Clock::now() - paintStart));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double took = Ms(Clock::now() - start);
    ChartLoadStop(ThreadWaitInfinite);  // the reading thread has let go of what it read
    const ChartLoadState load = ChartLoadProgress();
    std::printf("read in the background: %.0f ms, %lld records kept, %lld lines skipped\n", took,
                static_cast<long long>(load.records), static_cast<long long>(load.skipped));
    std::printf(
        "window thread meanwhile: %d events and paints of the chart, longest wait for an "
        "event %.1f ms, slowest paint %.1f ms\n",
        probes, worstWait, worstPaint);
    if (heapBefore >= 0)
        std::printf("history after reading: %zu points, heap %.1f MB\n",
                    ChartHistory().PointCount(), double(HeapInUse() - heapBefore) / (1 << 20));
    // What was read, drawn: the log's readings jump about (15 to 26 °C at random), so every
    // column of every line is a stroke across most of the plot.
    for (ChartRange range : {ChartRange::Day, ChartRange::All}) {
        paintState.range = range;
        const Spread paint = Measure(o.repeat, [] { bench::PaintNow(Window, Canvas); });
        std::printf("paint of it, %s: median %.2f ms, slowest %.2f ms, cpu %.2f ms\n",
                    range == ChartRange::Day ? "24 h" : "all", paint.median, paint.slowest,
                    paint.cpu);
    }
    std::remove(path.c_str());
}

int Main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--sensors")
            o.sensors = std::atoi(value);
        else if (name == "--hours")
            o.hours = std::atoi(value);
        else if (name == "--interval")
            o.interval = std::max(1, std::atoi(value));
        else if (name == "--repeat")
            o.repeat = std::max(1, std::atoi(value));
        else if (name == "--log-mb")
            o.logMb = std::atoi(value);
        else if (name == "--log-sensors")
            o.logSensors = std::max(1, std::atoi(value));
        else if (name == "--png")
            o.png = value;
    }
    bench::InstallScreenToolkit(argc, argv);
    const LocalZone local;
    zone = &local;
    ui::OpenWindow(Window, 0, 0, CanvasWidth, CanvasHeight, u"kv_bench_chart", ui::WindowResizable);
    ui::CreateCanvas(Window, Canvas, 0, 0, CanvasWidth, CanvasHeight, ui::CanvasStretch);
    ui::BindPaintHandler(Window, Canvas, Paint);

    const int64_t nowMs = ChartNowMs();
    const long long heapBefore = HeapInUse();
    const auto start = Clock::now();
    ReadingHistory history(nowMs - 2 * HistoryDayMs);
    history.SetInterval(o.interval);
    Fill(history, o, nowMs);
    const double built = Ms(Clock::now() - start);
    const long long heapAfter = HeapInUse();
    std::printf(
        "history: %d sensors x %d h at %d s = %zu points (%zu kept per sensor), built in %.0f ms\n",
        o.sensors, o.hours, o.interval, history.PointCount(), history.Capacity(), built);
    if (heapBefore >= 0)
        std::printf(
            "history memory: %.2f MB (%.1f bytes a point)\n",
            double(heapAfter - heapBefore) / (1 << 20),
            double(heapAfter - heapBefore) / double(std::max<size_t>(1, history.PointCount())));
    MeasureRedraws(o, history, nowMs);
    if (o.logMb > 0) MeasureLogLoad(o, nowMs);
    ui::ToolkitRelease();
    return 0;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    return kv::Main(argc, argv);
}
