// What the Qt toolkit must look and behave like beyond the shared contract: a fixed window
// without a maximise button, a report-view table, a status bar without a grip, tooltips for
// cut-off cells and check marks only the program sets.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include "runtime/utf.h"
#include "tests/ui/ui_driver.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/toolkit.h"

namespace kv::ui {
namespace {

class QtLook : public ::testing::Test {
  protected:
    void SetUp() override {
        test::MakeQtDriver()->Install();
        toolkit_ = InstalledQtToolkit();
        ASSERT_NE(nullptr, toolkit_);
        ASSERT_NE(
            0, OpenWindow(0, 0, 0, 590, 400, U16("Окно"),
                          WindowSystemMenu | WindowMinimiseButton | WindowCentred | WindowHidden));
    }
    void TearDown() override { ToolkitRelease(); }
    QtToolkit* toolkit_ = nullptr;
};

TEST_F(QtLook, WindowIsFixedCentredHiddenAndHasNoMaximiseButton) {
    QWidget& top = *toolkit_->FindWindow(0)->top;
    EXPECT_FALSE(top.isVisible());
    EXPECT_EQ(top.minimumSize(), top.maximumSize());
    const Qt::WindowFlags flags = top.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(screen.center().x(), top.geometry().center().x(), 2);

    ASSERT_NE(0, CreateMenuBar(0, 0));
    EXPECT_EQ(400, top.height());  // the menu bar came out of the client area
    ResizeWindow(0, 620);
    EXPECT_EQ(620, top.width());
    EXPECT_EQ(top.minimumSize(), top.maximumSize());
}

TEST_F(QtLook, TableIsAReportViewWithTipsForCutOffCells) {
    ASSERT_EQ(6, CreateTable(0, 6, 2, 32, 400, 200, U16("Тип"), 60,
                             TableSingleSelection | TableShowSelectionAlways | TableFullRowSelect |
                                 TableGridLines | TableLabelTips | TableSunkenEdge));
    AddTableColumn(0, 6, 1, U16("Статус"), 200);
    HideWindow(0, 0);
    auto& table = *static_cast<QTableWidget*>(toolkit_->Find(0, 6)->widget);
    EXPECT_EQ(QAbstractItemView::SelectRows, table.selectionBehavior());
    EXPECT_EQ(QAbstractItemView::SingleSelection, table.selectionMode());
    EXPECT_EQ(QAbstractItemView::NoEditTriggers, table.editTriggers());
    EXPECT_TRUE(table.showGrid());
    EXPECT_FALSE(table.verticalHeader()->isVisible());
    EXPECT_EQ(QFrame::Sunken, table.frameShadow());
    ASSERT_EQ(7, CreateTable(0, 7, 2, 240, 400, 100, U16("Тип"), 60, TableGridLines));
    EXPECT_EQ(QFrame::NoFrame, static_cast<QFrame*>(toolkit_->Find(0, 7)->widget)->frameShape());
    EXPECT_EQ(60, table.columnWidth(0));
    EXPECT_EQ(200, table.columnWidth(1));

    AddItem(0, 6, AppendPosition, U16("DS18B20 с очень длинным названием\nOK"));
    qt_user::ProcessPendingEvents();
    auto& view = static_cast<KvTable&>(table);
    auto tipAt = [&](int column) {
        return view.cutOffText(table.visualRect(table.model()->index(0, column)).center());
    };
    EXPECT_EQ(QString::fromUtf8("DS18B20 с очень длинным названием"), tipAt(0));
    EXPECT_EQ(QString(), tipAt(1));                         // "OK" fits its column
    EXPECT_EQ(QString(), view.cutOffText(QPoint(5, 150)));  // below the last row
}

TEST_F(QtLook, TabLeavesTheTableForTheNextControl) {
    ASSERT_EQ(0, CreateDropDownList(0, 0, 4, 4, 100, 22));
    ASSERT_EQ(6, CreateTable(0, 6, 2, 32, 400, 200, U16("Тип"), 80,
                             TableSingleSelection | TableFullRowSelect));
    AddTableColumn(0, 6, 1, U16("Статус"), 100);
    AddItem(0, 6, AppendPosition, U16("DS18B20\nOK"));
    AddItem(0, 6, AppendPosition, U16("DS18S20\nOK"));
    ASSERT_EQ(2, CreateCheckBox(0, 2, 120, 8, 100, 16, U16("Термо контроль")));
    HideWindow(0, 0);
    QWidget& top = *toolkit_->FindWindow(0)->top;
    top.activateWindow();
    qt_user::ProcessPendingEvents();
    QWidget* table = toolkit_->Find(0, 6)->widget;
    QWidget* box = toolkit_->Find(0, 2)->widget;
    table->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(table, QApplication::focusWidget());

    // As in any desktop list, Tab moves on to the next control instead of from cell to cell.
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(table, &tab);
    EXPECT_EQ(box, QApplication::focusWidget());
    QKeyEvent backTab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
    QApplication::sendEvent(box, &backTab);
    EXPECT_EQ(table, QApplication::focusWidget());
    QApplication::sendEvent(table, &backTab);
    EXPECT_EQ(toolkit_->Find(0, 0)->widget, QApplication::focusWidget());
}

TEST_F(QtLook, StatusBarHasNoGripAndItsFieldFillsTheWidth) {
    ASSERT_NE(0, CreateStatusBar(0, 0));
    AddStatusField(0, FillWidth);
    HideWindow(0, 0);
    qt_user::ProcessPendingEvents();
    QtStatusBar& bar = *toolkit_->FindBar(0);
    EXPECT_FALSE(bar.bar->isSizeGripEnabled());
    EXPECT_EQ(590, bar.bar->width());
    EXPECT_EQ(400 - bar.bar->height(), bar.bar->y());  // at the bottom of the client area
    EXPECT_GT(bar.fields[0]->width(), 590 - 30);
}

TEST_F(QtLook, StatusTextCutOffByTheWindowEdgeIsShownWholeAsATooltip) {
    ASSERT_NE(0, CreateStatusBar(0, 0));
    AddStatusField(0, FillWidth);
    HideWindow(0, 0);
    const std::u16string longText =
        U16("Найдено 5 '1-Wire'  устройств.    Обнаружено 2 датчика с ошибками в работе  В 3 "
            "датчиках зафиксирован выход за пределы допустимой температуры");
    SetStatusText(0, 0, longText);
    qt_user::ProcessPendingEvents();
    auto& field = static_cast<KvStatusField&>(*toolkit_->FindBar(0)->fields[0]);
    EXPECT_EQ(longText, qt_user::StatusText(0, 0));  // the field itself keeps the whole text
    EXPECT_EQ(QString::fromStdU16String(longText), field.cutOffText());
    SetStatusText(0, 0, U16("Порт открыт"));
    EXPECT_EQ(QString(), field.cutOffText());
}

TEST_F(QtLook, OnlyTheProgramSetsCheckMarks) {
    ASSERT_NE(0, CreateMenuBar(0, 0));
    AddMenuTitle(0, U16("Режим"));
    AddMenuItem(0, 2, U16("Снизить нагрузку на CPU"));
    AddMenuItem(0, 1, U16("Выход"));
    QAction* action = toolkit_->FindMenu(0)->items[2];
    EXPECT_FALSE(action->isChecked());
    SetMenuItemState(0, 2, Checked);
    EXPECT_TRUE(action->isChecked());
    ASSERT_TRUE(qt_user::ChooseMenuItem(0, 2));
    EXPECT_TRUE(action->isChecked());
    EXPECT_EQ(Checked, GetMenuItemState(0, 2));
    EXPECT_FALSE(toolkit_->FindMenu(0)->items[1]->isCheckable());  // a command shows no box
}

TEST_F(QtLook, MessageBoxShowsItsTextAsWritten) {
    const QString text = QStringLiteral("<b>Порт</b> & <i>COM3</i>\nE-Mail: <a@b.example>");
    bool found = false;
    qt_user::OnNextMessageBox([&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(nullptr, box);
        for (QLabel* label : box->findChildren<QLabel*>())
            if (label->text() == text) found = label->textFormat() == Qt::PlainText;
    });
    ShowMessageBox(U16("О программе"), FromQString(text));
    EXPECT_TRUE(found);  // markup-like text is not taken for rich text
}

// Through Qt's own key handling: a key that moves the selection, and the popup confirming
// the entry that is already selected, each tell the program; the program's own selection
// does not.
TEST_F(QtLook, DropDownReportsEveryChoiceMadeWithTheKeysOrThePopup) {
    ASSERT_EQ(0, CreateDropDownList(0, 0, 0, 0, 100, 22));
    AddItem(0, 0, AppendPosition, U16("ttyUSB0"));
    AddItem(0, 0, AppendPosition, U16("DEMO"));
    SetState(0, 0, 0);
    HideWindow(0, 0);
    auto* list = static_cast<QComboBox*>(toolkit_->Find(0, 0)->widget);
    constexpr int Marker = 777;
    const auto choices = [] {
        PostEvent(Marker, 0, 0, 0);
        int count = 0;
        for (int kind = WaitEvent(); kind != Marker; kind = WaitEvent())
            if (kind == ControlEvent && EventObject() == 0 && EventType() == Changed) ++count;
        return count;
    };
    EXPECT_EQ(0, choices());

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(list, &down);
    EXPECT_EQ(1, GetState(0, 0));
    EXPECT_EQ(1, choices());

    list->showPopup();
    ASSERT_TRUE(list->view()->isVisible());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list->view(), &enter);
    EXPECT_FALSE(list->view()->isVisible());
    EXPECT_EQ(1, GetState(0, 0));
    EXPECT_EQ(1, choices());
}

TEST_F(QtLook, SpinBoxFieldIsReadOnlyPlainDecimal) {
    ASSERT_EQ(1, CreateSpinBox(0, 1, 0, 0, 50, 22, -55, 1250, SpinReadOnlyText | SpinNumeric));
    SetState(0, 1, 1234);
    EXPECT_EQ(U16("1234"), GetText(0, 1));  // no group separator, whatever the locale

    // The keys go through Qt's own handling: Up steps and reports it, typing changes nothing.
    SetState(0, 1, 10);
    QWidget* spin = toolkit_->Find(0, 1)->widget;
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QKeyEvent upReleased(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(spin, &up);
    QApplication::sendEvent(spin, &upReleased);
    EXPECT_EQ(11, GetState(0, 1));
    QKeyEvent digit(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
    QApplication::sendEvent(spin, &digit);
    EXPECT_EQ(11, GetState(0, 1));
    EXPECT_EQ(U16("11"), GetText(0, 1));

    constexpr int Marker = 777;
    PostEvent(Marker, 0, 0, 0);
    std::vector<int> types;
    for (int kind = WaitEvent(); kind != Marker; kind = WaitEvent())
        if (kind == ControlEvent && EventObject() == 1) types.push_back(EventType());
    EXPECT_EQ((std::vector<int>{Changed, SteppedUp}), types);
}

// A link someone put where the chart's image goes is replaced by the image: the file it
// leads to is never written, nor made when it is missing.
TEST_F(QtLook, ASavedImageReplacesALinkAtItsPathAndNeverWritesWhereItLeads) {
    ASSERT_NE(0, CreateCanvas(0, 9, 0, 0, 120, 80, 0));
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() /
                            ("kv-image-" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(folder);
    const fs::path victim = folder / "victim.txt", image = folder / "chart.png";
    std::ofstream(victim) << "precious\n";
    for (const fs::path& target : {victim, folder / "missing.txt"}) {
        fs::remove(image);
        fs::create_symlink(target, image);
        ASSERT_NE(0, SaveCanvasImage(0, 9, U16(image.string()))) << target;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(image))) << target;
        EXPECT_EQ(QImage(QString::fromStdString(image.string())).width(), 120) << target;
    }
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious\n");
    EXPECT_FALSE(fs::exists(folder / "missing.txt"));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace kv::ui
