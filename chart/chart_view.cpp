#include "chart/chart_view.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "monitor/limit_check.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "monitor/window_names.h"
#include "runtime/date_text.h"
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
constexpr int BoxSwatchWidth = 10;
constexpr int LegendGap = 6;
constexpr int LegendRowGap = 4;
constexpr int LegendColumnGap = 16;  // between the columns of a legend below the plot
// The legend goes below the plot when the plot beside it would be narrower than this.
constexpr int NarrowestPlotBeside = 360;
constexpr int PointerBoxPadding = 4;
// The pointer picks readings this many pixels to either side of it.
constexpr int PointerReach = 3;
// With nothing to show, the temperature axis spans these degrees.
constexpr double EmptyLow = 0, EmptyHigh = 30;
// Room above the highest and below the lowest value shown: a share of the span, at least
// this many degrees, so that no extreme lies on the frame.
constexpr double HeadroomShare = 0.05;
constexpr double LeastHeadroom = 0.1;
constexpr double DegreesPerTenth = 0.1;

constexpr int32_t Background = Rgb(255, 255, 255);
constexpr int32_t GridColour = Rgb(228, 228, 228);
constexpr int32_t FrameColour = Rgb(150, 150, 150);
constexpr int32_t LabelColour = Rgb(60, 60, 60);
constexpr int32_t BandEdgeColour = Rgb(130, 190, 130);
constexpr int32_t PointerColour = Rgb(120, 120, 120);
constexpr int32_t PointerBoxColour = Rgb(255, 255, 255);

constexpr std::u16string_view PointerTimeMask = u"%dd.%mm.%yyyy %hh:%ii:%ss";
constexpr std::u16string_view TitleTimeMask = u"%dd.%mm.%yyyy %hh:%ii";
constexpr std::u16string_view TitleClockMask = u"%hh:%ii";
constexpr std::u16string_view TitleDaySpanMask = u"%dd.%mm.%yyyy";
constexpr std::u16string_view TitleRangeLead = u", ";
constexpr std::u16string_view TitleRangeDash = u" – ";
constexpr std::u16string_view TitleLimitsLead = u". ";
// The widest value a legend shows, so that it keeps its width as the readings change.
constexpr std::u16string_view WidestValue = u"-55.0 °C";
constexpr int64_t MsPerSecond = 1000;

struct SeriesLines {
    std::u16string label;
    int32_t colour = 0;
    std::vector<ChartLine> lines;
    bool current = false;  // its latest reading is recent and the worker has not lost it
    float latest = 0;
    bool hasPointed = false;
    float pointed = 0;
};

struct Frame {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return std::max(1, right - left); }
    int Height() const { return std::max(1, bottom - top); }
};

// Where the legend goes and how it is cut into columns and rows.
struct LegendLayout {
    bool below = false;
    int entries = 0;
    int labelWidth = 0, entryWidth = 0;
    int columns = 1, rows = 0;
    int Height(int rowHeight) const { return rows * rowHeight; }
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

int64_t FirstMs(const HistorySeries& s, int64_t baseMs) {
    int64_t first = std::numeric_limits<int64_t>::max();
    if (!s.older.empty()) first = s.older.front().Ms(baseMs);
    for (const HistoryRun& run : s.runs) first = std::min(first, run.front().Ms(baseMs));
    return first;
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
    for (const HistorySeries& s : series) {
        first = std::min(first, FirstMs(s, baseMs));
        for (const HistoryRun& run : s.runs) last = std::max(last, run.back().Ms(baseMs));
    }
    time.endMs = last;
    time.startMs = first < last ? first : last - ChartRangeMs(ChartRange::Hour);
    return time;
}

// The latest reading of the series, and whether it still counts as the sensor's present one.
void TakeLatest(const HistorySeries& s, int64_t baseMs, const ChartState& state, SeriesLines& out) {
    for (auto run = s.runs.rbegin(); run != s.runs.rend(); ++run)
        for (auto p = run->rbegin(); p != run->rend(); ++p) {
            if (p->isGap()) continue;
            const int64_t usual = std::max(s.spacingMs, state.expectedSpacingMs);
            out.latest = p->celsius;
            out.current = !s.lost && state.nowMs - p->Ms(baseMs) <= GapLimitMs(usual);
            return;
        }
}

std::u16string DegreesText(double value, int decimals) {
    return FloatToText(static_cast<float>(value), decimals);
}

std::u16string ValueText(bool has, float celsius) {
    return has ? TemperatureText(celsius) : std::u16string(texts::ChartNoValue);
}

std::u16string LocalText(std::u16string_view mask, int64_t ms, const LocalZone& zone) {
    return DateToText(mask, static_cast<DateValue>(zone.LocalSeconds(FloorDiv(ms, MsPerSecond))));
}

// The title line of a saved picture: its own words, the time shown, the limits.
std::u16string TitleText(const ChartState& state, const TimeScale& time,
                         const std::u16string& limits, const LocalZone& zone) {
    std::u16string text = state.title + std::u16string(TitleRangeLead) +
                          LocalText(TitleTimeMask, time.startMs, zone) +
                          std::u16string(TitleRangeDash);
    const bool sameDay = LocalText(TitleDaySpanMask, time.startMs, zone) ==
                         LocalText(TitleDaySpanMask, time.endMs, zone);
    text += LocalText(sameDay ? TitleClockMask : TitleTimeMask, time.endMs, zone);
    if (state.limitsOn) text += std::u16string(TitleLimitsLead) + limits;
    return text;
}

// The legend beside the plot while the plot keeps its room, else below it in as many columns
// as fit the width.
LegendLayout PlanLegend(const std::vector<SeriesLines>& series, const std::u16string& limits,
                        bool limitsOn, int width, int valueLabelRoom) {
    LegendLayout legend;
    legend.entries = int(series.size()) + (limitsOn ? 1 : 0);
    if (legend.entries == 0) return legend;
    for (const SeriesLines& s : series)
        legend.labelWidth = std::max(legend.labelWidth, CanvasTextWidth(s.label));
    legend.entryWidth =
        SwatchWidth + LegendGap + legend.labelWidth + LegendGap + CanvasTextWidth(WidestValue);
    if (limitsOn)
        legend.entryWidth =
            std::max(legend.entryWidth, SwatchWidth + LegendGap + CanvasTextWidth(limits));
    const int plotBeside =
        width - Margin - valueLabelRoom - 2 * Margin - legend.entryWidth - Margin;
    legend.below = plotBeside < NarrowestPlotBeside;
    legend.columns = 1;
    if (legend.below)
        legend.columns = std::clamp(
            (width - 2 * Margin + LegendColumnGap) / (legend.entryWidth + LegendColumnGap), 1,
            legend.entries);
    legend.rows = (legend.entries + legend.columns - 1) / legend.columns;
    return legend;
}

void DrawLegend(const LegendLayout& legend, const std::vector<SeriesLines>& series,
                const std::u16string& limits, bool limitsOn, int left, int top) {
    const int textHeight = CanvasTextHeight();
    const int rowHeight = textHeight + LegendRowGap;
    auto place = [&](int entry, int& x, int& y) {
        x = left + (entry % legend.columns) * (legend.entryWidth + LegendColumnGap);
        y = top + (entry / legend.columns) * rowHeight;
    };
    int x = 0, y = 0;
    for (size_t i = 0; i < series.size(); ++i) {
        const SeriesLines& s = series[i];
        place(int(i), x, y);
        CanvasFill(x, y + textHeight / 2 - 1, SwatchWidth, 3, s.colour);
        const int textX = x + SwatchWidth + LegendGap;
        const int32_t textColour = s.current ? LabelColour : ChartSilentColour;
        CanvasText(textX, y, s.label, textColour);
        CanvasText(textX + legend.labelWidth + LegendGap, y, ValueText(s.current, s.latest),
                   textColour);
    }
    if (!limitsOn) return;
    place(int(series.size()), x, y);
    if (!legend.below) y += LegendRowGap;
    CanvasFill(x, y, SwatchWidth, textHeight, ChartBandColour);
    CanvasText(x + SwatchWidth + LegendGap, y, limits, LabelColour);
}

// Under the pointer: its time, and each sensor's reading there in the legend's order, by its
// name; a dash for one without a reading there.
void DrawPointerBox(const std::vector<SeriesLines>& series, const Frame& plot, int pointerX,
                    int pointerY, const std::u16string& time) {
    const int textHeight = CanvasTextHeight();
    int labelWidth = 0, valueWidth = 0;
    for (const SeriesLines& s : series) {
        labelWidth = std::max(labelWidth, CanvasTextWidth(s.label));
        valueWidth = std::max(valueWidth, CanvasTextWidth(ValueText(s.hasPointed, s.pointed)));
    }
    const int rowWidth =
        series.empty() ? 0 : BoxSwatchWidth + LegendGap + labelWidth + LegendGap + valueWidth;
    const int boxWidth = std::max(rowWidth, CanvasTextWidth(time)) + 2 * PointerBoxPadding;
    const int boxHeight = int(series.size() + 1) * textHeight + 2 * PointerBoxPadding;
    int boxX = pointerX + Margin;
    if (boxX + boxWidth > plot.right) boxX = pointerX - Margin - boxWidth;
    const int boxY =
        std::clamp(pointerY - boxHeight / 2, plot.top, std::max(plot.top, plot.bottom - boxHeight));
    CanvasFill(boxX, boxY, boxWidth, boxHeight, PointerBoxColour);
    Rectangle(boxX, boxY, boxX + boxWidth, boxY + boxHeight, FrameColour);
    const int x = boxX + PointerBoxPadding;
    int y = boxY + PointerBoxPadding;
    CanvasText(x, y, time, LabelColour);
    for (const SeriesLines& s : series) {
        y += textHeight;
        CanvasFill(x, y + (textHeight - BoxSwatchWidth) / 2, BoxSwatchWidth, BoxSwatchWidth,
                   s.colour);
        CanvasText(x + BoxSwatchWidth + LegendGap, y, s.label, LabelColour);
        const std::u16string value = ValueText(s.hasPointed, s.pointed);
        CanvasText(x + rowWidth - CanvasTextWidth(value), y, value,
                   s.hasPointed ? LabelColour : ChartSilentColour);
    }
}

}  // namespace

std::u16string ChartSensorLabel(const RomCode& rom) {
    return NamedRomText(rom);
}

std::u16string ChartLimitsText(int thermoMin, int thermoMax) {
    const LimitTenths edges = PassingTenths(thermoMin, thermoMax);
    return std::u16string(texts::ChartLimits) + DegreesText(edges.lowest * DegreesPerTenth, 1) +
           u"…" + DegreesText(edges.highest * DegreesPerTenth, 1) +
           std::u16string(texts::DegreesSuffix);
}

ChartPaintStats DrawChart(const ReadingHistory& history, const ChartState& state, int width,
                          int height, const LocalZone& zone) {
    ChartPaintStats stats;
    const int textHeight = CanvasTextHeight();
    const int rowHeight = textHeight + LegendRowGap;
    const int64_t baseMs = history.BaseMs();
    const std::u16string limitsText = ChartLimitsText(state.thermoMin, state.thermoMax);
    // Room for the value labels is settled below; the widest a label gets is taken here.
    const int valueLabelRoom = CanvasTextWidth(u"-000.0") + TickLength + LabelGap;
    std::vector<SeriesLines> drawn;
    TimeScale time;
    LegendLayout legend;
    Frame plot;
    int top = Margin;
    if (!state.title.empty()) top += textHeight + LabelGap;
    const int unitTop = top;

    // The plot's size depends on the legend, the legend on the series; the lines are thinned
    // to the columns once the plot's width is known. Everything that needs the readings is
    // taken under the history's lock; the drawing comes after.
    history.Read([&](const std::vector<HistorySeries>& all) {
        time = TimeRange(all, baseMs, state);
        for (size_t i = 0; i < all.size(); ++i) {
            SeriesLines s;
            s.label = ChartSensorLabel(all[i].rom);
            s.colour = SeriesColour(i);
            TakeLatest(all[i], baseMs, state, s);
            drawn.push_back(std::move(s));
        }
        legend = PlanLegend(drawn, limitsText, state.limitsOn, width, valueLabelRoom);
        time.left = Margin + valueLabelRoom;
        const int right = legend.below || legend.entries == 0
                              ? width - Margin
                              : width - Margin - legend.entryWidth - 2 * Margin;
        time.width = std::max(1, right - time.left);
        plot = Frame{time.left, unitTop + textHeight + LabelGap, right,
                     height - Margin - textHeight - TickLength - LabelGap -
                         (legend.below ? legend.Height(rowHeight) + Margin : 0)};
        const int64_t reach = (time.endMs - time.startMs) * PointerReach / time.width;
        const bool pointing =
            state.pointerX >= time.left && state.pointerX < right && state.pointerY != NoPointer;
        const int64_t pointedMs = pointing ? time.Ms(state.pointerX) : 0;
        for (size_t i = 0; i < all.size(); ++i) {
            auto take = [&](const HistoryRun& run) {
                ThinRun(run, baseMs, time, drawn[i].lines);
                HistoryPoint near;
                if (pointing && ReadingNear(run, baseMs, pointedMs, reach, near)) {
                    drawn[i].hasPointed = true;
                    drawn[i].pointed = near.celsius;
                }
            };
            if (!all[i].older.empty()) take(all[i].older);
            for (const HistoryRun& run : all[i].runs) take(run);
        }
    });

    // The temperature axis holds what is shown, and the limits band while it is on, with room
    // above and below.
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
    if (low > high) {
        low = EmptyLow, high = EmptyHigh;
    } else {
        const double headroom = std::max((high - low) * HeadroomShare, LeastHeadroom);
        low -= headroom;
        high += headroom;
    }
    const ValueAxis axis = NiceValueAxis(low, high, plot.Height(), textHeight + ValueLabelGap);
    const ValueScale value{axis.low, axis.high, plot.top, plot.Height()};

    CanvasFill(0, 0, width, height, Background);
    if (!state.title.empty())
        CanvasText(Margin, Margin, TitleText(state, time, limitsText, zone), LabelColour);
    CanvasClip(plot.left, plot.top, plot.Width(), plot.Height());
    if (state.limitsOn) {
        const int bandTop = value.Y(band.high), bandBottom = value.Y(band.low);
        CanvasFill(plot.left, bandTop, plot.Width(), bandBottom - bandTop, ChartBandColour);
        Line(plot.left, bandTop, plot.right, bandTop, BandEdgeColour);
        Line(plot.left, bandBottom, plot.right, bandBottom, BandEdgeColour);
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
    CanvasText(Margin, unitTop, texts::ChartDegrees, LabelColour);
    const int timeLabelWidth = CanvasTextWidth(u"00:00:00");
    for (const TimeTick& tick : TimeTicks(time, timeLabelWidth + TimeLabelGap, zone)) {
        const int x = time.X(tick.instantMs);
        Line(x, plot.top, x, plot.bottom, GridColour);
        Line(x, plot.bottom, x, plot.bottom + TickLength, FrameColour);
        const int labelWidth = CanvasTextWidth(tick.label);
        const int labelX = std::clamp(x - labelWidth / 2, 0, std::max(0, width - labelWidth));
        CanvasText(labelX, plot.bottom + TickLength + LabelGap, tick.label, LabelColour);
    }

    // One line per thermometer, inside the plot, one width however dense.
    CanvasClip(plot.left, plot.top, plot.Width() + 1, plot.Height() + 1);
    std::vector<CanvasPoint> corners;
    for (const SeriesLines& s : drawn)
        for (const ChartLine& line : s.lines) {
            corners.clear();
            for (const ChartPoint& p : line) corners.push_back({p.x, value.Y(p.celsius)});
            CanvasLines(corners.data(), static_cast<int>(corners.size()), s.colour, ChartPenWidth);
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

    if (legend.below)
        DrawLegend(legend, drawn, limitsText, state.limitsOn, Margin,
                   plot.bottom + TickLength + LabelGap + textHeight + Margin);
    else
        DrawLegend(legend, drawn, limitsText, state.limitsOn, plot.right + 2 * Margin, plot.top);

    if (state.pointerX >= plot.left && state.pointerX < plot.right && state.pointerY != NoPointer) {
        Line(state.pointerX, plot.top, state.pointerX, plot.bottom, PointerColour);
        DrawPointerBox(drawn, plot, state.pointerX, state.pointerY,
                       LocalText(PointerTimeMask, time.Ms(state.pointerX), zone));
    }
    return stats;
}

}  // namespace kv
