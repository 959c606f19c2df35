#include "chart/chart_model.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "runtime/date_text.h"

namespace kv {
namespace {

constexpr int64_t MsPerSecond = 1000;
constexpr int64_t SecondsPerDay = 86'400;
// Local ticks are looked for this far beyond the range, so that a change of summer time
// inside it (the local clock jumps by an hour or two) loses none.
constexpr int64_t ZoneChangeMargin = 3 * 3600;

constexpr std::array<int64_t, 21> TimeSteps = {1,     2,     5,     10,    15,     30,     60,
                                               120,   300,   600,   900,   1800,   3600,   7200,
                                               10800, 21600, 43200, 86400, 172800, 345600, 604800};
constexpr std::array<double, 10> ValueSteps = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100};
// The narrowest range of degrees the axis shows.
constexpr double FlatSpan = 1.0;

// Okabe and Ito's colours, which stay apart for the common kinds of colour blindness; the
// yellow, faint on white, comes last.
constexpr std::array<int32_t, 8> Palette = {
    ui::Rgb(0, 114, 178), ui::Rgb(213, 94, 0),   ui::Rgb(0, 158, 115), ui::Rgb(204, 121, 167),
    ui::Rgb(230, 159, 0), ui::Rgb(86, 180, 233), ui::Rgb(0, 0, 0),     ui::Rgb(240, 228, 66)};

int64_t CeilDiv(int64_t value, int64_t by) {
    return -FloorDiv(-value, by);
}

std::u16string_view TickMask(int64_t localSeconds, int64_t step) {
    if (localSeconds % SecondsPerDay == 0) return u"%dd.%mm";
    return step < 60 ? u"%hh:%ii:%ss" : u"%hh:%ii";
}

// The readings of one pixel column, joined in the order they came.
struct Column {
    bool open = false;
    int x = 0;
    float low = 0, high = 0;
    bool lowFirst = true;

    void Start(int at, float celsius) {
        open = true;
        x = at;
        low = high = celsius;
        lowFirst = true;
    }
    void Take(float celsius) {
        if (celsius < low) {
            low = celsius;
            lowFirst = false;  // the high came before this new low
        } else if (celsius > high) {
            high = celsius;
            lowFirst = true;
        }
    }
    void Close(ChartLine& line) {
        if (!open) return;
        open = false;
        if (low == high) {
            line.push_back({x, low});
        } else {
            line.push_back({x, lowFirst ? low : high});
            line.push_back({x, lowFirst ? high : low});
        }
    }
};

}  // namespace

int64_t ChartRangeMs(ChartRange range) {
    switch (range) {
        case ChartRange::TenMinutes:
            return 10 * 60 * MsPerSecond;
        case ChartRange::Hour:
            return 3600 * MsPerSecond;
        case ChartRange::Day:
            return SecondsPerDay * MsPerSecond;
        case ChartRange::All:
            break;
    }
    return 0;
}

int TimeScale::X(int64_t ms) const {
    const int64_t span = std::max<int64_t>(1, endMs - startMs);
    return left + static_cast<int>(FloorDiv((ms - startMs) * int64_t(width), span));
}

int64_t TimeScale::FirstMs(int x) const {
    const int64_t span = std::max<int64_t>(1, endMs - startMs);
    return startMs + CeilDiv(int64_t(x - left) * span, std::max(1, width));
}

int64_t TimeScale::Ms(int x) const {
    const int64_t span = std::max<int64_t>(1, endMs - startMs);
    return startMs + (int64_t(x - left) * span) / std::max(1, width);
}

int ValueScale::Y(double celsius) const {
    const double span = high > low ? high - low : 1.0;
    return top + height - static_cast<int>(std::lround((celsius - low) * height / span));
}

double ValueScale::Celsius(int y) const {
    const double span = high > low ? high - low : 1.0;
    return low + double(top + height - y) * span / std::max(1, height);
}

std::vector<TimeTick> TimeTicks(const TimeScale& scale, int minimumPixels, const LocalZone& zone) {
    std::vector<TimeTick> ticks;
    const int64_t spanSeconds = std::max<int64_t>(1, (scale.endMs - scale.startMs) / MsPerSecond);
    int64_t step = TimeSteps.back();
    for (int64_t candidate : TimeSteps) {
        if (candidate * scale.width >= int64_t(minimumPixels) * spanSeconds) {
            step = candidate;
            break;
        }
    }
    const int64_t startSeconds = FloorDiv(scale.startMs, MsPerSecond);
    const int64_t endSeconds = FloorDiv(scale.endMs, MsPerSecond);
    const int64_t firstLocal = zone.LocalSeconds(startSeconds) - ZoneChangeMargin;
    const int64_t lastLocal = zone.LocalSeconds(endSeconds) + ZoneChangeMargin;
    for (int64_t local = (FloorDiv(firstLocal, step) + 1) * step; local <= lastLocal;
         local += step) {
        int64_t instants[2] = {0, 0};
        const int count = zone.Instants(local, instants[0], instants[1]);
        for (int i = 0; i < count; ++i) {
            const int64_t ms = instants[i] * MsPerSecond;
            if (ms < scale.startMs || ms > scale.endMs) continue;
            if (!ticks.empty() && ticks.back().instantMs >= ms) continue;
            // Local seconds fit a date value for as long as the date formatting lasts.
            ticks.push_back({ms, DateToText(TickMask(local, step), static_cast<DateValue>(local))});
        }
    }
    return ticks;
}

ValueAxis NiceValueAxis(double low, double high, int pixels, int minimumPixels) {
    if (high < low) std::swap(low, high);
    if (high - low < FlatSpan) {
        const double middle = (low + high) / 2;
        low = middle - FlatSpan / 2;
        high = middle + FlatSpan / 2;
    }
    ValueAxis axis;
    for (double step : ValueSteps) {
        axis.step = step;
        axis.low = std::floor(low / step) * step;
        axis.high = std::ceil(high / step) * step;
        const double ticks = (axis.high - axis.low) / step;
        if (pixels >= ticks * minimumPixels) break;
    }
    axis.decimals = axis.step < 1 ? 1 : 0;
    return axis;
}

void ThinRun(const HistoryRun& run, int64_t baseMs, const TimeScale& time,
             std::vector<ChartLine>& lines) {
    if (run.empty()) return;
    const int64_t firstTenth = FloorDiv(time.startMs - baseMs, HistoryTenthMs);
    const int64_t lastTenth = FloorDiv(time.endMs - baseMs, HistoryTenthMs) + 1;
    auto from = std::lower_bound(run.begin(), run.end(), firstTenth,
                                 [](const HistoryPoint& p, int64_t t) { return p.tenths < t; });
    auto to = std::upper_bound(run.begin(), run.end(), lastTenth,
                               [](int64_t t, const HistoryPoint& p) { return t < p.tenths; });
    // One reading on either side, so the line runs on to the edges.
    if (from != run.begin()) --from;
    if (to != run.end()) ++to;
    ChartLine line;
    Column column;
    // A line that ends before the left edge or starts after the right one is not drawn.
    auto finish = [&] {
        column.Close(line);
        if (!line.empty() && line.front().x <= time.left + time.width && line.back().x >= time.left)
            lines.push_back(std::move(line));
        line.clear();
    };
    // The first tenth of the next column: readings before it fall in the open column, so the
    // scale's 64-bit division (a library call on 32-bit Windows) is made once a column, not
    // once a reading.
    int64_t nextColumn = 0;
    for (auto it = from; it != to; ++it) {
        if (it->isGap()) {
            finish();
            continue;
        }
        if (column.open && it->tenths < nextColumn) {
            column.Take(it->celsius);
            continue;
        }
        const int x = time.X(it->Ms(baseMs));
        column.Close(line);
        column.Start(x, it->celsius);
        nextColumn = CeilDiv(time.FirstMs(x + 1) - baseMs, HistoryTenthMs);
    }
    finish();
}

bool ReadingNear(const HistoryRun& run, int64_t baseMs, int64_t instantMs, int64_t withinMs,
                 HistoryPoint& found) {
    const int64_t tenth = FloorDiv(instantMs - baseMs, HistoryTenthMs);
    auto at = std::lower_bound(run.begin(), run.end(), tenth,
                               [](const HistoryPoint& p, int64_t t) { return p.tenths < t; });
    bool any = false;
    int64_t best = withinMs + 1;
    auto consider = [&](HistoryRun::const_iterator it) {
        if (it->isGap()) return;
        const int64_t distance = std::llabs(it->Ms(baseMs) - instantMs);
        if (distance < best) {
            best = distance;
            found = *it;
            any = true;
        }
    };
    if (at != run.end()) consider(at);
    if (at != run.begin()) consider(std::prev(at));
    return any;
}

int32_t SeriesColour(size_t index) {
    return Palette[index % Palette.size()];
}

}  // namespace kv
