// One contract, every implementation: each test runs against the headless toolkit and, when
// built with Qt, against the Qt toolkit (QT_QPA_PLATFORM=offscreen); built for Windows,
// against the Win32 toolkit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "runtime/utf.h"
#include "tests/ui/ui_driver.h"
#include "ui/toolkit.h"

namespace kv::ui::test {
namespace {

constexpr int Window = 0;
constexpr int Menu = 0;
constexpr int Bar = 0;
constexpr int List = 0;
constexpr int Interval = 1;
constexpr int Check = 2;
constexpr int Frame = 3;
constexpr int Inner = 4;
constexpr int Table = 6;
constexpr int Marker = 777;  // an event kind the program ignores, posted to end a drain

struct Seen {
    int kind, window, object, type;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& e) {
    return out << "{" << e.kind << "," << e.window << "," << e.object << "," << e.type << "}";
}

Seen ControlSeen(int control, int type) {
    return {ControlEvent, Window, control, type};
}

// Everything queued so far, in order: a posted marker comes after what is already waiting.
std::vector<Seen> Drain() {
    PostEvent(Marker, Window, 0, 0);
    std::vector<Seen> seen;
    for (;;) {
        const int kind = WaitEvent();
        if (kind == Marker) return seen;
        if (kind != IgnoredEvent) seen.push_back({kind, EventWindow(), EventObject(), EventType()});
    }
}

using DriverFactory = std::unique_ptr<UiDriver> (*)();

class ToolkitContract : public ::testing::TestWithParam<DriverFactory> {
  protected:
    void SetUp() override {
        driver_ = GetParam()();
        driver_->Install();
        ASSERT_NE(
            0, OpenWindow(Window, 0, 0, 400, 300, U16("Проба"),
                          WindowSystemMenu | WindowMinimiseButton | WindowCentred | WindowHidden));
        ASSERT_NE(0, CreateMenuBar(Menu, Window));
        AddMenuTitle(Menu, U16("Файл"));
        AddMenuItem(Menu, 0, U16("Записывать"));
        AddMenuSeparator(Menu);
        AddMenuItem(Menu, 1, U16("Выход"));
        ASSERT_EQ(List, CreateDropDownList(Window, List, 4, 4, 100, 22));
        for (const char* port : {"COM1", "COM3", "Порт"})
            AddItem(Window, List, AppendPosition, U16(port));
        ASSERT_EQ(Interval, CreateSpinBox(Window, Interval, 110, 4, 50, 22, 1, 60,
                                          SpinReadOnlyText | SpinNumeric));
        ASSERT_EQ(Check, CreateCheckBox(Window, Check, 170, 8, 100, 16, U16("Контроль")));
        ASSERT_EQ(Frame, CreateContainer(Window, Frame, 280, 2, 110, 28, EdgeThinSunken));
        ASSERT_EQ(Inner, CreateSpinBox(Window, Inner, 4, 2, 50, 22, -55, 125,
                                       SpinReadOnlyText | SpinNumeric));
        CloseContainer(Window);
        ASSERT_EQ(Table, CreateTable(Window, Table, 2, 32, 396, 200, U16("Тип"), 80,
                                     TableSingleSelection | TableFullRowSelect | TableGridLines));
        AddTableColumn(Window, Table, 1, U16("Номер"), 150);
        AddTableColumn(Window, Table, 2, U16("Статус"), 100);
        ASSERT_NE(0, CreateStatusBar(Bar, Window));
        AddStatusField(Bar, FillWidth);
        HideWindow(Window, 0);
    }

    void TearDown() override { ToolkitRelease(); }

    std::unique_ptr<UiDriver> driver_;
};

TEST_P(ToolkitContract, SpinArrowStepReportsChangedThenTheDirection) {
    SetState(Window, Interval, 10);
    ASSERT_TRUE(driver_->StepSpinBox(Window, Interval, +1));
    EXPECT_EQ(11, GetState(Window, Interval));
    EXPECT_EQ(U16("11"), GetText(Window, Interval));
    ASSERT_TRUE(driver_->StepSpinBox(Window, Interval, -1));
    EXPECT_EQ(10, GetState(Window, Interval));
    EXPECT_EQ(
        (std::vector<Seen>{ControlSeen(Interval, Changed), ControlSeen(Interval, SteppedUp),
                           ControlSeen(Interval, Changed), ControlSeen(Interval, SteppedDown)}),
        Drain());

    // A held arrow may step by more than one; the range still limits it.
    ASSERT_TRUE(driver_->StepSpinBox(Window, Interval, +5));
    ASSERT_TRUE(driver_->StepSpinBox(Window, Interval, -20));
    EXPECT_EQ(1, GetState(Window, Interval));
    EXPECT_EQ(
        (std::vector<Seen>{ControlSeen(Interval, Changed), ControlSeen(Interval, SteppedUp),
                           ControlSeen(Interval, Changed), ControlSeen(Interval, SteppedDown)}),
        Drain());

    // At the end of the range the value stays; the step is still reported, with no Changed.
    SetState(Window, Interval, 60);
    ASSERT_TRUE(driver_->StepSpinBox(Window, Interval, +1));
    EXPECT_EQ(60, GetState(Window, Interval));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(Interval, SteppedUp)}), Drain());
}

TEST_P(ToolkitContract, AnEventEqualToTheLastWaitingOneIsQueuedOnce) {
    ASSERT_TRUE(driver_->ClickCheckBox(Window, Check));
    ASSERT_TRUE(driver_->ClickCheckBox(Window, Check));
    EXPECT_EQ(Unchecked, GetState(Window, Check));  // both clicks toggled it
    EXPECT_EQ((std::vector<Seen>{ControlSeen(Check, Clicked)}), Drain());

    // Only the newest waiting event counts: A B A stays three events.
    ASSERT_TRUE(driver_->ClickCheckBox(Window, Check));
    ASSERT_TRUE(driver_->ChooseEntry(Window, List, 1));
    ASSERT_TRUE(driver_->ClickCheckBox(Window, Check));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(Check, Clicked), ControlSeen(List, Changed),
                                 ControlSeen(Check, Clicked)}),
              Drain());

    // Once taken by the loop, the same event is new again.
    ASSERT_TRUE(driver_->ClickCheckBox(Window, Check));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(Check, Clicked)}), Drain());
}

TEST_P(ToolkitContract, UserEventsWhileAMessageBoxIsOpenReachTheLoopAfterIt) {
    driver_->OnNextMessageBox([&] {
        driver_->ClickCheckBox(Window, Check);
        driver_->ClickCheckBox(Window, Check);
        PostEvent(MenuEvent, Window, 6, 0);
        PostEvent(MenuEvent, Window, 6, 0);
    });
    ShowMessageBox(U16("О программе"), U16("Строка 1\nСтрока 2"));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(Check, Clicked), Seen{MenuEvent, Window, 6, 0}}),
              Drain());
}

TEST_P(ToolkitContract, ProgrammaticChangesProduceNoEvents) {
    SetState(Window, List, 1);
    SetText(Window, List, U16("com1"));
    AddItem(Window, List, 0, U16("COM0"));
    SetState(Window, Interval, 42);
    SetText(Window, Interval, U16("7"));
    SetState(Window, Check, Checked);
    SetState(Window, Inner, -20);
    AddItem(Window, Table, AppendPosition, U16("a\nb\nc"));
    SetItemText(Window, Table, 0, U16("x"), 1);
    ClearItems(Window, List);
    EXPECT_EQ(std::vector<Seen>{}, Drain());
    EXPECT_EQ(7, GetState(Window, Interval));
    EXPECT_EQ(U16("7"), GetText(Window, Interval));
    EXPECT_EQ(Checked, GetState(Window, Check));
    EXPECT_EQ(-20, GetState(Window, Inner));
}

int handlerCalls = 0;
Seen handlerSaw{};

int RecordingHandler() {
    ++handlerCalls;
    handlerSaw = {0, EventWindow(), EventObject(), EventType()};
    // A change made by the handler is the program's own and must not come back as an event.
    SetState(Window, Interval, 33);
    return 0;
}

TEST_P(ToolkitContract, BoundHandlerRunsWhenTheEventIsProducedAndTheRecordIsRestored) {
    handlerCalls = 0;
    BindControlEvent(Window, List, RecordingHandler, Changed);
    ASSERT_TRUE(driver_->ClickCheckBox(Window, Check));
    ASSERT_EQ(ControlEvent, WaitEvent());  // the record now describes the check box click
    ASSERT_EQ(Check, EventObject());

    ASSERT_TRUE(driver_->ChooseEntry(Window, List, 2));
    EXPECT_EQ(1, handlerCalls);  // ran at once, before the loop took the event
    EXPECT_EQ((Seen{0, Window, List, Changed}), handlerSaw);
    EXPECT_EQ(Check, EventObject());  // restored after the handler
    EXPECT_EQ(Clicked, EventType());
    EXPECT_EQ(33, GetState(Window, Interval));

    EXPECT_EQ((std::vector<Seen>{ControlSeen(List, Changed)}), Drain());

    // A posted event runs the handler when it is served, and is never suppressed.
    PostEvent(ControlEvent, Window, List, Changed);
    EXPECT_EQ(1, handlerCalls);
    EXPECT_EQ((std::vector<Seen>{ControlSeen(List, Changed)}), Drain());
    EXPECT_EQ(2, handlerCalls);

    // Other types and other controls leave it alone.
    ASSERT_TRUE(driver_->StepSpinBox(Window, Interval, -1));
    Drain();
    EXPECT_EQ(2, handlerCalls);
}

// Choosing the port that is already selected must still reach the program, or a port whose
// adapter was pulled and plugged back in could never be opened again.
TEST_P(ToolkitContract, EveryChoiceOfAnEntryIsReportedAlsoOfTheSelectedOne) {
    SetState(Window, List, 1);
    ASSERT_TRUE(driver_->ChooseEntry(Window, List, 1));
    EXPECT_EQ(1, GetState(Window, List));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(List, Changed)}), Drain());
    ASSERT_TRUE(driver_->ChooseEntry(Window, List, 1));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(List, Changed)}), Drain());
    ASSERT_TRUE(driver_->ChooseEntry(Window, List, 0));
    EXPECT_EQ(U16("COM1"), GetText(Window, List));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(List, Changed)}), Drain());
}

// The port list is filled afresh each time the user opens it: the handler runs before the list
// shows, its own changes of the entries raise nothing, and the opening reaches the loop too.
int listOpenings = 0;
int RefillingHandler() {
    ++listOpenings;
    const std::u16string selected = GetText(Window, List);
    ClearItems(Window, List);
    for (const char* port : {"COM1", "COM3", "COM4"})
        AddItem(Window, List, AppendPosition, U16(port));
    SetText(Window, List, selected);
    return 0;
}

TEST_P(ToolkitContract, OpeningTheListRunsItsHandlerFirstAndKeepsTheSelection) {
    listOpenings = 0;
    BindControlEvent(Window, List, RefillingHandler, DroppedDown);
    SetText(Window, List, U16("COM3"));
    ASSERT_TRUE(driver_->OpenDropDown(Window, List));
    EXPECT_EQ(1, listOpenings);
    EXPECT_EQ(3, CountItems(Window, List));
    EXPECT_EQ(U16("COM3"), GetText(Window, List));
    EXPECT_EQ(1, GetState(Window, List));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(List, DroppedDown)}), Drain())
        << "no Changed from the refill, one opening";
    ASSERT_TRUE(driver_->ChooseEntry(Window, List, 2));
    EXPECT_EQ(U16("COM4"), GetText(Window, List));
    EXPECT_EQ((std::vector<Seen>{ControlSeen(List, Changed)}), Drain());
    EXPECT_FALSE(driver_->OpenDropDown(Window, Check));
    EXPECT_FALSE(driver_->OpenDropDown(Window, 99));
    BindControlEvent(Window, List, nullptr, DroppedDown);
}

TEST_P(ToolkitContract, DropDownTextSelectsIgnoringCase) {
    EXPECT_EQ(NoSelection, GetState(Window, List));
    EXPECT_EQ(u"", GetText(Window, List));
    SetText(Window, List, U16("com3"));
    EXPECT_EQ(1, GetState(Window, List));
    EXPECT_EQ(U16("COM3"), GetText(Window, List));
    SetText(Window, List, U16("COM9"));  // no match: selection unchanged
    EXPECT_EQ(1, GetState(Window, List));
    SetText(Window, List, U16("ПОРТ"));  // Cyrillic letters fold too
    EXPECT_EQ(2, GetState(Window, List));
    SetText(Window, List, u"");
    EXPECT_EQ(NoSelection, GetState(Window, List));
    EXPECT_EQ(u"", GetText(Window, List));
    SetState(Window, List, 0);
    EXPECT_EQ(U16("COM1"), GetText(Window, List));
    SetState(Window, List, NoSelection);
    EXPECT_EQ(NoSelection, GetState(Window, List));
    // Inserting before the selection keeps the same entry selected.
    SetState(Window, List, 1);
    AddItem(Window, List, 0, U16("COM0"));
    EXPECT_EQ(4, CountItems(Window, List));
    EXPECT_EQ(2, GetState(Window, List));
    EXPECT_EQ(U16("COM3"), GetText(Window, List));
    ClearItems(Window, List);
    EXPECT_EQ(0, CountItems(Window, List));
    EXPECT_EQ(NoSelection, GetState(Window, List));
}

TEST_P(ToolkitContract, TableRowsCellsAndColours) {
    AddItem(Window, Table, AppendPosition, U16("DS18B20\n28-0001"));  // last cell left empty
    AddItem(Window, Table, AppendPosition, U16("r1\nb\nc\nextra"));
    AddItem(Window, Table, 0, U16("first"));
    ASSERT_EQ(3, CountItems(Window, Table));
    EXPECT_EQ(U16("first"), driver_->CellText(Window, Table, 0, 0));
    EXPECT_EQ(U16("DS18B20"), driver_->CellText(Window, Table, 1, 0));
    EXPECT_EQ(U16("28-0001"), driver_->CellText(Window, Table, 1, 1));
    EXPECT_EQ(u"", driver_->CellText(Window, Table, 1, 2));
    EXPECT_EQ(U16("c"), driver_->CellText(Window, Table, 2, 2));
    SetItemText(Window, Table, 1, U16("OK"), 2);
    EXPECT_EQ(U16("OK"), driver_->CellText(Window, Table, 1, 2));

    const int32_t red = Rgb(255, 0, 0), blue = Rgb(0, 0, 255), green = Rgb(0, 255, 0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(DefaultColour, driver_->CellColour(Window, Table, r, c));
    SetItemColour(Window, Table, 1, ColourBackground, red, 2);
    SetItemColour(Window, Table, AllRows, ColourBackground, blue, 0);
    SetItemColour(Window, Table, 2, ColourBackground, green, AllColumns);
    EXPECT_EQ(red, driver_->CellColour(Window, Table, 1, 2));
    EXPECT_EQ(blue, driver_->CellColour(Window, Table, 0, 0));
    EXPECT_EQ(blue, driver_->CellColour(Window, Table, 1, 0));
    EXPECT_EQ(DefaultColour, driver_->CellColour(Window, Table, 0, 1));
    for (int c = 0; c < 3; ++c) EXPECT_EQ(green, driver_->CellColour(Window, Table, 2, c));
    SetItemColour(Window, Table, AllRows, ColourBackground, DefaultColour, 0);
    EXPECT_EQ(DefaultColour, driver_->CellColour(Window, Table, 1, 0));
    EXPECT_EQ(red, driver_->CellColour(Window, Table, 1, 2));

    // Rows at or beyond the count are not there to change.
    SetItemText(Window, Table, 3, U16("ghost"), 0);
    SetItemColour(Window, Table, 3, ColourBackground, red, 0);
    EXPECT_EQ(3, CountItems(Window, Table));

    // Clearing drops the colours with the rows.
    ClearItems(Window, Table);
    EXPECT_EQ(0, CountItems(Window, Table));
    AddItem(Window, Table, AppendPosition, U16("a\nb\nc"));
    AddItem(Window, Table, AppendPosition, U16("a\nb\nc"));
    AddItem(Window, Table, AppendPosition, U16("a\nb\nc"));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(DefaultColour, driver_->CellColour(Window, Table, r, c));
}

// A table's cell tips come from the handler bound to it, asked with the cell's text.
TEST_P(ToolkitContract, CellTipsComeFromTheBoundHandler) {
    AddItem(Window, Table, AppendPosition, U16("DS18B20\n28-0001"));
    EXPECT_EQ(u"", CellTipText(Window, Table, 0, 1, driver_->CellText(Window, Table, 0, 1)));
    BindCellTipHandler(Window, Table, [](int, int, int row, int column, std::u16string_view text) {
        return column == 1
                   ? u"tip " + std::u16string(text) + u" " + std::u16string(1, char16_t(u'0' + row))
                   : std::u16string();
    });
    EXPECT_EQ(u"tip 28-0001 0",
              CellTipText(Window, Table, 0, 1, driver_->CellText(Window, Table, 0, 1)));
    EXPECT_EQ(u"", CellTipText(Window, Table, 0, 0, driver_->CellText(Window, Table, 0, 0)));
    BindCellTipHandler(Window, Table, nullptr);
    EXPECT_EQ(u"", CellTipText(Window, Table, 0, 1, u"28-0001"));
}

TEST_P(ToolkitContract, CallsFromAnotherThreadTakeEffectInOrderBeforeReturning) {
    SetText(Window, List, U16("COM3"));
    constexpr int Rows = 40;
    std::vector<int> countsSeen;
    std::u16string portSeen;
    std::thread worker([&] {
        for (int i = 0; i < Rows; ++i) {
            AddItem(Window, Table, AppendPosition, U16("row " + std::to_string(i) + "\n\nnew"));
            SetItemText(Window, Table, i, U16("done " + std::to_string(i)), 2);
            SetItemColour(Window, Table, i, ColourBackground, Rgb(i, 0, 0), 1);
            countsSeen.push_back(CountItems(Window, Table));
        }
        SetStatusText(Bar, 0, U16("Найдено 40 датчиков"));
        portSeen = GetText(Window, List);
        PostEvent(MenuEvent, Window, 42, 0);
    });
    // The window thread serves the calls while it waits for the worker's posted event.
    int kind = 0;
    do kind = WaitEvent();
    while (kind != MenuEvent);
    EXPECT_EQ(42, EventObject());
    worker.join();

    ASSERT_EQ(Rows, CountItems(Window, Table));
    for (int i = 0; i < Rows; ++i) {
        EXPECT_EQ(i + 1, countsSeen[i]);
        EXPECT_EQ(U16("row " + std::to_string(i)), driver_->CellText(Window, Table, i, 0));
        EXPECT_EQ(U16("done " + std::to_string(i)), driver_->CellText(Window, Table, i, 2));
        EXPECT_EQ(Rgb(i, 0, 0), driver_->CellColour(Window, Table, i, 1));
    }
    EXPECT_EQ(U16("Найдено 40 датчиков"), driver_->StatusText(Bar, 0));
    EXPECT_EQ(U16("COM3"), portSeen);
}

TEST_P(ToolkitContract, AnOpenMessageBoxServesCallsFromAnotherThread) {
    driver_->KeepNextMessageBoxOpen();
    std::thread worker([&] {
        AddItem(Window, Table, AppendPosition, U16("a\nb"));
        SetItemColour(Window, Table, 0, ColourBackground, Rgb(1, 2, 3), 1);
        SetStatusText(Bar, 0, U16("Порт открыт"));
        driver_->DismissMessageBox();
    });
    ShowMessageBox(U16("О программе"), U16("текст"));  // returns once the worker dismissed it
    worker.join();
    EXPECT_EQ(1, CountItems(Window, Table));
    EXPECT_EQ(Rgb(1, 2, 3), driver_->CellColour(Window, Table, 0, 1));
    EXPECT_EQ(U16("Порт открыт"), driver_->StatusText(Bar, 0));
}

TEST_P(ToolkitContract, WaitEventBlocksUntilAnotherThreadPosts) {
    std::atomic<bool> posted{false};
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        posted = true;
        PostEvent(ControlEvent, Window, Check, Clicked);
    });
    int kind = IgnoredEvent;
    while (kind == IgnoredEvent) kind = WaitEvent();
    EXPECT_TRUE(posted);
    EXPECT_EQ(ControlEvent, kind);
    EXPECT_EQ(Check, EventObject());
    poster.join();
}

TEST_P(ToolkitContract, ReleaseFreesAWorkerWaitingForTheWindowThread) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        AddItem(Window, Table, AppendPosition, U16("never shown"));
        SetStatusText(Bar, 0, U16("after release"));  // returns at once
        returned = true;
    });
    // The window thread is busy (like the bounded shutdown wait) and does not serve it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returned);
    ToolkitRelease();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(0, CountItems(Window, Table));
}

TEST_P(ToolkitContract, CloseAndMenuChoicesAreReportedAndChangeNothing) {
    ASSERT_TRUE(driver_->PressCloseButton(Window));
    EXPECT_EQ((std::vector<Seen>{{CloseEvent, Window, 0, 0}}), Drain());
    EXPECT_TRUE(driver_->WindowVisible(Window));
    HideWindow(Window, 1);
    EXPECT_FALSE(driver_->WindowVisible(Window));

    SetMenuItemState(Menu, 0, 5);  // any value but Unchecked sets the mark
    EXPECT_EQ(Checked, GetMenuItemState(Menu, 0));
    ASSERT_TRUE(driver_->ChooseMenuItem(Menu, 0));
    ASSERT_TRUE(driver_->ChooseMenuItem(Menu, 1));
    EXPECT_EQ((std::vector<Seen>{{MenuEvent, Window, 0, 0}, {MenuEvent, Window, 1, 0}}), Drain());
    EXPECT_EQ(Checked, GetMenuItemState(Menu, 0));  // the program, not the layer, toggles marks
    EXPECT_EQ(Unchecked, GetMenuItemState(Menu, 1));
    EXPECT_FALSE(driver_->ChooseMenuItem(Menu, 5));
}

TEST_P(ToolkitContract, GeometryAndIdentifiers) {
    // The menu bar takes its height from the client area; WindowHeight counts it back in.
    EXPECT_EQ(400, WindowWidth(Window));
    EXPECT_EQ(300, WindowHeight(Window));
    EXPECT_GT(MenuBarHeight(), 0);
    ResizeWindow(Window, 500);
    EXPECT_EQ(500, WindowWidth(Window));
    EXPECT_EQ(300, WindowHeight(Window));
    EXPECT_GE(StatusBarHeight(Bar), 18);

    const int a = CreateLabel(Window, AutoId, 4, 8, 100, 16, U16("Порт:"));
    const int b = CreateLabel(Window, AutoId, 4, 8, 100, 16, U16("Порт:Порт:"));
    EXPECT_GE(a, 0);
    EXPECT_NE(a, b);
    for (int id : {List, Interval, Check, Frame, Inner, Table}) EXPECT_NE(a, id);
    EXPECT_EQ(-1, CreateLabel(Window, List, 0, 0, 10, 10, U16("taken")));
    EXPECT_EQ(0, CreateMenuBar(1, 7));  // no such window

    EXPECT_GT(RequiredWidth(Window, b), RequiredWidth(Window, a));
    const int check = CreateCheckBox(Window, AutoId, 0, 0, 10, 10, U16("Порт:"));
    EXPECT_EQ(RequiredWidth(Window, a) + 18, RequiredWidth(Window, check));

    ResizeControl(Window, a, NoChange, NoChange, 77, NoChange);
    EXPECT_EQ(4, ControlX(Window, a));
    EXPECT_EQ(8, ControlY(Window, a));
    EXPECT_EQ(77, ControlWidth(Window, a));
    EXPECT_EQ(16, ControlHeight(Window, a));
    EXPECT_EQ(4, ControlX(Window, Inner));    // inside the container, in its coordinates
    EXPECT_EQ(0, ControlWidth(Window, 999));  // no such control
}

TEST_P(ToolkitContract, SpinBoxValueStaysInRangeAndFieldShowsPlainDecimal) {
    SetState(Window, Inner, 1000);
    EXPECT_EQ(125, GetState(Window, Inner));
    EXPECT_EQ(U16("125"), GetText(Window, Inner));
    SetState(Window, Inner, -1000);
    EXPECT_EQ(-55, GetState(Window, Inner));
    EXPECT_EQ(U16("-55"), GetText(Window, Inner));
    SetText(Window, Inner, U16("abc"));  // not a number: refused
    EXPECT_EQ(-55, GetState(Window, Inner));
    SetText(Window, Inner, U16("12"));
    EXPECT_EQ(12, GetState(Window, Inner));
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Headless, ToolkitContract, ::testing::Values(&MakeHeadlessDriver));
#ifdef KV_TEST_QT
INSTANTIATE_TEST_SUITE_P(Qt, ToolkitContract, ::testing::Values(&MakeQtDriver));
#endif
#ifdef KV_TEST_WIN32
INSTANTIATE_TEST_SUITE_P(Win32, ToolkitContract, ::testing::Values(&MakeWin32Driver));
#endif

}  // namespace kv::ui::test
