// What only the headless toolkit promises: exact metrics, recorded message boxes, focus
// order, and the switches the logic tests rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/utf.h"
#include "ui/headless/headless_toolkit.h"
#include "ui/toolkit.h"

namespace kv::ui {
namespace {

class HeadlessOnly : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_ = &InstallHeadlessToolkit();
        ASSERT_NE(0, OpenWindow(0, 0, 0, 590, 400, U16("Окно"), WindowCentred | WindowHidden));
    }
    void TearDown() override { ToolkitRelease(); }
    HeadlessToolkit* ui_ = nullptr;
};

TEST_F(HeadlessOnly, MetricsAreExactForLayoutTests) {
    const HeadlessWindow w = ui_->window(0);
    EXPECT_FALSE(w.visible);
    EXPECT_EQ((1024 - 590) / 2, w.x);
    EXPECT_EQ((768 - 400) / 2, w.y);
    ASSERT_NE(0, CreateMenuBar(0, 0));
    EXPECT_EQ(380, ui_->window(0).clientHeight);
    EXPECT_EQ(400, WindowHeight(0));
    ResizeWindow(0, 600);
    EXPECT_EQ(w.x, ui_->window(0).x);  // left edge kept

    const int label = CreateLabel(0, AutoId, 4, 8, 100, 16, U16("Порт:"));
    EXPECT_EQ(5 * 7 + 2, RequiredWidth(0, label));
    const int box = CreateCheckBox(0, AutoId, 0, 0, 100, 16, U16("Термо контроль"));
    EXPECT_EQ(14 * 7 + 20, RequiredWidth(0, box));
    // A character outside the basic plane is one character, not two.
    SetText(0, label, u"\U0001F321x");
    EXPECT_EQ(2 * 7 + 2, RequiredWidth(0, label));
    ASSERT_NE(0, CreateStatusBar(0, 0));
    EXPECT_EQ(20, StatusBarHeight(0));
}

TEST_F(HeadlessOnly, ContainerChildrenAndTabOrder) {
    CreateLabel(0, AutoId, 0, 0, 10, 10, U16("Порт:"));  // labels take no focus
    CreateDropDownList(0, 0, 0, 0, 10, 10);
    CreateSpinBox(0, 1, 0, 0, 10, 10, 1, 60, SpinReadOnlyText);
    CreateContainer(0, 3, 0, 0, 10, 10, EdgeThinSunken);
    CreateSpinBox(0, 4, 0, 0, 10, 10, -55, 125, SpinReadOnlyText);
    CloseContainer(0);
    CreateTable(0, 6, 0, 0, 10, 10, U16("Тип"), 80, 0);
    EXPECT_EQ(3, ui_->control(0, 4).container);
    EXPECT_EQ(-1, ui_->control(0, 6).container);

    EXPECT_EQ(0, ui_->pressTab(0));
    EXPECT_EQ(1, ui_->pressTab(0));
    EXPECT_EQ(4, ui_->pressTab(0));
    EXPECT_EQ(6, ui_->pressTab(0));
    EXPECT_EQ(0, ui_->pressTab(0));  // wraps around
    EXPECT_EQ(6, ui_->pressTab(0, /*backward=*/true));
    EXPECT_EQ(6, ui_->focusedControl(0));
}

TEST_F(HeadlessOnly, MessageBoxesAreRecordedAndCanBeKeptOpen) {
    ShowMessageBox(U16("О программе"), U16("a\nb"));
    ASSERT_EQ(1u, ui_->messageBoxes().size());
    EXPECT_EQ(U16("О программе"), ui_->messageBoxes()[0].caption);
    EXPECT_EQ(U16("a\nb"), ui_->messageBoxes()[0].text);

    // Kept open: calls from another thread are served meanwhile, then the box is dismissed.
    ui_->setAutoDismissMessageBoxes(false);
    CreateStatusBar(0, 0);
    AddStatusField(0, FillWidth);
    std::thread other([&] {
        SetStatusText(0, 0, U16("while open"));
        ui_->dismissMessageBox();
    });
    ShowMessageBox(U16("Окно"), U16("текст"));
    other.join();
    EXPECT_EQ(2u, ui_->messageBoxes().size());
    EXPECT_EQ(U16("while open"), ui_->statusText(0));
}

TEST_F(HeadlessOnly, DirectCallsRunAtOnceWithoutALoopingWindowThread) {
    CreateTable(0, 6, 0, 0, 10, 10, U16("Тип"), 80, 0);
    CreateStatusBar(0, 0);
    AddStatusField(0, FillWidth);
    ui_->setDirectCrossThreadCalls(true);
    std::thread worker([] {
        AddItem(0, 6, AppendPosition, U16("a"));
        AddItem(0, 6, AppendPosition, U16("b"));
        SetStatusText(0, 0, U16("готово"));
    });
    worker.join();  // would hang here if the calls waited for the window thread
    EXPECT_EQ(2, CountItems(0, 6));
    EXPECT_EQ(U16("b"), ui_->cellText(0, 6, 1, 0));
    EXPECT_EQ(U16("готово"), ui_->statusText(0));
}

TEST_F(HeadlessOnly, UserActionsFromAnotherThreadGoThroughTheWindowThread) {
    CreateCheckBox(0, 2, 0, 0, 10, 10, U16("x"));
    std::thread user([&] { EXPECT_TRUE(ui_->clickCheckBox(0, 2)); });
    EXPECT_EQ(ControlEvent, WaitEvent());  // serves the click, which queues its event
    EXPECT_EQ(2, EventObject());
    user.join();
    EXPECT_EQ(Checked, GetState(0, 2));
}

TEST_F(HeadlessOnly, ObjectsThatDoNotExistAreLeftAlone) {
    EXPECT_FALSE(ui_->chooseEntry(0, 9, 0));
    EXPECT_FALSE(ui_->stepSpinBox(5, 1, 1));
    EXPECT_FALSE(ui_->chooseMenuItem(3, 0));
    EXPECT_FALSE(ui_->pressCloseButton(4));
    EXPECT_EQ(0, OpenWindow(0, 0, 0, 10, 10, u"again", 0));  // taken
    AddItem(0, 9, AppendPosition, u"x");
    SetItemColour(0, 9, 0, ColourBackground, 0, 0);
    EXPECT_EQ(0, CountItems(0, 9));
    EXPECT_EQ(u"", GetText(7, 0));
}

}  // namespace
}  // namespace kv::ui
