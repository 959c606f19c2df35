// What the chart draws, read from the headless canvas's recording: a line per thermometer in
// its colour, one width, broken at gaps, the legend as the table writes ROM codes with a dash
// for a sensor gone or silent, the limits band and what its label says it holds, room above
// and below the readings, and the readings under the pointer in the legend's order.
#include "chart/chart_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "runtime/utf.h"
#include "tests/runtime/summer_time_zone.h"
#include "ui/headless/headless_toolkit.h"

namespace kv {
namespace {

using Op = ui::HeadlessDrawing::Op;
using test::Utc;

constexpr int Window = 0, Canvas = 0;
constexpr int Width = 800, Height = 400;
const RomCode RomA = {0x28, 0x2C, 0x1B, 0x5A, 0x04, 0x00, 0x00, 0x84};
const RomCode RomB = {0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
const int64_t Now = Utc(2026, 1, 10, 12, 0) * 1000;  // local 13:00

ReadingHistory* history = nullptr;
ChartState state;

void Paint(int, int, int width, int height) {
    DrawChart(*history, state, width, height, test::SummerTimeZone());
}

class ChartView : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_ = &ui::InstallHeadlessToolkit();
        ui::OpenWindow(Window, 0, 0, Width, Height, u"", ui::WindowResizable);
        ui::CreateCanvas(Window, Canvas, 0, 0, Width, Height, ui::CanvasStretch);
        ui::BindPaintHandler(Window, Canvas, Paint);
        history = &history_;
        state = ChartState{};
        state.nowMs = Now;
        // Sensor A: 20 to 21.5 °C every ten seconds over the last hour, silent from 25 to 15
        // minutes ago. Sensor B: steady 24 °C for the last half hour.
        for (int64_t s = 3600; s >= 0; s -= 10) {
            if (s < 1500 && s > 900) continue;
            history_.Add(RomA, Now - s * 1000, 20 + float(s % 60) / 40, 10'000);
        }
        for (int64_t s = 1800; s >= 0; s -= 10) history_.Add(RomB, Now - s * 1000, 24, 10'000);
    }
    void TearDown() override { ui::ToolkitRelease(); }

    std::vector<ui::HeadlessDrawing> Drawn(int32_t colour, Op op) {
        std::vector<ui::HeadlessDrawing> found;
        for (auto& d : ui_->paintCanvas(Window, Canvas))
            if (d.op == op && d.colour == colour) found.push_back(d);
        return found;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (auto& d : ui_->paintCanvas(Window, Canvas))
            if (d.op == Op::Text) texts.push_back(Utf8FromUtf16(d.text));
        return texts;
    }
    bool Shows(const std::string& text) {
        const auto all = Texts();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

    ui::HeadlessToolkit* ui_ = nullptr;
    ReadingHistory history_{Now - 2 * HistoryDayMs};
};

TEST_F(ChartView, ALinePerThermometerBrokenAtItsGapAndALegendAsTheTableWritesIt) {
    // Sorted as the table is, family 10 first: B has the first colour.
    const auto linesB = Drawn(SeriesColour(0), Op::Lines);
    const auto linesA = Drawn(SeriesColour(1), Op::Lines);
    ASSERT_EQ(1u, linesB.size());
    ASSERT_EQ(2u, linesA.size()) << "no line across the ten silent minutes";
    // B is flat at 24 °C and begins half way across; A spans the whole plot, above B's y
    // nowhere (it is colder).
    const auto& b = linesB[0].points;
    EXPECT_TRUE(std::all_of(b.begin(), b.end(), [&](auto& p) { return p.y == b[0].y; }));
    const int left = linesA[0].points.front().x, right = linesA[1].points.back().x;
    EXPECT_NEAR(b.front().x, (left + right) / 2, 3);
    for (const auto& line : linesA)
        for (const auto& p : line.points) EXPECT_GT(p.y, b[0].y);
    // The gap: from 25 to 15 minutes ago, a sixth of the width.
    const int gapStart = linesA[0].points.back().x, gapEnd = linesA[1].points.front().x;
    EXPECT_NEAR(double(gapEnd - gapStart) / (right - left), 10.0 / 60, 0.01);

    EXPECT_TRUE(Shows(Utf8FromUtf16(FormatRomCode(RomA))));
    EXPECT_TRUE(Shows(Utf8FromUtf16(FormatRomCode(RomB))));
    EXPECT_TRUE(Shows(Utf8FromUtf16(TemperatureText(24))));  // B's latest
    EXPECT_TRUE(Shows("°C"));
    EXPECT_TRUE(Shows("13:00"));  // the right edge, local time
    EXPECT_TRUE(Shows("12:30"));
    EXPECT_FALSE(Shows(Utf8FromUtf16(texts::ChartNoReadings)));

    // Ten minutes back: only the newest readings, nothing of what went before.
    state.range = ChartRange::TenMinutes;
    EXPECT_EQ(1u, Drawn(SeriesColour(1), Op::Lines).size());
    EXPECT_TRUE(Shows("12:58"));
    EXPECT_FALSE(Shows("12:30"));
    // A day back from a day later: nothing to show, and it says so.
    state.nowMs = Now + 2 * HistoryDayMs;
    state.range = ChartRange::Day;
    EXPECT_TRUE(Drawn(SeriesColour(1), Op::Lines).empty());
    EXPECT_TRUE(Shows(Utf8FromUtf16(texts::ChartNoReadings)));
    // All: from the first reading kept to now.
    state.range = ChartRange::All;
    EXPECT_EQ(2u, Drawn(SeriesColour(1), Op::Lines).size());
}

TEST_F(ChartView, TheLimitsBandIsDrawnWhileTheCheckIsOnAndHoldsWhatPasses) {
    EXPECT_TRUE(Drawn(ChartBandColour, Op::Fill).empty());
    state.limitsOn = true;
    state.thermoMin = 20;
    state.thermoMax = 22;
    const auto band = Drawn(ChartBandColour, Op::Fill);
    ASSERT_EQ(2u, band.size());  // the band and its swatch in the legend
    const auto& fill = band[0];
    EXPECT_GT(fill.width, Width / 2) << "across the plot";
    // A's readings (20…21.5 °C) pass and lie inside it; B's 24 °C does not, and lies above.
    for (const auto& line : Drawn(SeriesColour(1), Op::Lines))
        for (const auto& p : line.points) {
            EXPECT_GE(p.y, fill.y);
            EXPECT_LE(p.y, fill.y + fill.height);
        }
    EXPECT_LT(Drawn(SeriesColour(0), Op::Lines)[0].points[0].y, fill.y);
    // The label says what the band holds, in the check's whole degrees.
    EXPECT_TRUE(Shows(Utf8FromUtf16(std::u16string(texts::ChartLimits)) + "20.0…22.9 °C"));
    // Limits far from the readings stretch the axis to hold both.
    state.thermoMin = -10;
    state.thermoMax = -5;
    const auto far = Drawn(ChartBandColour, Op::Fill);
    ASSERT_EQ(2u, far.size());
    EXPECT_GT(far[0].y, Drawn(SeriesColour(1), Op::Lines)[0].points[0].y);
    EXPECT_TRUE(Shows(Utf8FromUtf16(std::u16string(texts::ChartLimits)) + "-10.9…-5.0 °C"));
}

TEST_F(ChartView, UnderThePointerItsTimeAndEachSensorByNameInTheLegendsOrder) {
    // The plot's right edge is now; find the x of 5 minutes ago from B's line.
    const auto b = Drawn(SeriesColour(0), Op::Lines)[0].points;
    const int x = b.front().x + (b.back().x - b.front().x) * 25 / 30;
    state.pointerX = x;
    state.pointerY = 100;
    // Its local time to the second, within the pixel's span (about 8 s here).
    int seconds = -1;
    for (const auto& t : Texts())
        if (t.rfind("10.01.2026 12:5", 0) == 0)
            seconds = std::stoi(t.substr(14, 2)) * 60 + std::stoi(t.substr(17, 2));
    EXPECT_NEAR(55 * 60, seconds, 8);
    // In A's gap, 20 minutes ago: a row for each, B first as in the legend, A with a dash.
    state.pointerX = b.front().x + (b.back().x - b.front().x) * 10 / 30;
    const auto drawn = ui_->paintCanvas(Window, Canvas);
    auto lastAt = [&](const std::u16string& text) {
        const ui::HeadlessDrawing* found = nullptr;
        for (const auto& d : drawn)
            if (d.op == Op::Text && d.text == text) found = &d;  // the box comes after the legend
        return found;
    };
    const auto* labelB = lastAt(ChartSensorLabel(RomB));
    const auto* labelA = lastAt(ChartSensorLabel(RomA));
    const auto* valueB = lastAt(TemperatureText(24));
    const auto* dash = lastAt(std::u16string(texts::ChartNoValue));
    ASSERT_TRUE(labelB && labelA && valueB && dash);
    EXPECT_LT(labelB->y, labelA->y);
    EXPECT_EQ(labelB->y, valueB->y);
    EXPECT_EQ(labelA->y, dash->y);
    EXPECT_GT(dash->x, labelA->x + labelA->width);
    EXPECT_EQ(valueB->x + valueB->width, dash->x + dash->width) << "values end in one column";
}

TEST_F(ChartView, ASensorGoneOrSilentShowsAGreyDashNeverItsLastReading) {
    const std::u16string dash(texts::ChartNoValue);
    auto legendOf = [&](const RomCode& rom) {
        std::vector<ui::HeadlessDrawing> row;
        const auto drawn = ui_->paintCanvas(Window, Canvas);
        int x = 0, y = -1;
        for (const auto& d : drawn)
            if (d.op == Op::Text && d.text == ChartSensorLabel(rom)) x = d.x, y = d.y;
        for (const auto& d : drawn)
            if (d.op == Op::Text && d.y == y && d.x >= x) row.push_back(d);
        return row;  // the label, then the value
    };
    ASSERT_EQ(2u, legendOf(RomB).size());
    EXPECT_EQ(TemperatureText(24), legendOf(RomB)[1].text);

    history_.SetAnswering(RomB, false);  // the worker's search no longer finds it
    auto row = legendOf(RomB);
    ASSERT_EQ(2u, row.size());
    EXPECT_EQ(dash, row[1].text);
    EXPECT_EQ(ChartSilentColour, row[0].colour);
    EXPECT_EQ(ChartSilentColour, row[1].colour);
    EXPECT_FALSE(Shows(Utf8FromUtf16(TemperatureText(24))));
    EXPECT_EQ(TemperatureText(20), legendOf(RomA)[1].text) << "A still answers";
    history_.Add(RomB, Now, 24.5f, 10'000);  // back
    EXPECT_EQ(TemperatureText(24.5f), legendOf(RomB)[1].text);

    // Nothing for longer than a gap: silent too, though nobody said it was gone.
    state.nowMs = Now + 31'000;
    state.expectedSpacingMs = 10'000;
    EXPECT_EQ(dash, legendOf(RomA)[1].text);
    EXPECT_EQ(dash, legendOf(RomB)[1].text);
    state.nowMs = Now + 29'000;
    EXPECT_EQ(TemperatureText(20), legendOf(RomA)[1].text);
}

TEST_F(ChartView, EveryLineHasOneWidthAndTheAxisLeavesRoomAroundTheReadings) {
    // A sensor read every second: far more readings than the plot has columns.
    const RomCode dense = {0x28, 0x01, 0, 0, 0, 0, 0, 0x11};
    for (int64_t s = 3600; s >= 0; --s) history_.Add(dense, Now - s * 1000, 22 + (s % 7) / 4.0f, 0);
    size_t lines = 0;
    for (const auto& d : ui_->paintCanvas(Window, Canvas)) {
        if (d.op != Op::Lines || d.penWidth == 1) continue;  // grid, ticks and frame
        EXPECT_EQ(ChartPenWidth, d.penWidth);
        ++lines;
    }
    EXPECT_EQ(4u, lines);  // B, A in two, the dense one
    // The frame is the one five-cornered line; the readings lie inside it, off its edges.
    int top = 0, bottom = 0;
    for (const auto& d : ui_->paintCanvas(Window, Canvas))
        if (d.op == Op::Lines && d.penWidth == 1 && d.points.size() == 5)
            top = d.points[0].y, bottom = d.points[2].y;
    ASSERT_LT(top, bottom);
    for (const auto& d : ui_->paintCanvas(Window, Canvas))
        if (d.op == Op::Lines && d.penWidth == ChartPenWidth)
            for (const auto& p : d.points) {
                EXPECT_GT(p.y, top + 2);
                EXPECT_LT(p.y, bottom - 2);
            }
}

TEST_F(ChartView, NarrowTheLegendGoesBelowThePlotAndASavedPictureHasATitle) {
    auto labelY = [&] {
        for (const auto& d : ui_->paintCanvas(Window, Canvas))
            if (d.op == Op::Text && d.text == ChartSensorLabel(RomA)) return d.y;
        return -1;
    };
    EXPECT_LT(labelY(), Height / 2) << "beside the plot, at its top";
    ASSERT_TRUE(ui_->resizeWindow(Window, 360, Height));
    int frameBottom = 0, frameRight = 0;
    for (const auto& d : ui_->paintCanvas(Window, Canvas))
        if (d.op == Op::Lines && d.penWidth == 1 && d.points.size() == 5)
            frameRight = d.points[1].x, frameBottom = d.points[2].y;
    EXPECT_GT(labelY(), frameBottom);
    EXPECT_GT(frameRight, 360 - 20) << "the plot takes the width";

    state.title = u"График";
    state.limitsOn = true;
    state.thermoMin = 20;
    state.thermoMax = 22;
    EXPECT_TRUE(Shows("График, 10.01.2026 12:00 – 13:00. Пределы 20.0…22.9 °C"));
    state.range = ChartRange::Day;
    state.limitsOn = false;
    EXPECT_TRUE(Shows("График, 09.01.2026 13:00 – 10.01.2026 13:00"));
}

TEST_F(ChartView, AllShowsTheOlderLogAtAGlanceBeforeTheLastDay) {
    std::map<RomCode, std::vector<LoadedReading>> older;
    const int64_t longAgo = Now - 30 * HistoryDayMs;
    older[RomA] = {{longAgo, 10}, {longAgo + 60'000, 12}};
    const RomCode onlyInLog = {0x28, 0x77, 0, 0, 0, 0, 0x10, 0x22};  // listed after A
    older[onlyInLog] = {{longAgo, 5}, {longAgo + 60'000, 6}};
    history_.AddLoaded({}, older);
    EXPECT_TRUE(Shows(Utf8FromUtf16(ChartSensorLabel(onlyInLog)))) << "in the legend";
    EXPECT_TRUE(Drawn(SeriesColour(2), Op::Lines).empty()) << "not within the hour";
    state.range = ChartRange::All;
    const auto lines = Drawn(SeriesColour(2), Op::Lines);
    ASSERT_EQ(1u, lines.size());
    EXPECT_LT(lines[0].points.front().x, 100) << "at the left edge: the start of the log";
    EXPECT_EQ(3u, Drawn(SeriesColour(1), Op::Lines).size()) << "A: the log, then its two runs";
}

}  // namespace
}  // namespace kv
