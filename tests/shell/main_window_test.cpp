// The main window as built: the layout rule driven by the label widths, the menu, the table
// and the state the settings load starts from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/window_ids.h"
#include "shell/main_window.h"
#include "ui/headless/headless_toolkit.h"

namespace kv::testing {
namespace {

using ui::HeadlessControl;
using ui::HeadlessKind;
using ui::HeadlessToolkit;

struct Layout {
    std::vector<HeadlessControl> labels;  // in creation order: port, interval, min, max
    HeadlessControl port, interval, check, frame, minSpin, maxSpin, table;
    int clientWidth = 0;
    int clientHeight = 0;
};

int Right(const HeadlessControl& c) {
    return c.x + c.width;
}

Layout Build(const SettingsRowTexts& captions = {}) {
    HeadlessToolkit& ui = ui::InstallHeadlessToolkit();
    BuildMainWindow(captions);
    Layout layout;
    const auto window = ui.window(MainWindow);
    for (int id : window.creationOrder) {
        const auto c = ui.control(MainWindow, id);
        if (c.kind == HeadlessKind::Label) layout.labels.push_back(c);
    }
    layout.port = ui.control(MainWindow, PortSelector);
    layout.interval = ui.control(MainWindow, IntervalSpin);
    layout.check = ui.control(MainWindow, LimitCheckBox);
    layout.frame = ui.control(MainWindow, LimitFrame);
    layout.minSpin = ui.control(MainWindow, MinSpin);
    layout.maxSpin = ui.control(MainWindow, MaxSpin);
    layout.table = ui.control(MainWindow, SensorTable);
    layout.clientWidth = window.clientWidth;
    layout.clientHeight = ui::WindowHeight(MainWindow) - ui::MenuBarHeight();
    return layout;
}

TEST(MainWindowLayout, EachControlStartsWhereTheOneBeforeEnds) {
    const Layout l = Build();
    ASSERT_EQ(l.labels.size(), 4u);
    const int textWidthPort = HeadlessToolkit::TextWidth(u"Порт:");
    EXPECT_EQ(l.labels[0].width, textWidthPort + 2 + 4) << "shrunk to the text plus margins";
    EXPECT_EQ(l.port.x, Right(l.labels[0]));
    EXPECT_EQ(l.labels[1].x, Right(l.port) + 10);
    EXPECT_EQ(l.interval.x, Right(l.labels[1]));
    EXPECT_EQ(l.check.x, Right(l.interval) + 16);
    EXPECT_EQ(l.check.width, HeadlessToolkit::TextWidth(u"Термо контроль") + 20 + 2);
    EXPECT_EQ(l.frame.x, Right(l.check));
    // Inside the frame, in its own coordinates.
    EXPECT_EQ(l.labels[2].container, LimitFrame);
    EXPECT_EQ(l.minSpin.x, Right(l.labels[2]));
    EXPECT_EQ(l.labels[3].x, Right(l.minSpin) + 10);
    EXPECT_EQ(l.maxSpin.x, Right(l.labels[3]));
    EXPECT_EQ(l.frame.width, Right(l.maxSpin) + 10);
    EXPECT_EQ(l.frame.height, 28);
    EXPECT_EQ(l.clientWidth, Right(l.frame) + 2);
}

TEST(MainWindowLayout, LongerLabelMovesWhatFollowsAndWidensTheWindowByTheSameAmount) {
    const Layout before = Build();
    SettingsRowTexts longer;
    longer.port = u"Последовательный порт:";
    const Layout after = Build(longer);
    const int growth =
        HeadlessToolkit::TextWidth(longer.port) - HeadlessToolkit::TextWidth(u"Порт:");
    ASSERT_GT(growth, 0);
    EXPECT_EQ(after.port.x - before.port.x, growth);
    EXPECT_EQ(after.interval.x - before.interval.x, growth);
    EXPECT_EQ(after.frame.x - before.frame.x, growth);
    EXPECT_EQ(after.maxSpin.x, before.maxSpin.x) << "the frame's children keep their places";
    EXPECT_EQ(after.clientWidth - before.clientWidth, growth);

    SettingsRowTexts longerMax;
    longerMax.max = u"Максимум:";
    const Layout wider = Build(longerMax);
    const int maxGrowth =
        HeadlessToolkit::TextWidth(longerMax.max) - HeadlessToolkit::TextWidth(u"Макс:");
    EXPECT_EQ(wider.frame.width - before.frame.width, maxGrowth);
    EXPECT_EQ(wider.clientWidth - before.clientWidth, maxGrowth);

    for (const Layout* l : {&before, &after, &wider}) {
        EXPECT_EQ(l->table.x, 2);
        EXPECT_EQ(l->clientWidth - Right(l->table), 2);
    }
}

TEST(MainWindowLayout, TableFillsTheHeightBetweenTheRowAndTheStatusBar) {
    const Layout l = Build();
    EXPECT_EQ(ui::WindowHeight(MainWindow), 400);
    EXPECT_EQ(l.frame.y, 2);
    EXPECT_EQ(l.table.y, l.frame.y + l.frame.height + 2);
    EXPECT_EQ(l.table.y + l.table.height, l.clientHeight - ui::StatusBarHeight(StatusLine) - 2);
}

// What the settings load starts from, and the numbers other parts of the program rely on.
TEST(MainWindow, IsVisibleWithNumberedMenuColumnsAndNothingSetYet) {
    HeadlessToolkit& ui = ui::InstallHeadlessToolkit();
    BuildMainWindow();
    EXPECT_TRUE(ui.window(MainWindow).visible);

    std::vector<int> items;
    for (const auto& title : ui.menu(MainMenu)) {
        for (const auto& item : title.items) items.push_back(item.item);
    }
    // The chart's item comes in after the log's; the rest keep their numbers and order.
    EXPECT_EQ(items, (std::vector<int>{MenuLog, MenuChart, -1, MenuExit, MenuLowCpu, MenuInvert,
                                       MenuSeparatePolling, MenuAbout}));
    EXPECT_EQ(MenuAbout, 6) << "there is no item 5";
    for (int item : {MenuLog, MenuLowCpu, MenuInvert, MenuSeparatePolling}) {
        EXPECT_FALSE(ui.menuChecked(MainMenu, item));
    }

    const auto table = ui.control(MainWindow, SensorTable);
    std::vector<int> widths;
    for (const auto& column : table.columns) widths.push_back(column.width);
    EXPECT_EQ(widths, (std::vector<int>{80, 150, 100, 100, 120}));
    EXPECT_TRUE(table.cells.empty());
    EXPECT_EQ(ui.statusText(StatusLine), u"");
    EXPECT_EQ(ui.control(MainWindow, PortSelector).state, ui::NoSelection);
    EXPECT_EQ(ui.control(MainWindow, LimitCheckBox).state, ui::Unchecked);
    ui::ToolkitRelease();
}

}  // namespace
}  // namespace kv::testing
