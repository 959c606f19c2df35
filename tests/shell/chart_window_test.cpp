// The chart's window in the running program: opened from the menu beside the main window and
// owned by it, hidden by its close button and shown again where the user left it, filled from
// the log in the background and by this run's readings while it is shown, told by the worker
// of sensors gone and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "chart/chart_feed.h"
#include "monitor/log_line.h"
#include "monitor/reading_sink.h"
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
    ui->setWorkArea({0, 0, 1500, 900});
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
    // To the right of the main window, level with it, as wide as the room there.
    const ui::ScreenRect mainFrame = ui::WindowFrame(MainWindow);
    EXPECT_EQ(mainFrame.Right(), chart.x);
    EXPECT_EQ(mainFrame.y, chart.y);
    ASSERT_LT(1500 - mainFrame.Right(), ChartClientWidth);
    EXPECT_EQ(1500 - mainFrame.Right(), chart.clientWidth);
    EXPECT_EQ(ChartClientHeight, chart.clientHeight + ui::MenuBarHeight());
    EXPECT_EQ(MainWindow, chart.owner);
    EXPECT_EQ(ChartLeastWidth, chart.minimumWidth);
    EXPECT_EQ(ChartLeastHeight, chart.minimumHeight);

    // The user moves it, makes it smaller than it may be, picks a day; closes and opens it.
    ASSERT_TRUE(ui->moveWindow(ChartWindow, 50, 60));
    ASSERT_TRUE(ui->resizeWindow(ChartWindow, 200, 100));
    ASSERT_TRUE(ui->chooseEntry(ChartWindow, ChartRangeList, 2));
    ASSERT_TRUE(ui->pressCloseButton(ChartWindow));
    ASSERT_TRUE(Pump()) << "closing the chart does not end the program";
    EXPECT_FALSE(ui->window(ChartWindow).visible);
    EXPECT_TRUE(ui->window(MainWindow).visible);
    EXPECT_EQ(main.clientWidth, ui->window(MainWindow).clientWidth);
    EXPECT_EQ(main.clientHeight, ui->window(MainWindow).clientHeight);
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(ui->window(ChartWindow).visible);
    EXPECT_EQ((ui::ScreenRect{50, 60, ChartLeastWidth, ChartLeastHeight}),
              ui::WindowFrame(ChartWindow));
    EXPECT_EQ(2, ui::GetState(ChartWindow, ChartRangeList));

    // Its own menu saves what it shows beside the program, named by the moment, with a title
    // line, and says so until the next change after a while.
    ASSERT_TRUE(ui->chooseMenuItem(ChartMenu, ChartMenuSave));
    ASSERT_TRUE(Pump());
    ASSERT_EQ(1u, ui->savedImages().size());
    const std::u16string name = ui->savedImages()[0].path;
    EXPECT_EQ(u"DS18B20_Kalorivox_", name.substr(0, 18));
    EXPECT_EQ(u".png", name.substr(name.size() - 4));
    EXPECT_EQ(ui::ControlWidth(ChartWindow, ChartCanvas), ui->savedImages()[0].width);
    const std::u16string title = std::u16string(texts::ChartTitle) + u". " +
                                 texts::ChartRangeLabel + u" " + texts::ChartRangeDay + u", ";
    bool titled = false;
    const auto images = ui->savedImages();
    for (const auto& d : images[0].drawn)
        titled = titled || (d.op == Op::Text && d.text.rfind(title, 0) == 0);
    EXPECT_TRUE(titled);
    EXPECT_FALSE(Drew(title.substr(0, title.size() - 2))) << "no title on the screen";
    const std::u16string saved = std::u16string(texts::ChartSavedHead) + name;
    auto note = [] { return ui::GetText(ChartWindow, ChartNote); };
    EXPECT_NE(std::u16string::npos, note().find(saved));
    ASSERT_TRUE(ui->chooseEntry(ChartWindow, ChartRangeList, 1));
    ASSERT_TRUE(Pump());
    EXPECT_NE(std::u16string::npos, note().find(saved)) << "kept while it can be read";
    const int64_t savedAt = clock.nowMs();
    clock.run(ChartSavedNoteMs);
    ASSERT_TRUE(PumpUntil([&] { return clock.nowMs() >= savedAt + ChartSavedNoteMs; }));
    ASSERT_TRUE(ui->chooseEntry(ChartWindow, ChartRangeList, 0));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(std::u16string::npos, note().find(saved));
}

// The worker's word that a sensor is gone reaches the legend: a grey dash, not its last value.
TEST_F(ChartWindowTest, ASensorTheWorkerLostShowsADashUntilItIsReadAgain) {
    WriteSettings("Interval = 60\n");  // its one reading stays its present one meanwhile
    Start();
    ChartTakeReading(RomA, 21.5f);
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(Drew(TemperatureText(21.5f)));
    ui->paintCanvas(ChartWindow, ChartCanvas);
    ReadingSinkSensorState(RomA, false);
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(ui->control(ChartWindow, ChartCanvas).repaintPending);
    EXPECT_FALSE(Drew(TemperatureText(21.5f)));
    EXPECT_TRUE(Drew(std::u16string(texts::ChartNoValue)));
    ReadingSinkSensorState(RomA, true);
    ChartTakeReading(RomA, 21.75f);
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(Drew(TemperatureText(21.75f)));
    EXPECT_FALSE(Drew(std::u16string(texts::ChartNoValue)));
}

TEST_F(ChartWindowTest, TheLogsLastDayIsReadInTheBackgroundAndNewReadingsRepaintTheOpenChart) {
    const int64_t now = ChartNowMs() / 1000;
    std::ofstream log(folder / "DS18B20_Kalorivox.log", std::ios::binary);
    log << "\xEF\xBB\xBF" << LogRecord(now - 3 * 86400, RomA, 5);  // shown in «Всё» only
    for (int s = 1800; s > 0; s -= 60) log << LogRecord(now - s, RomA, 21.5f);
    log << "[07/12/2026 12:00:00]  28-0000045A1B2C-84  \xE2\x80\x94  21,5 \xC2\xB0"
           "C\r\n";
    log.close();
    Start();
    ASSERT_TRUE(PumpUntil([] { return ChartLoadProgress().finished; }));
    EXPECT_EQ(31, ChartLoadProgress().records);
    EXPECT_EQ(1, ChartLoadProgress().skipped);

    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuChart));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(std::u16string(texts::ChartLogLoadedHead) + u"31" + texts::ChartLogSkippedHead + u"1",
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
