#include "chart/chart_view.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "monitor/window_names.h"
#include "runtime/date_text.h"
#include "runtime/integer_text.h"
#include "runtime/number_text.h"

namespace kv {
namespace {

using namespace kv::ui;

constexpr int Margin = 8;
constexpr int TickLength = 4;
constexpr int LabelGap = 3;       // between a tick and its label
constexpr int TimeLabelGap = 24;  // least room between two time labels
constexpr int ValueLabelGap = 8;  // least room between two value labels
constexpr int SwatchWidth = 16;
constexpr int LegendGap = 6;
constexpr int LegendRowGap = 4;
// A line with fewer corners than the plot has columns is drawn wider, so that a few readings
// stand out; a dense one is drawn thin, as wide pens cost far more to draw.
constexpr int SparsePen = 2;
constexpr int DensePen = 1;
constexpr int PointerBoxPadding = 4;
// The pointer picks readings this many pixels to either side of it.
constexpr int PointerReach = 3;
// With nothing to show, the temperature axis spans these degrees.
constexpr double EmptyLow = 0, EmptyHigh = 30;

constexpr int32_t Background = Rgb(255, 255, 255);
constexpr int32_t GridColour = Rgb(228, 228, 228);
constexpr int32_t FrameColour = Rgb(150, 150, 150);
constexpr int32_t LabelColour = Rgb(60, 60, 60);
constexpr int32_t BandEdgeColour = Rgb(130, 190, 130);
constexpr int32_t PointerColour = Rgb(120, 120, 120);
constexpr int32_t PointerBoxColour = Rgb(255, 255, 235);

constexpr std::u16string_view PointerTimeMask = u"%dd.%mm.%yyyy %hh:%ii:%ss";
constexpr int64_t MsPerSecond = 1000;

struct SeriesLines {
    std::u16string rom;
    int32_t colour = 0;
    std::vector<ChartLine> lines;
    bool hasLatest = false;
    float latest = 0;
    bool hasPointed = false;
    float pointed = 0;
};

struct Frame {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return std::max(1, right - left); }
    int Height() const { return std::max(1, bottom - top); }
};

void Line(int x1, int y1, int x2, int y2, int32_t colour) {
    const CanvasPoint points[] = {{x1, y1}, {x2, y2}};
    CanvasLines(points, 2, colour, 1);
}

void Rectangle(int left, int top, int right, int bottom, int32_t colour) {
    const CanvasPoint points[] = {
        {left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
    CanvasLines(points, 5, colour, 1);
}

// The time range shown: up to now, or from the oldest reading kept.
TimeScale TimeRange(const std::vector<HistorySeries>& series, int64_t baseMs,
                    const ChartState& state) {
    TimeScale time;
    time.endMs = state.nowMs;
    const int64_t span = ChartRangeMs(state.range);
    if (span > 0) {
        time.startMs = state.nowMs - span;
        return time;
    }
    int64_t first = std::numeric_limits<int64_t>::max(), last = state.nowMs;
    for (const HistorySeries& s : series)
        for (const HistoryRun& run : s.runs) {
            first = std::min(first, run.front().Ms(baseMs));
            last = std::max(last, run.back().Ms(baseMs));
        }
    time.endMs = last;
    time.startMs = first < last ? first : last - ChartRangeMs(ChartRange::Hour);
    return time;
}

std::u16string DegreesText(double value, int decimals) {
    return FloatToText(static_cast<float>(value), decimals);
}

}  // namespace

ChartPaintStats DrawChart(const ReadingHistory& history, const ChartState& state, int width,
                          int height, const LocalZone& zone) {
    ChartPaintStats stats;
    const int textHeight = CanvasTextHeight();
    const int64_t baseMs = history.BaseMs();
    std::vector<SeriesLines> drawn;
    TimeScale time;
    const std::u16string limitsText =
        std::u16string(texts::ChartLimits) + IntegerToText(state.thermoMin) + u"…" +
        IntegerToText(state.thermoMax) + std::u16string(texts::DegreesSuffix);

    // The plot's width depends on the legend, the legend on the series; the lines are thinned
    // to the columns once the plot's width is known. Everything that needs the readings is
    // taken under the history's lock; the drawing comes after.
    history.Read([&](const std::vector<HistorySeries>& all) {
        time = TimeRange(all, baseMs, state);
        int legendWidth = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            SeriesLines s;
            s.rom = NamedRomText(all[i].rom);
            s.colour = SeriesColour(i);
            for (auto run = all[i].runs.rbegin(); run != all[i].runs.rend() && !s.hasLatest; ++run)
                for (auto p = run->rbegin(); p != run->rend(); ++p)
                    if (!p->isGap()) {
                        s.hasLatest = true;
                        s.latest = p->celsius;
                        break;
                    }
            const int entry = SwatchWidth + LegendGap + CanvasTextWidth(s.rom) + LegendGap +
                              CanvasTextWidth(TemperatureText(s.latest));
            legendWidth = std::max(legendWidth, entry);
            drawn.push_back(std::move(s));
        }
        if (state.limitsOn)
            legendWidth =
                std::max(legendWidth, SwatchWidth + LegendGap + CanvasTextWidth(limitsText));
        // Room for the value labels is settled below; the widest a label gets is taken here.
        const int valueLabelRoom = CanvasTextWidth(u"-000.0") + TickLength + LabelGap;
        time.left = Margin + valueLabelRoom;
        const int right = width - Margin - (legendWidth > 0 ? legendWidth + 2 * Margin : 0);
        time.width = std::max(1, right - time.left);
        const int64_t reach = (time.endMs - time.startMs) * PointerReach / time.width;
        const bool pointing =
            state.pointerX >= time.left && state.pointerX < right && state.pointerY != NoPointer;
        for (size_t i = 0; i < all.size(); ++i) {
            for (const HistoryRun& run : all[i].runs) {
                ThinRun(run, baseMs, time, drawn[i].lines);
                HistoryPoint near;
                if (pointing && ReadingNear(run, baseMs, time.Ms(state.pointerX), reach, near)) {
                    drawn[i].hasPointed = true;
                    drawn[i].pointed = near.celsius;
                }
            }
        }
    });

    Frame plot{time.left, Margin + textHeight + LabelGap, time.left + time.width,
               height - Margin - textHeight - TickLength - LabelGap};

    // The temperature axis holds what is shown, and the limits band while it is on.
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    for (const SeriesLines& s : drawn)
        for (const ChartLine& line : s.lines)
            for (const ChartPoint& p : line) {
                if (p.x < plot.left || p.x >= plot.right) continue;
                low = std::min<double>(low, p.celsius);
                high = std::max<double>(high, p.celsius);
            }
    const bool anyShown = low <= high;
    const LimitBand band = LimitsBand(state.thermoMin, state.thermoMax);
    if (state.limitsOn) {
        low = std::min(low, band.low);
        high = std::max(high, band.high);
    }
    if (low > high) low = EmptyLow, high = EmptyHigh;
    const ValueAxis axis = NiceValueAxis(low, high, plot.Height(), textHeight + ValueLabelGap);
    const ValueScale value{axis.low, axis.high, plot.top, plot.Height()};

    CanvasFill(0, 0, width, height, Background);
    CanvasClip(plot.left, plot.top, plot.Width(), plot.Height());
    if (state.limitsOn) {
        const int top = value.Y(band.high), bottom = value.Y(band.low);
        CanvasFill(plot.left, top, plot.Width(), bottom - top, ChartBandColour);
        Line(plot.left, top, plot.right, top, BandEdgeColour);
        Line(plot.left, bottom, plot.right, bottom, BandEdgeColour);
    }
    CanvasClipOff();

    // The grid and its labels.
    for (double v = axis.low; v <= axis.high + axis.step / 2; v += axis.step) {
        const int y = value.Y(v);
        Line(plot.left, y, plot.right, y, GridColour);
        Line(plot.left - TickLength, y, plot.left, y, FrameColour);
        const std::u16string label = DegreesText(v, axis.decimals);
        CanvasText(plot.left - TickLength - LabelGap - CanvasTextWidth(label), y - textHeight / 2,
                   label, LabelColour);
    }
    CanvasText(Margin, Margin, texts::ChartDegrees, LabelColour);
    const int timeLabelWidth = CanvasTextWidth(u"00:00:00");
    for (const TimeTick& tick : TimeTicks(time, timeLabelWidth + TimeLabelGap, zone)) {
        const int x = time.X(tick.instantMs);
        Line(x, plot.top, x, plot.bottom, GridColour);
        Line(x, plot.bottom, x, plot.bottom + TickLength, FrameColour);
        const int labelWidth = CanvasTextWidth(tick.label);
        const int labelX = std::clamp(x - labelWidth / 2, 0, std::max(0, width - labelWidth));
        CanvasText(labelX, plot.bottom + TickLength + LabelGap, tick.label, LabelColour);
    }

    // One line per thermometer, inside the plot.
    CanvasClip(plot.left, plot.top, plot.Width() + 1, plot.Height() + 1);
    std::vector<CanvasPoint> corners;
    for (const SeriesLines& s : drawn)
        for (const ChartLine& line : s.lines) {
            corners.clear();
            for (const ChartPoint& p : line) corners.push_back({p.x, value.Y(p.celsius)});
            const int pen = int(corners.size()) < plot.Width() ? SparsePen : DensePen;
            CanvasLines(corners.data(), static_cast<int>(corners.size()), s.colour, pen);
            ++stats.lines;
            stats.points += corners.size();
        }
    CanvasClipOff();
    Rectangle(plot.left, plot.top, plot.right, plot.bottom, FrameColour);
    if (!anyShown) {
        const int w = CanvasTextWidth(texts::ChartNoReadings);
        CanvasText(plot.left + (plot.Width() - w) / 2, plot.top + (plot.Height() - textHeight) / 2,
                   texts::ChartNoReadings, LabelColour);
    }

    // The legend: a swatch, the ROM code as the table writes it, the latest reading.
    const int rowHeight = textHeight + LegendRowGap;
    int legendY = plot.top;
    const int legendX = plot.right + 2 * Margin;
    for (const SeriesLines& s : drawn) {
        CanvasFill(legendX, legendY + textHeight / 2 - 1, SwatchWidth, 3, s.colour);
        const int textX = legendX + SwatchWidth + LegendGap;
        CanvasText(textX, legendY, s.rom, LabelColour);
        if (s.hasLatest)
            CanvasText(textX + CanvasTextWidth(s.rom) + LegendGap, legendY,
                       TemperatureText(s.latest), s.colour);
        legendY += rowHeight;
    }
    if (state.limitsOn) {
        legendY += LegendRowGap;
        CanvasFill(legendX, legendY, SwatchWidth, textHeight, ChartBandColour);
        CanvasText(legendX + SwatchWidth + LegendGap, legendY, limitsText, LabelColour);
    }

    // Under the pointer: its time and the reading of each thermometer there.
    if (state.pointerX >= plot.left && state.pointerX < plot.right && state.pointerY != NoPointer) {
        Line(state.pointerX, plot.top, state.pointerX, plot.bottom, PointerColour);
        const int64_t at = time.Ms(state.pointerX);
        const int64_t localSeconds = zone.LocalSeconds(at / MsPerSecond);
        std::vector<std::pair<std::u16string, int32_t>> rows;
        rows.emplace_back(DateToText(PointerTimeMask, static_cast<DateValue>(localSeconds)),
                          LabelColour);
        for (const SeriesLines& s : drawn)
            if (s.hasPointed) rows.emplace_back(TemperatureText(s.pointed), s.colour);
        int boxWidth = 0;
        for (const auto& row : rows) boxWidth = std::max(boxWidth, CanvasTextWidth(row.first));
        boxWidth += 2 * PointerBoxPadding;
        const int boxHeight = int(rows.size()) * textHeight + 2 * PointerBoxPadding;
        int boxX = state.pointerX + Margin;
        if (boxX + boxWidth > plot.right) boxX = state.pointerX - Margin - boxWidth;
        const int boxY = std::clamp(state.pointerY - boxHeight / 2, plot.top,
                                    std::max(plot.top, plot.bottom - boxHeight));
        CanvasFill(boxX, boxY, boxWidth, boxHeight, PointerBoxColour);
        Rectangle(boxX, boxY, boxX + boxWidth, boxY + boxHeight, FrameColour);
        int rowY = boxY + PointerBoxPadding;
        for (const auto& [text, colour] : rows) {
            CanvasText(boxX + PointerBoxPadding, rowY, text, colour);
            rowY += textHeight;
        }
    }
    return stats;
}

}  // namespace kv
