// What the chart draws, read from the headless canvas's recording: a line per thermometer in
// its colour and broken at gaps, the legend as the table writes ROM codes, the limits band
// while the check is on, and the readings under the pointer.
#include "chart/chart_view.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    EXPECT_TRUE(Shows(Utf8FromUtf16(std::u16string(texts::ChartLimits)) + "20…22 °C"));
    // Limits far from the readings stretch the axis to hold both.
    state.thermoMin = -10;
    state.thermoMax = -5;
    const auto far = Drawn(ChartBandColour, Op::Fill);
    ASSERT_EQ(2u, far.size());
    EXPECT_GT(far[0].y, Drawn(SeriesColour(1), Op::Lines)[0].points[0].y);
}

TEST_F(ChartView, UnderThePointerItsLocalTimeAndEachThermometersReading) {
    // The plot's right edge is now; find the x of 5 minutes ago from B's line.
    const auto b = Drawn(SeriesColour(0), Op::Lines)[0].points;
    const int x = b.front().x + (b.back().x - b.front().x) * 25 / 30;
    state.pointerX = x;
    state.pointerY = 100;
    EXPECT_TRUE(Shows("10.01.2026 12:55:00") || Shows("10.01.2026 12:54:59") ||
                Shows("10.01.2026 12:55:01"));
    EXPECT_TRUE(Shows(Utf8FromUtf16(TemperatureText(24))));
    // In A's gap only B has a reading there.
    state.pointerX = b.front().x + (b.back().x - b.front().x) * 10 / 30;  // 20 minutes ago
    int values = 0;
    for (const auto& t : Texts()) values += t.find("°C") != std::string::npos && t.size() < 12;
    const int withoutPointer = [&] {
        state.pointerX = ui::NoPointer;
        int n = 0;
        for (const auto& t : Texts()) n += t.find("°C") != std::string::npos && t.size() < 12;
        return n;
    }();
    EXPECT_EQ(withoutPointer + 1, values);
}

}  // namespace
}  // namespace kv
