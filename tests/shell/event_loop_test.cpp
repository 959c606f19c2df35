// The running program's reactions to the user: menu items, spin boxes and their Min/Max
// corrections, the check box, the About box and the ways to end.
#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "monitor/control_block.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "shell/close_signals.h"
#include "tests/shell/program_fixture.h"
#include "ui/toolkit.h"

namespace kv::testing {
namespace {

using EventLoopTest = ProgramTest;

TEST_F(EventLoopTest, SteppingMinUpToMaxIsCorrectedOnScreenInControlBlockAndFile) {
    WriteSettings("ThermoMin = 9\nThermoMax = 10");
    Start();
    ASSERT_TRUE(ui->stepSpinBox(MainWindow, MinSpin, +1));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ui->control(MainWindow, MinSpin).state, 9);
    EXPECT_EQ(ui->control(MainWindow, MinSpin).text, u"9");
    EXPECT_EQ(ControlBlock.ThermoMin, 9);
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 1, 0, 0, 9, 10, 0, 0, 0));
}

TEST_F(EventLoopTest, SteppingMaxDownToMinIsCorrectedOnScreenInControlBlockAndFile) {
    WriteSettings("ThermoMin = 9\nThermoMax = 10");
    Start();
    ASSERT_TRUE(ui->stepSpinBox(MainWindow, MaxSpin, -1));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ui->control(MainWindow, MaxSpin).state, 10);
    EXPECT_EQ(ui->control(MainWindow, MaxSpin).text, u"10");
    EXPECT_EQ(ControlBlock.ThermoMax, 10);
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 1, 0, 0, 9, 10, 0, 0, 0));
}

TEST_F(EventLoopTest, StepsThatKeepMinBelowMaxAreStoredAndSaved) {
    WriteSettings("ThermoMin = 5\nThermoMax = 10");
    Start();
    ui->stepSpinBox(MainWindow, MinSpin, -1);
    ui->stepSpinBox(MainWindow, MaxSpin, +1);
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ControlBlock.ThermoMin, 4);
    EXPECT_EQ(ControlBlock.ThermoMax, 11);
    ui->stepSpinBox(MainWindow, MinSpin, +1);
    ui->stepSpinBox(MainWindow, IntervalSpin, +1);
    ui->clickCheckBox(MainWindow, LimitCheckBox);
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ControlBlock.ThermoMin, 5);
    EXPECT_EQ(ControlBlock.Interval, 2);
    EXPECT_EQ(ControlBlock.ThermoControl, 1);
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 2, 1, 0, 5, 11, 0, 0, 0));
}

TEST_F(EventLoopTest, ModeItemsChangeRunningStateButNoFileUntilTheNextWrite) {
    Start();
    const std::string before = SettingsBytes();
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuLowCpu));
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuInvert));
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuSeparatePolling));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(OneWireGetOptions(), OptLowCpu | OptInvertPower);
    EXPECT_EQ(ControlBlock.ConvertOnly, 1);
    EXPECT_EQ(SettingsBytes(), before);

    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuInvert));  // and off again
    ASSERT_TRUE(Pump());
    EXPECT_EQ(OneWireGetOptions(), OptLowCpu);
    EXPECT_FALSE(ui->menuChecked(MainMenu, MenuInvert));

    ASSERT_TRUE(ui->stepSpinBox(MainWindow, IntervalSpin, +1));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 2, 0, 1, 0, 10, 0, 1, 0));
}

TEST_F(EventLoopTest, LogItemWritesAtOnce) {
    Start();
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuLog));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ControlBlock.Log, 1);
    EXPECT_TRUE(ui->menuChecked(MainMenu, MenuLog));
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 1, 0, 0, 0, 10, 1, 0, 0));
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuLog));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ControlBlock.Log, 0);
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 1, 0, 0, 0, 10, 0, 0, 0));
}

TEST_F(EventLoopTest, ChangingThePortAsksForAReopeningAndSaves) {
    Start();
    const auto port = ui->control(MainWindow, PortSelector);
    int demo = -1;
    for (size_t i = 0; i < port.entries.size(); ++i) {
        if (port.entries[i] == u"DEMO") demo = static_cast<int>(i);
    }
    ASSERT_GE(demo, 0) << "the demonstration bus is offered";
    ControlBlock.ReopenPort = 0;
    ASSERT_TRUE(ui->chooseEntry(MainWindow, PortSelector, demo));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ControlBlock.ReopenPort, 1);
    EXPECT_EQ(SettingsBytes(), SettingsFile("DEMO", 1, 0, 0, 0, 10, 0, 0, 0));

    // Choosing the same port again opens it again: the way back after an adapter was
    // pulled out and plugged in while the program ran.
    ControlBlock.ReopenPort = 0;
    ASSERT_TRUE(ui->chooseEntry(MainWindow, PortSelector, demo));
    ASSERT_TRUE(Pump());
    EXPECT_EQ(ControlBlock.ReopenPort, 1);
}

TEST_F(EventLoopTest, UnknownItemsAndOtherWindowsDoNothing) {
    Start();
    const std::string before = SettingsBytes();
    ASSERT_TRUE(Post(ui::MenuEvent, 5));
    ASSERT_TRUE(Post(ui::MenuEvent, 99));
    ASSERT_TRUE(Post(ui::MenuEvent, -1));
    ASSERT_TRUE(Post(ui::ControlEvent, SensorTable, ui::Changed));
    ASSERT_TRUE(Post(ui::ControlEvent, LimitFrame, ui::Changed));
    ui::PostEvent(ui::CloseEvent, 1, 0, 0);  // a window the program does not have
    ui::PostEvent(ui::MenuEvent, 1, MenuExit, 0);
    ASSERT_TRUE(Pump());
    EXPECT_TRUE(ui->window(MainWindow).visible);
    EXPECT_EQ(SettingsBytes(), before);
    EXPECT_TRUE(ui->messageBoxes().empty());
    for (int item : {MenuLog, MenuLowCpu, MenuInvert, MenuSeparatePolling}) {
        EXPECT_FALSE(ui->menuChecked(MainMenu, item)) << item;
    }
}

TEST_F(EventLoopTest, AboutBoxShowsTheTwoLinesAndTheLoopGoesOn) {
    Start();
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuAbout));
    ASSERT_TRUE(Pump());
    const auto boxes = ui->messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"О программе");
    EXPECT_EQ(boxes[0].text.substr(0, boxes[0].text.find(u'\n')),
              u"Мониторинг температуры с использованием DS18x20.");
    EXPECT_EQ(boxes[0].text.substr(boxes[0].text.find(u'\n') + 1, 8), u"E-Mail: ");
    EXPECT_NE(boxes[0].text.find(u'@'), std::u16string::npos);
    ASSERT_TRUE(ui->stepSpinBox(MainWindow, IntervalSpin, +1));
    EXPECT_TRUE(Pump());
}

class EndingTest : public ProgramTest, public ::testing::WithParamInterface<const char*> {
  protected:
    // The signals take their default course when the program starts, whatever the test
    // runner was started with (a background job of a script ignores SIGINT, nohup SIGHUP).
    void SetUp() override {
        ProgramTest::SetUp();
        for (size_t i = 0; i < Signals.size(); ++i) {
            struct sigaction byDefault {};
            byDefault.sa_handler = SIG_DFL;
            sigaction(Signals[i], &byDefault, &runnerActions_[i]);
        }
    }
    void TearDown() override {
        ProgramTest::TearDown();
        for (size_t i = 0; i < Signals.size(); ++i) {
            sigaction(Signals[i], &runnerActions_[i], nullptr);
        }
    }
    void End() {
        const std::string how = GetParam();
        if (how == "exit item") {
            ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuExit));
        } else if (how == "close button") {
            ASSERT_TRUE(ui->pressCloseButton(MainWindow));
        } else {
            raise(how == "SIGTERM" ? SIGTERM : how == "SIGHUP" ? SIGHUP : SIGINT);
        }
    }

  private:
    static constexpr std::array<int, 3> Signals = {SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, Signals.size()> runnerActions_{};
};

// Every way to end saves what the window shows, including mode items not yet written,
// and hides the window only as part of the shutdown.
TEST_P(EndingTest, EndsTheSameWayAndSavesTheWindowState) {
    Start();
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuLowCpu));
    ASSERT_TRUE(Pump());
    End();
    // A signal arrives through another thread; give it a bounded time to be posted.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Pump() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(running) << "the program should have shut down";
    EXPECT_EQ(ControlBlock.StopRequested, 1);
    EXPECT_EQ(SettingsBytes(), SettingsFile("", 1, 0, 0, 0, 10, 0, 1, 0));
    EXPECT_FALSE(ui::WindowWidth(MainWindow) > 0) << "the window objects are released";
}

INSTANTIATE_TEST_SUITE_P(Ways, EndingTest,
                         ::testing::Values("exit item", "close button", "SIGTERM", "SIGINT",
                                           "SIGHUP"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (c == ' ') c = '_';
                             }
                             return name;
                         });

// Started under nohup, or in the background by a script, the program must not take the
// hang-up or the terminal's Ctrl+C meant for others as a request to close.
TEST_F(EventLoopTest, SignalsIgnoredByTheStarterStayIgnored) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousInt {
    }, previousHup{};
    sigaction(SIGINT, &ignore, &previousInt);
    sigaction(SIGHUP, &ignore, &previousHup);
    Start();
    for (int signal : {SIGINT, SIGHUP}) {
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_IGN) << signal;
    }
    raise(SIGINT);
    raise(SIGHUP);
    EXPECT_TRUE(Pump());
    Stop();
    for (int signal : {SIGINT, SIGHUP}) {
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_IGN) << "still ignored after the end, " << signal;
    }
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGHUP, &previousHup, nullptr);
}

ui::HeadlessToolkit* boxToolkit = nullptr;

// kill or a closed terminal must not wait for somebody to dismiss the About box.
TEST_F(EventLoopTest, ASignalWhileTheAboutBoxIsOpenClosesTheBoxAndEndsTheProgram) {
    struct sigaction byDefault {
    }, runner{};
    byDefault.sa_handler = SIG_DFL;
    sigaction(SIGTERM, &byDefault, &runner);
    boxToolkit = ui;
    CloseSignalsSetExtraAction([] { boxToolkit->dismissMessageBox(); });
    Start();
    ui->setAutoDismissMessageBoxes(false);
    ui->setMessageBoxAction([] { raise(SIGTERM); });

    // Should the box stay open, it is dismissed after a while so that the test ends.
    std::atomic<bool> ended{false}, rescued{false};
    std::thread watchdog([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!ended) {
            rescued = true;
            boxToolkit->dismissMessageBox();
        }
    });
    ASSERT_TRUE(ui->chooseMenuItem(MainMenu, MenuAbout));
    const bool stillRunning = PumpUntil([&] { return !running; });
    ended = true;
    watchdog.join();
    CloseSignalsSetExtraAction(nullptr);
    sigaction(SIGTERM, &runner, nullptr);

    EXPECT_FALSE(rescued) << "the box stayed open after the signal";
    EXPECT_FALSE(stillRunning);
    EXPECT_FALSE(running);
    EXPECT_EQ(ui->messageBoxes().size(), 1u);
    EXPECT_EQ(ControlBlock.StopRequested, 1);
}

TEST_F(EventLoopTest, CloseButtonAloneLeavesTheWindowOpenUntilTheProgramHidesIt) {
    Start();
    ASSERT_TRUE(ui->pressCloseButton(MainWindow));
    EXPECT_TRUE(ui->window(MainWindow).visible);
    EXPECT_FALSE(Pump());
}

}  // namespace
}  // namespace kv::testing
