// What the Win32 toolkit must look and behave like beyond the shared contract: a fixed window
// whose outer size stays when the menu bar comes, controls measured in the font they are drawn
// with, one event per choice in a drop-down list whatever order the notifications come in,
// Tab through the frame, cell colours that reach the screen, the focus kept across
// deactivation, repainting only what changed, coordinates scaled to the screen's DPI, a cut-off
// status line as a tooltip, and the session end.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/utf.h"
#include "ui/toolkit.h"
#include "ui/win32/win32_backend.h"
#include "ui/win32/win32_toolkit.h"

namespace kv::ui {
namespace {

constexpr int Window = 0, List = 0, Interval = 1, Check = 2, Frame = 3, Inner = 4, Table = 6;
constexpr int Marker = 777;

struct Seen {
    int kind, object, type;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& e) {
    return out << "{" << e.kind << "," << e.object << "," << e.type << "}";
}

std::vector<Seen> Drain() {
    PostEvent(Marker, Window, 0, 0);
    std::vector<Seen> seen;
    for (;;) {
        const int kind = WaitEvent();
        if (kind == Marker) return seen;
        if (kind != IgnoredEvent) seen.push_back({kind, EventObject(), EventType()});
    }
}

// A rectangle of client pixels; empty when nothing is there.
struct Box {
    LONG left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "(" << b.left << "," << b.top << ")-(" << b.right << "," << b.bottom << ")";
}

class Win32Look : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallWin32Toolkit();
        toolkit_ = InstalledWin32Toolkit();
        ASSERT_NE(nullptr, toolkit_);
        ASSERT_NE(
            0, OpenWindow(Window, 0, 0, 590, 400, U16("Окно"),
                          WindowSystemMenu | WindowMinimiseButton | WindowCentred | WindowHidden));
    }
    void TearDown() override { ToolkitRelease(); }

    void BuildRow() {
        ASSERT_EQ(List, CreateDropDownList(Window, List, 4, 4, 100, 22));
        for (const char* port : {"COM1", "COM3", "DEMO"})
            AddItem(Window, List, AppendPosition, U16(port));
        ASSERT_EQ(Interval, CreateSpinBox(Window, Interval, 110, 4, 50, 22, 1, 60,
                                          SpinReadOnlyText | SpinNumeric));
        ASSERT_EQ(Check, CreateCheckBox(Window, Check, 170, 8, 100, 16, U16("Термо контроль")));
        ASSERT_EQ(Frame, CreateContainer(Window, Frame, 280, 2, 110, 28, EdgeThinSunken));
        ASSERT_EQ(Inner, CreateSpinBox(Window, Inner, 4, 2, 50, 22, -55, 125,
                                       SpinReadOnlyText | SpinNumeric));
        CloseContainer(Window);
        ASSERT_EQ(Table, CreateTable(Window, Table, 2, 32, 586, 300, U16("Тип"), 80,
                                     TableSingleSelection | TableFullRowSelect | TableGridLines |
                                         TableLabelTips | TableSunkenEdge));
        AddTableColumn(Window, Table, 1, U16("Серийный номер"), 150);
        HideWindow(Window, 0);
    }

    HWND Handle(int control) { return toolkit_->Find(Window, control)->hwnd; }
    // What the list tells its parent, as the platform would.
    void Notify(WORD code) {
        HWND list = Handle(List);
        SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(win32::ControlIdBase + List, code),
                     reinterpret_cast<LPARAM>(list));
    }
    void Select(int index) { SendMessageW(Handle(List), CB_SETCURSEL, index, 0); }

    Win32Toolkit* toolkit_ = nullptr;
};

TEST_F(Win32Look, FixedWindowKeepsItsOuterSizeWhenTheMenuBarComes) {
    HWND top = toolkit_->FindTop(Window)->hwnd;
    const LONG style = GetWindowLongW(top, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(IsWindowVisible(top));

    RECT work{}, before{}, after{}, client{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(top, &before);
    EXPECT_NEAR((work.left + work.right) / 2, (before.left + before.right) / 2, 1);
    ASSERT_NE(0, CreateMenuBar(0, Window));
    AddMenuTitle(0, U16("Файл"));
    AddMenuItem(0, 0, U16("Выход"));
    GetWindowRect(top, &after);
    GetClientRect(top, &client);
    EXPECT_EQ(before.bottom - before.top, after.bottom - after.top);
    EXPECT_EQ(400 - MenuBarHeight(), client.bottom);
    EXPECT_EQ(400, WindowHeight(Window));

    ResizeWindow(Window, 640);
    GetWindowRect(top, &after);
    GetClientRect(top, &client);
    EXPECT_EQ(640, client.right);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
}

TEST_F(Win32Look, ControlsAreMeasuredInTheFontTheyAreDrawnWith) {
    BuildRow();
    const int label = CreateLabel(Window, AutoId, 4, 8, 350, 16, U16("Интервал опроса:"));
    const HGDIOBJ guiFont = GetStockObject(DEFAULT_GUI_FONT);
    for (int control : {label, List, Interval, Check, Inner, Table})
        EXPECT_EQ(guiFont,
                  reinterpret_cast<HGDIOBJ>(SendMessageW(Handle(control), WM_GETFONT, 0, 0)))
            << control;
    // A label shrunk to its required width still holds its whole text on one line.
    ResizeControl(Window, label, NoChange, NoChange, RequiredWidth(Window, label), NoChange);
    HDC dc = GetDC(Handle(label));
    SelectObject(dc, guiFont);
    RECT needed{0, 0, 1000, 100};
    DrawTextW(dc, L"Интервал опроса:", -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ReleaseDC(Handle(label), dc);
    EXPECT_GE(ControlWidth(Window, label), needed.right);
    EXPECT_LE(ControlWidth(Window, label), needed.right + 4);
}

TEST_F(Win32Look, CoordinatesArePixelsAt96DpiScaledToTheScreen) {
    toolkit_->SetScreenDpi(144);  // a 150 % desktop
    constexpr int Big = 1, BigBar = 1;
    ASSERT_NE(0, OpenWindow(Big, 0, 0, 590, 400, U16("Окно"), WindowSystemMenu | WindowHidden));
    ASSERT_NE(0, CreateMenuBar(1, Big));
    AddMenuTitle(1, U16("Файл"));
    const int label = CreateLabel(Big, AutoId, 4, 8, 350, 16, U16("Интервал опроса:"));
    ResizeControl(Big, label, NoChange, NoChange, RequiredWidth(Big, label) + 4, NoChange);
    ASSERT_EQ(Interval,
              CreateSpinBox(Big, Interval, ControlX(Big, label) + ControlWidth(Big, label), 4, 50,
                            22, 1, 60, SpinReadOnlyText | SpinNumeric));
    ASSERT_EQ(Table, CreateTable(Big, Table, 2, 32, 586, 300, U16("Тип"), 80, TableGridLines));
    AddTableColumn(Big, Table, 1, U16("Серийный номер"), 150);
    ASSERT_NE(0, CreateStatusBar(BigBar, Big));
    AddStatusField(BigBar, FillWidth);

    // The program gets its own numbers back...
    EXPECT_EQ(590, WindowWidth(Big));
    EXPECT_EQ(400, WindowHeight(Big));
    EXPECT_EQ(50, ControlWidth(Big, Interval));
    EXPECT_GE(StatusBarHeight(BigBar), 18);
    // ...while on the screen everything is half as large again.
    const auto placed = [](HWND hwnd) {
        RECT r{};
        GetWindowRect(hwnd, &r);
        MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
        return Box{r.left, r.top, r.right, r.bottom};
    };
    RECT client{};
    GetClientRect(toolkit_->FindTop(Big)->hwnd, &client);
    EXPECT_EQ(885, client.right);
    const Win32Control& spin = *toolkit_->Find(Big, Interval);
    const Box text = placed(toolkit_->Find(Big, label)->hwnd), field = placed(spin.hwnd);
    EXPECT_EQ(text.right, field.left) << "edge to edge";
    EXPECT_EQ(6, field.top);
    EXPECT_EQ(39, field.bottom);
    EXPECT_EQ(75, placed(spin.arrows).right - field.left);
    HWND table = toolkit_->Find(Big, Table)->hwnd;
    EXPECT_EQ(120, ListView_GetColumnWidth(table, 0));
    EXPECT_EQ(225, ListView_GetColumnWidth(table, 1));
    EXPECT_EQ((Box{3, 48, 882, 498}), placed(table));
    // The label holds its text in the font it is drawn with.
    HWND labelWindow = toolkit_->Find(Big, label)->hwnd;
    HDC dc = GetDC(labelWindow);
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(labelWindow, WM_GETFONT, 0, 0)));
    SIZE needed{};
    GetTextExtentPoint32W(dc, L"Интервал опроса:", 16, &needed);
    ReleaseDC(labelWindow, dc);
    EXPECT_GE(text.right - text.left, needed.cx);
    EXPECT_GE(placed(toolkit_->FindBar(BigBar)->hwnd).bottom -
                  placed(toolkit_->FindBar(BigBar)->hwnd).top,
              27);
}

TEST_F(Win32Look, EachChoiceInTheListIsOneEventWhateverOrderTheNotificationsCome) {
    BuildRow();
    // Keys on the closed list: some versions say "selection changed" only.
    Select(1);
    Notify(CBN_SELCHANGE);
    EXPECT_EQ((std::vector<Seen>{{ControlEvent, List, Changed}}), Drain());
    // Others end it as a choice first and report the change after.
    Select(2);
    Notify(CBN_SELENDOK);
    Notify(CBN_CLOSEUP);
    Notify(CBN_SELCHANGE);
    EXPECT_EQ((std::vector<Seen>{{ControlEvent, List, Changed}}), Drain());
    // Through the open list: moving in it is no choice yet; OK is, also of the same entry.
    Notify(CBN_DROPDOWN);
    Select(0);
    Notify(CBN_SELCHANGE);
    Select(2);
    Notify(CBN_SELCHANGE);
    Notify(CBN_SELENDOK);
    Notify(CBN_CLOSEUP);
    EXPECT_EQ((std::vector<Seen>{{ControlEvent, List, DroppedDown}, {ControlEvent, List, Changed}}),
              Drain());
    // Opened and closed again without a choice: the opening only.
    Notify(CBN_DROPDOWN);
    Notify(CBN_SELENDCANCEL);
    Notify(CBN_CLOSEUP);
    EXPECT_EQ((std::vector<Seen>{{ControlEvent, List, DroppedDown}}), Drain());
    // Closed on another entry without OK (the focus went elsewhere): the entry shown is the
    // one the program must use.
    Notify(CBN_DROPDOWN);
    Select(1);
    Notify(CBN_SELCHANGE);
    Notify(CBN_SELENDCANCEL);
    Notify(CBN_CLOSEUP);
    EXPECT_EQ((std::vector<Seen>{{ControlEvent, List, DroppedDown}, {ControlEvent, List, Changed}}),
              Drain());
    // After all that, a change by keys is reported again.
    Select(0);
    Notify(CBN_SELCHANGE);
    EXPECT_EQ((std::vector<Seen>{{ControlEvent, List, Changed}}), Drain());
}

TEST_F(Win32Look, KeysOnTheClosedListReportEachChangeOnce) {
    BuildRow();
    SetState(Window, List, 0);
    for (int expected : {1, 2}) {
        SendMessageW(Handle(List), WM_KEYDOWN, VK_DOWN, 1);
        EXPECT_EQ(expected, GetState(Window, List));
        EXPECT_EQ((std::vector<Seen>{{ControlEvent, List, Changed}}), Drain());
    }
}

TEST_F(Win32Look, TabGoesThroughTheControlsAndIntoTheFrame) {
    BuildRow();
    SetFocus(Handle(List));
    std::vector<int> forward;
    for (int i = 0; i < 5; ++i) forward.push_back(win32_user::PressTab(Window, false));
    EXPECT_EQ((std::vector<int>{Interval, Check, Inner, Table, List}), forward);
    std::vector<int> backward;
    for (int i = 0; i < 2; ++i) backward.push_back(win32_user::PressTab(Window, true));
    EXPECT_EQ((std::vector<int>{Table, Inner}), backward);
}

TEST_F(Win32Look, CellColoursReachTheScreen) {
    BuildRow();
    AddItem(Window, Table, AppendPosition, U16("DS18B20\n28-0000000001"));
    AddItem(Window, Table, AppendPosition, U16("DS18S20\n10-0000000002"));
    const int32_t red = Rgb(255, 0, 0);
    SetItemColour(Window, Table, 1, ColourBackground, red, 1);
    win32_user::ProcessPendingMessages();
    RECT cell{};
    cell.top = 1;  // column 1 of row 1
    cell.left = LVIR_BOUNDS;
    ASSERT_TRUE(
        SendMessageW(Handle(Table), LVM_GETSUBITEMRECT, 1, reinterpret_cast<LPARAM>(&cell)));
    // Right of the text, inside the cell.
    const int x = cell.right - 4, y = (cell.top + cell.bottom) / 2;
    EXPECT_EQ(red, win32_user::PixelAt(Window, Table, x, y));
    const int32_t window = static_cast<int32_t>(GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(window, win32_user::PixelAt(Window, Table, x, y - (cell.bottom - cell.top)));
    SetItemColour(Window, Table, AllRows, ColourBackground, DefaultColour, AllColumns);
    EXPECT_EQ(window, win32_user::PixelAt(Window, Table, x, y));
}

TEST_F(Win32Look, TheFocusComesBackToItsControlWhenTheWindowIsActiveAgain) {
    BuildRow();
    HWND top = toolkit_->FindTop(Window)->hwnd;
    // Another program's window.
    HWND other = CreateWindowExW(0, L"Static", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, other);
    ASSERT_TRUE(SetForegroundWindow(top));
    SetFocus(Handle(Check));
    ASSERT_TRUE(SetForegroundWindow(other));
    win32_user::ProcessPendingMessages();
    ASSERT_NE(Handle(Check), GetFocus());
    ASSERT_TRUE(SetForegroundWindow(top));
    win32_user::ProcessPendingMessages();
    EXPECT_EQ(Handle(Check), GetFocus()) << "switched back from the other program";

    SetFocus(Handle(Inner));  // the field inside the frame
    ShowWindow(top, SW_MINIMIZE);
    win32_user::ProcessPendingMessages();

    ShowWindow(top, SW_RESTORE);
    win32_user::ProcessPendingMessages();
    EXPECT_EQ(Handle(Inner), GetFocus()) << "restored after minimising";
    DestroyWindow(other);
}

// What is due to be painted in a control: its update region's bounds.
Box Due(HWND hwnd) {
    RECT due{};
    if (!GetUpdateRect(hwnd, &due, FALSE)) return Box{};
    return Box{due.left, due.top, due.right, due.bottom};
}

TEST_F(Win32Look, OnlyACellThatChangesIsPaintedAgain) {
    BuildRow();
    ASSERT_NE(0, CreateStatusBar(0, Window));
    AddStatusField(0, FillWidth);
    AddItem(Window, Table, AppendPosition, U16("DS18B20\n28-0000000001"));
    AddItem(Window, Table, AppendPosition, U16("DS18S20\n10-0000000002"));
    SetStatusText(0, 0, U16("Найдено 2 '1-Wire' устройства."));
    HWND top = toolkit_->FindTop(Window)->hwnd, table = Handle(Table);
    HWND bar = toolkit_->FindBar(0)->hwnd;
    const auto paint = [&] {
        RedrawWindow(top, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    const auto cell = [&](int row, int column) {
        RECT bounds{};
        bounds.top = column;
        bounds.left = LVIR_BOUNDS;
        SendMessageW(table, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
        if (column == 0) bounds.right = bounds.left + ListView_GetColumnWidth(table, 0);
        return Box{bounds.left, bounds.top, bounds.right, bounds.bottom};
    };
    const int32_t red = Rgb(255, 0, 0), green = Rgb(0, 255, 0);
    SetItemColour(Window, Table, 1, ColourBackground, red, 1);
    paint();
    ASSERT_EQ(Box{}, Due(table));

    // What each pass of the worker sets again, unchanged: nothing is painted.
    for (int pass = 0; pass < 2; ++pass) {
        SetItemColour(Window, Table, 1, ColourBackground, red, 1);
        SetItemColour(Window, Table, 0, ColourBackground, DefaultColour, AllColumns);
        SetItemText(Window, Table, 1, U16("10-0000000002"), 1);
        SetStatusText(0, 0, U16("Найдено 2 '1-Wire' устройства."));
        EXPECT_EQ(Box{}, Due(table)) << pass;
        EXPECT_EQ(Box{}, Due(bar)) << pass;
    }
    // A new colour or text: that cell only.
    SetItemColour(Window, Table, 1, ColourBackground, green, 1);
    EXPECT_EQ(cell(1, 1), Due(table));
    paint();
    SetItemColour(Window, Table, 0, ColourBackground, green, 0);
    EXPECT_EQ(cell(0, 0), Due(table));
    paint();
    SetItemText(Window, Table, 0, U16("28-0000000003"), 1);
    const Box due = Due(table), inside = cell(0, 1);
    EXPECT_NE(Box{}, due);
    EXPECT_TRUE(due.left >= inside.left && due.top >= inside.top && due.right <= inside.right &&
                due.bottom <= inside.bottom)
        << due << " in " << inside;
    EXPECT_EQ(U16("28-0000000003"), win32_user::CellText(Window, Table, 0, 1));
}

TEST_F(Win32Look, AStatusTextCutOffAtTheEdgeIsTheBarsTooltip) {
    BuildRow();
    ASSERT_NE(0, CreateStatusBar(0, Window));
    AddStatusField(0, FillWidth);
    HWND top = toolkit_->FindTop(Window)->hwnd, bar = toolkit_->FindBar(0)->hwnd;
    // The pointer rests on the bar; the tooltip asks the window for the text to show.
    RECT area{};
    GetWindowRect(bar, &area);
    ASSERT_TRUE(SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2));
    const auto tip = [&] {
        NMTTDISPINFOW ask{};
        ask.hdr.hwndFrom = toolkit_->FindTop(Window)->toolTips;
        ask.hdr.idFrom = reinterpret_cast<UINT_PTR>(bar);
        ask.hdr.code = TTN_GETDISPINFOW;
        SendMessageW(top, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&ask));
        return ask.lpszText ? std::u16string(ask.lpszText, ask.lpszText + wcslen(ask.lpszText))
                            : std::u16string();
    };
    const std::u16string longText =
        U16("Найдено 5 '1-Wire'  устройств.    Обнаружено 2 датчика с ошибками в работе  В 3 "
            "датчиках зафиксирован выход за пределы допустимой температуры");
    SetStatusText(0, 0, longText);
    EXPECT_EQ(longText, tip());
    SetStatusText(0, 0, U16("Порт открыт"));
    EXPECT_EQ(u"", tip()) << "a text shown whole needs no tooltip";
}

std::vector<Seen> seenAtSessionEnd;

void TakeEventsAtSessionEnd() {
    // Still inside the session-end message: what the program's loop would get now.
    seenAtSessionEnd = Drain();
    HideWindow(Window, 1);
}

TEST_F(Win32Look, SessionEndQueuesACloseAndLetsTheProgramShutDownBeforeItReturns) {
    BuildRow();
    seenAtSessionEnd.clear();
    Win32SetSessionEndAction(TakeEventsAtSessionEnd);
    ASSERT_TRUE(win32_user::ClickCheckBox(Window, Check));  // waiting before the session ends
    ASSERT_TRUE(win32_user::EndSession(Window));
    EXPECT_EQ((std::vector<Seen>{{ControlEvent, Check, Clicked}, {CloseEvent, 0, 0}}),
              seenAtSessionEnd);
    EXPECT_FALSE(win32_user::WindowVisible(Window));
    // A window already hidden belongs to a program that is ending anyway: nothing more.
    seenAtSessionEnd.clear();
    ASSERT_TRUE(win32_user::EndSession(Window));
    EXPECT_TRUE(seenAtSessionEnd.empty());
    EXPECT_EQ(std::vector<Seen>{}, Drain());
    Win32SetSessionEndAction(nullptr);
}

}  // namespace
}  // namespace kv::ui
