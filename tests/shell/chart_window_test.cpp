// The chart's window in the running program: opened from the menu beside the main window,
// hidden by its close button, filled from the log in the background and by this run's
// readings while it is shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "chart/chart_feed.h"
#include "monitor/log_line.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "runtime/date_text.h"
#include "runtime/local_zone.h"
#include "runtime/utf.h"
#include "shell/chart_window.h"
#include "shell/texts.h"
#include "sim/sim_device.h"
#include "tests/shell/program_fixture.h"
#include "ui/toolkit.h"

namespace kv::testing {
namespace {

using Op = ui::HeadlessDrawing::Op;

const RomCode RomA = SimMakeRom(0x28, 0x045A1B2C);

std::string LogRecord(int64_t instant, const RomCode& rom, float celsius) {
    const LocalZone zone;
    const auto local = static_cast<DateValue>(zone.LocalSeconds(instant));
    return Utf8FromUtf16(LogStampText(local) + LogReadingText(FormatRomCode(rom), celsius)) +
           "\r\n";
}

class ChartWindowTest : public ProgramTest {
  protected:
    bool Drew(const std::u16string& text) {
        for (const auto& d : ui->paintCanvas(ChartWindow, ChartCanvas))
            if (d.op == Op::Text && d.text == text) return true;
        return false;
    }
};

TEST_F(ChartWindowTest, TheMenuOpensItBesideTheMainWindowAndItsCloseButtonHidesIt) {
    Start();
    const ui::HeadlessWindow main = ui->window(MainWindow);
    EXPECT_FALSE(ui->window(ChartWindow).exists) << "built when first asked for";
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    const ui::HeadlessWindow chart = ui->window(ChartWindow);
    EXPECT_TRUE(chart.visible);
    EXPECT_EQ(texts::ChartTitle, chart.title);
    EXPECT_TRUE(chart.flags & ui::WindowResizable);
    EXPECT_FALSE(ui->window(MainWindow).flags & ui::WindowResizable);
    EXPECT_EQ(4, ui::CountItems(ChartWindow, ChartRangeList));

    ASSERT_TRUE(ui->pressCloseButton(ChartWindow));
    ASSERT_TRUE(Pump()) << "closing the chart does not end the program";
    EXPECT_FALSE(ui->window(ChartWindow).visible);
    EXPECT_TRUE(ui->window(MainWindow).visible);
    EXPECT_EQ(main.clientWidth, ui->window(MainWindow).clientWidth);
    EXPECT_EQ(main.clientHeight, ui->window(MainWindow).clientHeight);
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(ui->window(ChartWindow).visible);

    // Its own menu saves what it shows beside the program, named by the moment, and says so.
    ASSERT_TRUE(ui->chooseMenuItem(ChartMenu, ChartMenuSave));
    ASSERT_TRUE(Pump());
    ASSERT_EQ(1u, ui->savedImages().size());
    const std::u16string name = ui->savedImages()[0].path;
    EXPECT_EQ(u"DS18B20_Kalorivox_", name.substr(0, 18));
    EXPECT_EQ(u".png", name.substr(name.size() - 4));
    EXPECT_EQ(ui::ControlWidth(ChartWindow, ChartCanvas), ui->savedImages()[0].width);
    EXPECT_FALSE(ui->savedImages()[0].drawn.empty());
    EXPECT_EQ(std::u16string(texts::ChartSavedHead) + name, ui::GetText(ChartWindow, ChartNote));
}

TEST_F(ChartWindowTest, TheLogsLastDayIsReadInTheBackgroundAndNewReadingsRepaintTheOpenChart) {
    const int64_t now = ChartNowMs() / 1000;
    std::ofstream log(folder / "DS18B20_Kalorivox.log", std::ios::binary);
    log << "\xEF\xBB\xBF" << LogRecord(now - 3 * 86400, RomA, 5);  // too old to show
    for (int s = 1800; s > 0; s -= 60) log << LogRecord(now - s, RomA, 21.5f);
    log << "[07/12/2026 12:00:00]  28-0000045A1B2C-84  \xE2\x80\x94  21,5 \xC2\xB0"
           "C\r\n";
    log.close();
    Start();
    ASSERT_TRUE(PumpUntil([] { return ChartLoadProgress().finished; }));
    EXPECT_EQ(30, ChartLoadProgress().records);
    EXPECT_EQ(1, ChartLoadProgress().skipped);

    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(std::u16string(texts::ChartLogLoadedHead) + u"30" + texts::ChartLogSkippedHead + u"1",
              ui::GetText(ChartWindow, ChartNote));
    EXPECT_TRUE(Drew(FormatRomCode(RomA)));
    EXPECT_TRUE(Drew(TemperatureText(21.5f)));

    // A reading of this run: the shown chart is asked to paint, with the new latest value.
    ui->paintCanvas(ChartWindow, ChartCanvas);
    ChartTakeReading(RomA, 23.25f);
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(ui->control(ChartWindow, ChartCanvas).repaintPending);
    EXPECT_TRUE(Drew(TemperatureText(23.25f)));
    // Hidden, it is left alone.
    ASSERT_TRUE(ui->pressCloseButton(ChartWindow));
    ASSERT_TRUE(Pump());
    ui->paintCanvas(ChartWindow, ChartCanvas);
    ChartTakeReading(RomA, 23.5f);
    ASSERT_TRUE(Pump());
    EXPECT_FALSE(ui->control(ChartWindow, ChartCanvas).repaintPending);

    // The range list and the pointer repaint too.
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    ui->paintCanvas(ChartWindow, ChartCanvas);
    ASSERT_TRUE(ui->chooseEntry(ChartWindow, ChartRangeList, 0));
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(ui->control(ChartWindow, ChartCanvas).repaintPending);
    ui->paintCanvas(ChartWindow, ChartCanvas);
    ASSERT_TRUE(ui->movePointer(ChartWindow, ChartCanvas, 300, 200));
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(ui->control(ChartWindow, ChartCanvas).repaintPending);
}

// The worker's sound readings reach the chart through its sink, with logging off as well.
TEST_F(ChartWindowTest, TheDemoBusesReadingsReachTheChartWithoutTheLog) {
    WriteSettings("Port = DEMO\nInterval = 1\nLog = 0\n");
    clock.run(20'000);
    Start();
    size_t series = 0;
    ASSERT_TRUE(PumpUntil([&] {
        ChartHistory().Read([&](const std::vector<HistorySeries>& all) {
            series = std::count_if(all.begin(), all.end(),
                                   [](const HistorySeries& s) { return s.PointCount() >= 3; });
        });
        return series == 4;
    })) << series;
    EXPECT_FALSE(std::filesystem::exists(folder / "DS18B20_Kalorivox.log"));
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    int roms = 0;
    for (const auto& d : ui->paintCanvas(ChartWindow, ChartCanvas))
        roms += d.op == Op::Text && d.text.size() == 18 && d.text[2] == u'-';
    EXPECT_EQ(4, roms);
}

}  // namespace
}  // namespace kv::testing
