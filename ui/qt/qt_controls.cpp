// Qt 6 implementation: the controls.
#include <QFontMetrics>
#include <QHeaderView>
#include <algorithm>

#include "runtime/integer_text.h"
#include "ui/qt/qt_backend.h"
#include "ui/text_rules.h"

namespace kv::ui {
namespace {

// The raw 0x00BBGGRR value of a coloured cell, kept beside the brush for reading back.
constexpr int ColourRole = Qt::UserRole + 1;
// QComboBox's current index when no entry is current (reading) and to clear it (setting).
constexpr int QtNoIndex = -1;

void Report(int window, int control, int type) {
    ToolkitEvents().Produce(Event{ControlEvent, window, control, type});
}

QColor FromRgb(int32_t colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

void PaintCell(QTableWidget& table, int row, int column, int32_t colour) {
    QTableWidgetItem* cell = table.item(row, column);
    if (!cell) return;
    if (colour == DefaultColour) {
        cell->setData(Qt::BackgroundRole, QVariant());
        cell->setData(ColourRole, QVariant());
    } else {
        colour &= 0xFFFFFF;
        cell->setBackground(FromRgb(colour));
        cell->setData(ColourRole, colour);
    }
}

QTableWidgetItem* NewCell(const QString& text) {
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return cell;
}

}  // namespace

QtControl* QtToolkit::Find(int window, int control) {
    QtWindow* w = FindWindow(window);
    if (!w) return nullptr;
    auto found = w->controls.find(control);
    return found == w->controls.end() ? nullptr : &found->second;
}

bool QtToolkit::ControlExists(int window, int control) {
    return Find(window, control) != nullptr;
}

QWidget* QtToolkit::ParentFor(QtWindow& window) {
    return window.openContainer ? window.openContainer : window.client;
}

bool QtToolkit::AddControl(int window, int control, QtKind kind, QWidget* widget, int x, int y,
                           int width, int height) {
    QtWindow* w = FindWindow(window);
    w->controls[control] = QtControl{kind, widget};
    widget->setGeometry(x, y, std::max(0, width), std::max(0, height));
    widget->show();
    return true;
}

bool QtToolkit::CreateLabel(int window, int control, int x, int y, int width, int height,
                            std::u16string_view text) {
    QtWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    auto* label = new QLabel(ToQString(text), ParentFor(*w));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return AddControl(window, control, QtKind::Label, label, x, y, width, height);
}

bool QtToolkit::CreateDropDownList(int window, int control, int x, int y, int width, int height) {
    QtWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    auto* list =
        new KvComboBox(ParentFor(*w), [window, control] { Report(window, control, DroppedDown); });
    list->setEditable(false);
    list->setMaxVisibleItems(12);
    // Every choice the user makes counts, also of the entry already selected: choosing the
    // same port again is how a user reconnects after the adapter was pulled and plugged back.
    // Keys, the wheel and the popup all end in this signal; the program's own selections
    // do not.
    QObject::connect(list, &QComboBox::activated, list,
                     [window, control] { Report(window, control, Changed); });
    return AddControl(window, control, QtKind::DropDownList, list, x, y, width, height);
}

bool QtToolkit::CreateSpinBox(int window, int control, int x, int y, int width, int height,
                              int minimum, int maximum, unsigned flags) {
    QtWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    auto* spin =
        new KvSpinBox(ParentFor(*w), flags & SpinReadOnlyText, [window, control](int steps) {
            Report(window, control, steps > 0 ? SteppedUp : SteppedDown);
        });
    spin->setRange(minimum, maximum);
    spin->setValue(std::clamp(0, minimum, maximum));
    QObject::connect(spin, &QSpinBox::valueChanged, spin,
                     [window, control] { Report(window, control, Changed); });
    return AddControl(window, control, QtKind::SpinBox, spin, x, y, width, height);
}

bool QtToolkit::CreateCheckBox(int window, int control, int x, int y, int width, int height,
                               std::u16string_view caption) {
    QtWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    auto* box = new QCheckBox(ToQString(caption), ParentFor(*w));
    QObject::connect(box, &QCheckBox::clicked, box,
                     [window, control] { Report(window, control, Clicked); });
    return AddControl(window, control, QtKind::CheckBox, box, x, y, width, height);
}

bool QtToolkit::CreateContainer(int window, int control, int x, int y, int width, int height,
                                int edge) {
    QtWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    auto* frame = new QFrame(ParentFor(*w));
    if (edge == EdgeThinSunken) {
        frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        frame->setLineWidth(1);
    }
    AddControl(window, control, QtKind::Container, frame, x, y, width, height);
    w->openContainer = frame;
    return true;
}

void QtToolkit::CloseContainer(int window) {
    if (QtWindow* w = FindWindow(window)) w->openContainer = nullptr;
}

bool QtToolkit::CreateTable(int window, int control, int x, int y, int width, int height,
                            std::u16string_view firstHeading, int firstWidth, unsigned flags) {
    QtWindow* w = FindWindow(window);
    if (!w || control < 0 || w->controls.count(control)) return false;
    auto* table = new KvTable(ParentFor(*w), flags, window, control);
    table->setColumnCount(1);
    table->setHorizontalHeaderItem(0, new QTableWidgetItem(ToQString(firstHeading)));
    table->setColumnWidth(0, firstWidth);
    QObject::connect(table, &QTableWidget::itemSelectionChanged, table,
                     [window, control] { Report(window, control, Changed); });
    return AddControl(window, control, QtKind::Table, table, x, y, width, height);
}

void QtToolkit::AddTableColumn(int window, int control, int position, std::u16string_view heading,
                               int width) {
    QtControl* c = Find(window, control);
    if (!c || c->kind != QtKind::Table) return;
    auto* table = static_cast<KvTable*>(c->widget);
    const int count = table->columnCount();
    if (position < 0 || position > count) position = count;
    table->insertColumn(position);
    table->setHorizontalHeaderItem(position, new QTableWidgetItem(ToQString(heading)));
    table->setColumnWidth(position, width);
    for (int row = 0; row < table->rowCount(); ++row) table->setItem(row, position, NewCell({}));
}

void QtToolkit::SetToolTip(int window, int control, std::u16string_view text) {
    if (QtControl* c = Find(window, control)) c->widget->setToolTip(ToQString(text));
}

int QtToolkit::ControlX(int window, int control) {
    QtControl* c = Find(window, control);
    return c ? c->widget->x() : 0;
}

int QtToolkit::ControlY(int window, int control) {
    QtControl* c = Find(window, control);
    return c ? c->widget->y() : 0;
}

int QtToolkit::ControlWidth(int window, int control) {
    QtControl* c = Find(window, control);
    return c ? c->widget->width() : 0;
}

int QtToolkit::ControlHeight(int window, int control) {
    QtControl* c = Find(window, control);
    return c ? c->widget->height() : 0;
}

int QtToolkit::RequiredWidth(int window, int control) {
    QtControl* c = Find(window, control);
    if (!c) return 0;
    const QFontMetrics metrics(c->widget->font());
    switch (c->kind) {
        case QtKind::Label:
            return metrics.horizontalAdvance(static_cast<QLabel*>(c->widget)->text()) + 2;
        case QtKind::CheckBox:
            return metrics.horizontalAdvance(static_cast<QCheckBox*>(c->widget)->text()) + 20;
        default:
            return 2;
    }
}

void QtToolkit::ResizeControl(int window, int control, int x, int y, int width, int height) {
    if (QtControl* c = Find(window, control))
        c->widget->setGeometry(x, y, std::max(0, width), std::max(0, height));
}

int QtToolkit::GetState(int window, int control) {
    QtControl* c = Find(window, control);
    if (!c) return 0;
    switch (c->kind) {
        case QtKind::DropDownList: {
            const int index = static_cast<QComboBox*>(c->widget)->currentIndex();
            return index == QtNoIndex ? NoSelection : index;
        }
        case QtKind::SpinBox:
            return static_cast<QSpinBox*>(c->widget)->value();
        case QtKind::CheckBox:
            return CheckState(static_cast<QCheckBox*>(c->widget)->isChecked());
        default:
            return 0;
    }
}

void QtToolkit::SetState(int window, int control, int state) {
    QtControl* c = Find(window, control);
    if (!c) return;
    switch (c->kind) {
        case QtKind::DropDownList: {
            auto* list = static_cast<QComboBox*>(c->widget);
            list->setCurrentIndex(state >= 0 && state < list->count() ? state : QtNoIndex);
            break;
        }
        case QtKind::SpinBox:
            static_cast<QSpinBox*>(c->widget)->setValue(state);  // QSpinBox keeps it in range
            break;
        case QtKind::CheckBox:
            static_cast<QCheckBox*>(c->widget)->setChecked(state != Unchecked);
            break;
        default:
            break;
    }
}

std::u16string QtToolkit::GetText(int window, int control) {
    QtControl* c = Find(window, control);
    if (!c) return {};
    switch (c->kind) {
        case QtKind::Label:
            return FromQString(static_cast<QLabel*>(c->widget)->text());
        case QtKind::DropDownList: {
            auto* list = static_cast<QComboBox*>(c->widget);
            return list->currentIndex() >= 0 ? FromQString(list->currentText()) : std::u16string();
        }
        case QtKind::SpinBox:
            return FromQString(static_cast<QSpinBox*>(c->widget)->text());
        case QtKind::CheckBox:
            return FromQString(static_cast<QCheckBox*>(c->widget)->text());
        default:
            return {};
    }
}

void QtToolkit::SetText(int window, int control, std::u16string_view text) {
    QtControl* c = Find(window, control);
    if (!c) return;
    switch (c->kind) {
        case QtKind::Label:
            static_cast<QLabel*>(c->widget)->setText(ToQString(text));
            break;
        case QtKind::CheckBox:
            static_cast<QCheckBox*>(c->widget)->setText(ToQString(text));
            break;
        case QtKind::DropDownList: {
            auto* list = static_cast<QComboBox*>(c->widget);
            if (text.empty()) {
                list->setCurrentIndex(QtNoIndex);
                break;
            }
            std::vector<std::u16string> entries;
            for (int i = 0; i < list->count(); ++i)
                entries.push_back(FromQString(list->itemText(i)));
            if (const int found = FindEntryIgnoringCase(entries, text); found >= 0)
                list->setCurrentIndex(found);
            break;
        }
        case QtKind::SpinBox:
            // The field shows numbers only: a number moves the value, anything else is refused.
            if (auto value = ParseWholeInteger(text))
                static_cast<QSpinBox*>(c->widget)->setValue(static_cast<int>(*value));
            break;
        default:
            break;
    }
}

void QtToolkit::AddItem(int window, int control, int position, std::u16string_view text) {
    QtControl* c = Find(window, control);
    if (!c) return;
    if (c->kind == QtKind::DropDownList) {
        auto* list = static_cast<QComboBox*>(c->widget);
        const int count = list->count();
        if (position < 0 || position > count) position = count;
        const bool noneSelected = list->currentIndex() < 0;
        list->insertItem(position, ToQString(text));
        if (noneSelected) list->setCurrentIndex(-1);  // Qt would select the first entry added
    } else if (c->kind == QtKind::Table) {
        auto* table = static_cast<KvTable*>(c->widget);
        const int count = table->rowCount();
        if (position < 0 || position > count) position = count;
        const std::vector<std::u16string> pieces = SplitCells(text);
        table->insertRow(position);
        for (int column = 0; column < table->columnCount(); ++column) {
            const size_t piece = static_cast<size_t>(column);
            table->setItem(position, column,
                           NewCell(piece < pieces.size() ? ToQString(pieces[piece]) : QString()));
        }
    }
}

void QtToolkit::SetItemText(int window, int control, int row, std::u16string_view text,
                            int column) {
    QtControl* c = Find(window, control);
    if (!c || c->kind != QtKind::Table) return;
    auto* table = static_cast<KvTable*>(c->widget);
    if (row < 0 || row >= table->rowCount() || column < 0 || column >= table->columnCount()) return;
    if (QTableWidgetItem* cell = table->item(row, column)) cell->setText(ToQString(text));
}

void QtToolkit::ClearItems(int window, int control) {
    QtControl* c = Find(window, control);
    if (!c) return;
    if (c->kind == QtKind::DropDownList) static_cast<QComboBox*>(c->widget)->clear();
    if (c->kind == QtKind::Table) static_cast<KvTable*>(c->widget)->setRowCount(0);
}

int QtToolkit::CountItems(int window, int control) {
    QtControl* c = Find(window, control);
    if (!c) return 0;
    if (c->kind == QtKind::DropDownList) return static_cast<QComboBox*>(c->widget)->count();
    if (c->kind == QtKind::Table) return static_cast<KvTable*>(c->widget)->rowCount();
    return 0;
}

void QtToolkit::SetItemColour(int window, int control, int row, int colourKind, int32_t colour,
                              int column) {
    QtControl* c = Find(window, control);
    if (!c || c->kind != QtKind::Table || colourKind != ColourBackground) return;
    auto* table = static_cast<KvTable*>(c->widget);
    const int rows = table->rowCount(), columns = table->columnCount();
    if (row != AllRows && (row < 0 || row >= rows)) return;
    if (column != AllColumns && (column < 0 || column >= columns)) return;
    for (int r = (row == AllRows ? 0 : row); r < (row == AllRows ? rows : row + 1); ++r)
        for (int k = (column == AllColumns ? 0 : column);
             k < (column == AllColumns ? columns : column + 1); ++k)
            PaintCell(*table, r, k, colour);
}

int32_t QtCellColour(QTableWidget& table, int row, int column) {
    QTableWidgetItem* cell = table.item(row, column);
    if (!cell) return DefaultColour;
    const QVariant raw = cell->data(ColourRole);
    return raw.isValid() ? raw.toInt() : DefaultColour;
}

}  // namespace kv::ui
