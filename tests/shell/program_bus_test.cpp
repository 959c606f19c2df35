// The program with the worker on the demonstration bus: what the user's actions do to the
// rows the worker fills, and what the program leaves behind when it ends.
#include <gtest/gtest.h>

#include "monitor/control_block.h"
#include "monitor/window_ids.h"
#include "tests/shell/program_fixture.h"
#include "ui/toolkit.h"

namespace kv::testing {
namespace {

constexpr int DemoDevices = 4;
constexpr int32_t Marked = ui::Rgb(1, 2, 3);
// Opening, a search and one conversion with its readings take about a simulated second.
constexpr int FirstPassMs = 5000;

class ProgramOnDemoBus : public ProgramTest {
  protected:
    // Limits that every demonstration reading breaks: the status line then changes at the
    // end of the first pass, after the last cell change. The interval is long, and time
    // stands still halfway through its wait, so the worker leaves the cells alone from then.
    void StartMeasured(const std::string& extra = "") {
        WriteSettings(
            "Port = DEMO\nInterval = 60\nThermoControl = 1\nThermoMin = -50\n"
            "ThermoMax = -40\n" +
            extra);
        clock.run(FirstPassMs + 60'000 / 2);
        Start();
        ASSERT_TRUE(PumpUntil(
            [&] {
                return ui->statusText(StatusLine).find(u"В 4 датчиках") != std::u16string::npos;
            },
            FirstPassMs))
            << "the demonstration bus should be measured";
        ASSERT_EQ(ui::CountItems(MainWindow, SensorTable), DemoDevices);
    }
};

TEST_F(ProgramOnDemoBus, SeparatePollingOffClearsColumnZeroOfEveryRowOnly) {
    StartMeasured();
    for (int row = 0; row < DemoDevices; ++row) {
        for (int column : {ColumnType, ColumnTemperature}) {
            ui::SetItemColour(MainWindow, SensorTable, row, ui::ColourBackground, Marked, column);
        }
    }
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuSeparatePolling));
    ASSERT_TRUE(Pump());
    for (int row = 0; row < DemoDevices; ++row) {
        EXPECT_EQ(ui->cellColour(MainWindow, SensorTable, row, ColumnType), Marked)
            << "switching on changes no colour, row " << row;
    }
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuSeparatePolling));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ControlBlock.ConvertOnly, 0);
    for (int row = 0; row < DemoDevices; ++row) {
        EXPECT_EQ(ui->cellColour(MainWindow, SensorTable, row, ColumnType), ui::DefaultColour)
            << row;
        EXPECT_EQ(ui->cellColour(MainWindow, SensorTable, row, ColumnTemperature), Marked) << row;
    }
}

TEST_F(ProgramOnDemoBus, EndingWhileTheWorkerRunsClosesACompleteLog) {
    StartMeasured("Log = 1");
    Stop();
    const std::string log = ReadFile("DS18B20_Kalorivox.log");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF");
    size_t lines = 0;
    for (size_t at = 3; at < log.size();) {
        const size_t end = log.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        const std::string line = log.substr(at, end - at);
        EXPECT_EQ(line.front(), '[');
        EXPECT_NE(line.find(" \xC2\xB0"
                            "C"),
                  std::string::npos)
            << line;
        ++lines;
        at = end + 2;
    }
    EXPECT_GE(lines, static_cast<size_t>(DemoDevices));
    EXPECT_EQ(SettingsBytes(), SettingsFile("DEMO", 60, 1, 0, -50, -40, 1, 0, 0));
}

}  // namespace
}  // namespace kv::testing
