// The settings file through the whole start-up: defaults, load checks, what reaches the
// controls, ControlBlock and the option word, and what the next save writes.
#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/control_block.h"
#include "monitor/port_chooser.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "serial/serial_device.h"
#include "sim/sim_bus.h"
#include "tests/shell/program_fixture.h"
#include "ui/toolkit.h"

namespace kv::testing {
namespace {

using SettingsTest = ProgramTest;

TEST_F(SettingsTest, StartWithoutFileCreatesItWithTheNineDefaultsThroughThePostedEvents) {
    StartWithoutEvents();
    EXPECT_FALSE(SettingsExist()) << "the load itself must not write";
    ASSERT_TRUE(Pump());
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 1, 0, 0, 0, 10, 0, 0, 0));

    EXPECT_EQ(ui->control(MainWindow, PortSelector).state, ui::NoSelection);
    EXPECT_EQ(ControlBlock.Interval, 1);
    EXPECT_EQ(ControlBlock.ThermoMin, 0);
    EXPECT_EQ(ControlBlock.ThermoMax, 10);
    EXPECT_EQ(ControlBlock.ReopenPort, 1) << "the posted port event asks for a reopening";
    EXPECT_EQ(OneWireGetOptions(), 0u);
}

TEST_F(SettingsTest, StoredValuesReachControlsControlBlockAndOptions) {
    WriteSettings(
        "Port = DEMO\nInterval = 7\nThermoControl = 1\nConvertOnly = 1\nThermoMin = -20\n"
        "ThermoMax = 35\nLog = 1\nCPU_MinUsage = 1\nInvert = 1");
    Start();

    const auto port = ui->control(MainWindow, PortSelector);
    ASSERT_GE(port.state, 0);
    EXPECT_EQ(port.entries[port.state], u"DEMO");
    EXPECT_EQ(ui->control(MainWindow, IntervalSpin).state, 7);
    EXPECT_EQ(ui->control(MainWindow, IntervalSpin).text, u"7");
    EXPECT_EQ(ui->control(MainWindow, LimitCheckBox).state, ui::Checked);
    EXPECT_EQ(ui->control(MainWindow, MinSpin).text, u"-20");
    EXPECT_EQ(ui->control(MainWindow, MaxSpin).text, u"35");
    for (int item : {MenuLog, MenuLowCpu, MenuInvert, MenuSeparatePolling}) {
        EXPECT_TRUE(ui->menuChecked(MainMenu, item)) << item;
    }
    EXPECT_EQ(ControlBlock.Interval, 7);
    EXPECT_EQ(ControlBlock.ThermoControl, 1);
    EXPECT_EQ(ControlBlock.ConvertOnly, 1);
    EXPECT_EQ(ControlBlock.ThermoMin, -20);
    EXPECT_EQ(ControlBlock.ThermoMax, 35);
    EXPECT_EQ(ControlBlock.Log, 1);
    EXPECT_EQ(OneWireGetOptions(), OptLowCpu | OptInvertPower);
    EXPECT_EQ(SettingsBytes(), SettingsFile("DEMO", 7, 1, 1, -20, 35, 1, 1, 1));
}

struct LimitCase {
    const char* stored;
    int thermoMin;
    int thermoMax;
};

class LimitLoadTest : public ProgramTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(LimitLoadTest, LoadsCheckedLimitsIntoSpinsControlBlockAndFile) {
    WriteSettings(GetParam().stored);
    Start();
    EXPECT_EQ(ControlBlock.ThermoMin, GetParam().thermoMin);
    EXPECT_EQ(ControlBlock.ThermoMax, GetParam().thermoMax);
    EXPECT_EQ(ui->control(MainWindow, MinSpin).state, GetParam().thermoMin);
    EXPECT_EQ(ui->control(MainWindow, MaxSpin).state, GetParam().thermoMax);
    EXPECT_EQ(SettingsBytes(),
              SettingsFile("", 1, 0, 0, GetParam().thermoMin, GetParam().thermoMax, 0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Bounds, LimitLoadTest,
                         ::testing::Values(LimitCase{"ThermoMin = -55\nThermoMax = 10", 0, 10},
                                           LimitCase{"ThermoMin = -54\nThermoMax = 10", -54, 10},
                                           LimitCase{"ThermoMin = 131\nThermoMax = 10", 0, 10},
                                           LimitCase{"ThermoMin = 0\nThermoMax = -55", 0, 10},
                                           LimitCase{"ThermoMin = 20\nThermoMax = 10", 9, 10},
                                           LimitCase{"ThermoMin = 10\nThermoMax = 10", 9, 10},
                                           LimitCase{"ThermoMin = 0\nThermoMax = abc", -1, 0},
                                           // Accepted, then held to the spin boxes' range.
                                           LimitCase{"ThermoMin = 0\nThermoMax = 130", 0, 125},
                                           LimitCase{"ThermoMin = 128\nThermoMax = 130", 124, 125},
                                           // Only the low 16 bits are kept: 65541 is 5.
                                           LimitCase{"ThermoMin = 65541\nThermoMax = 10", 5, 10}));

class IntervalLoadTest : public ProgramTest,
                         public ::testing::WithParamInterface<std::pair<const char*, int>> {};

// The load accepts 1..100; what the spin box (1..60) shows is what the worker uses.
TEST_P(IntervalLoadTest, LoadsCheckedIntervalIntoControlBlock) {
    WriteSettings(GetParam().first);
    Start();
    EXPECT_EQ(ControlBlock.Interval, GetParam().second);
    EXPECT_EQ(ui->control(MainWindow, IntervalSpin).state, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, IntervalLoadTest,
    ::testing::Values(std::pair{"Interval = 0", 1}, std::pair{"Interval = 101", 1},
                      std::pair{"Interval = -1", 1}, std::pair{"Interval = 65636", 60},
                      std::pair{"Interval = 100", 60}, std::pair{"Interval = 75", 60},
                      std::pair{"Interval = 60", 60}));

TEST_F(SettingsTest, FlagsUseTheLowestBitButInvertAnyNonzeroValue) {
    WriteSettings("Invert = 2\nCPU_MinUsage = 2\nLog = 3\nThermoControl = 2\nConvertOnly = 3");
    Start();
    EXPECT_TRUE(ui->menuChecked(MainMenu, MenuInvert));
    EXPECT_FALSE(ui->menuChecked(MainMenu, MenuLowCpu));
    EXPECT_EQ(OneWireGetOptions(), OptInvertPower);
    EXPECT_EQ(ControlBlock.Log, 1);
    EXPECT_EQ(ControlBlock.ThermoControl, 0);
    EXPECT_EQ(ControlBlock.ConvertOnly, 1);
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 1, 0, 1, 0, 10, 1, 0, 1));
}

// An adapter unplugged at start-up must not cost the user the choice of its port: the name
// stays in the file through every save until another port is picked.
TEST_F(SettingsTest, PortNotOfferedLeavesNoSelectionButKeepsItsName) {
    WriteSettings("Port = COM7\nInterval = 3");
    Start();
    EXPECT_EQ(ui->control(MainWindow, PortSelector).state, ui::NoSelection);
    EXPECT_EQ(SettingsBytes(), SettingsFile("COM7", 3, 0, 0, 0, 10, 0, 0, 0));
    ASSERT_TRUE(ui->stepSpinBox(MainWindow, IntervalSpin, 1));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(SettingsBytes(), SettingsFile("COM7", 4, 0, 0, 0, 10, 0, 0, 0));
    clock.run();
    ASSERT_TRUE(
        PumpUntil([&] { return ui->statusText(StatusLine, 0) == u"Порт 'COM7' недоступен"; }));

    const auto& entries = ui->control(MainWindow, PortSelector).entries;
    const auto demo = std::find(entries.begin(), entries.end(), u"DEMO");
    ASSERT_NE(demo, entries.end());
    ASSERT_TRUE(
        ui->chooseEntry(MainWindow, PortSelector, static_cast<int>(demo - entries.begin())));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(SettingsBytes(), SettingsFile("DEMO", 4, 0, 0, 0, 10, 0, 0, 0));
}

// The worker followed the adapter to another name and says so: the file shows the new name.
TEST_F(SettingsTest, PortFollowedByTheWorkerIsWrittenToTheFile) {
    WriteSettings("Port = ttyKvGone0\nInterval = 2");
    Start();
    EXPECT_EQ(SettingsBytes(), SettingsFile("ttyKvGone0", 2, 0, 0, 0, 10, 0, 0, 0));
    ASSERT_TRUE(PortChoiceFollow(u"ttyKvGone0", u"DEMO"));
    ui::SetText(MainWindow, PortSelector, u"DEMO");
    ASSERT_TRUE(Post(PortFollowedEvent, 0));
    EXPECT_EQ(SettingsBytes(), SettingsFile("DEMO", 2, 0, 0, 0, 10, 0, 0, 0));
    EXPECT_FALSE(PortChoiceFollow(u"ttyKvGone0", u"ttyKvGone1")) << "DEMO is the choice now";
}

TEST_F(SettingsTest, OpeningThePortListShowsPortsPluggedInSinceAndKeepsTheSelection) {
    WriteSettings("Port = DEMO");
    Start();
    const auto listed = [&](std::u16string_view name) {
        const auto& entries = ui->control(MainWindow, PortSelector).entries;
        return std::find(entries.begin(), entries.end(), name) != entries.end();
    };
    EXPECT_FALSE(listed(u"KVLATE"));
    SimRegisterBus(u"KVLATE", std::make_shared<SimBus>());  // plugged in after start-up
    ASSERT_TRUE(ui->openDropDown(MainWindow, PortSelector));
    EXPECT_TRUE(listed(u"KVLATE"));
    EXPECT_EQ(ui::GetText(MainWindow, PortSelector), u"DEMO") << "the open port stays selected";
    SerialUnregisterVirtualPort(u"KVLATE");
    ASSERT_TRUE(ui->openDropDown(MainWindow, PortSelector));
    EXPECT_FALSE(listed(u"KVLATE"));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(SettingsBytes(), SettingsFile("DEMO", 1, 0, 0, 0, 10, 0, 0, 0)) << "not rewritten";
}

TEST_F(SettingsTest, KeysAreFoundInAnyCaseAndRewrittenAsTheProgramNamesThem) {
    WriteSettings(
        "; kept by hand\nport=demo\n\tINTERVAL\t=\t5\nthermomax = 40\nExtra = dropped\n"
        "[Group]\nThermoMin = 30");
    Start();
    const auto port = ui->control(MainWindow, PortSelector);
    ASSERT_GE(port.state, 0);
    EXPECT_EQ(port.entries[port.state], u"DEMO");
    EXPECT_EQ(ControlBlock.ThermoMin, 0) << "a key inside a group is not read";
    EXPECT_EQ(SettingsBytes(), SettingsFile("DEMO", 5, 0, 0, 0, 40, 0, 0, 0));
}

}  // namespace
}  // namespace kv::testing
