#include "ui/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QLocale>
#include <QToolTip>

#include "ui/qt/qt_backend.h"
#include "ui/toolkit.h"

namespace kv::ui {
namespace {

// Room the view leaves around a cell's text on each side.
constexpr int CellTextMargin = 4;

}  // namespace

KvWindow::KvWindow(std::function<void()> onClose) : onClose_(std::move(onClose)) {}

void KvWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (onClose_) onClose_();
}

void KvWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (onResize_) onResize_();
}

KvComboBox::KvComboBox(QWidget* parent, std::function<void()> onOpen)
    : QComboBox(parent), onOpen_(std::move(onOpen)) {}

void KvComboBox::showPopup() {
    if (onOpen_) onOpen_();  // may change the entries: the popup is sized after it
    QComboBox::showPopup();
}

KvSpinBox::KvSpinBox(QWidget* parent, bool readOnlyText, std::function<void(int)> onStep)
    : QSpinBox(parent), onStep_(std::move(onStep)) {
    // Plain decimal whatever the user's locale: no group separators, no other digits.
    setLocale(QLocale::c());
    setGroupSeparatorShown(false);
    setAccelerated(true);  // holding an arrow steps faster, as desktop up-down controls do
    // Read-only field: the arrows and the Up/Down keys still step.
    if (readOnlyText) lineEdit()->setReadOnly(true);
}

void KvSpinBox::stepBy(int steps) {
    QSpinBox::stepBy(steps);  // emits valueChanged (the Changed event) when the value moved
    if (steps != 0 && onStep_) onStep_(steps);
}

KvTable::KvTable(QWidget* parent, unsigned flags, int window, int control)
    : QTableWidget(parent), labelTips_(flags & TableLabelTips), window_(window), control_(control) {
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the next control; the arrow keys move between rows.
    setTabKeyNavigation(false);
    setSelectionMode((flags & TableSingleSelection) ? QAbstractItemView::SingleSelection
                                                    : QAbstractItemView::ExtendedSelection);
    setSelectionBehavior((flags & TableFullRowSelect) ? QAbstractItemView::SelectRows
                                                      : QAbstractItemView::SelectItems);
    setShowGrid(flags & TableGridLines);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAlternatingRowColors(false);
    setCornerButtonEnabled(false);
    setFrameStyle((flags & TableSunkenEdge) ? QFrame::StyledPanel | QFrame::Sunken
                                            : QFrame::NoFrame);
    // Keep the selection in the active colour when the focus moves elsewhere.
    if (flags & TableShowSelectionAlways) {
        QPalette colours = palette();
        colours.setColor(QPalette::Inactive, QPalette::Highlight,
                         colours.color(QPalette::Active, QPalette::Highlight));
        colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         colours.color(QPalette::Active, QPalette::HighlightedText));
        setPalette(colours);
    }
    // Qt paints every widget through a back buffer, which is what double buffering asks for.
}

QString KvTable::cutOffText(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) return {};
    const QString text = index.data(Qt::DisplayRole).toString();
    if (fontMetrics().horizontalAdvance(text) + 2 * CellTextMargin <= visualRect(index).width())
        return {};
    return text;
}

bool KvTable::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QTableWidget::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    QString text;
    if (index.isValid()) {
        const QTableWidgetItem* cell = item(index.row(), index.column());
        text = ToQString(CellTipText(window_, control_, index.row(), index.column(),
                                     cell ? FromQString(cell->text()) : std::u16string()));
    }
    if (text.isEmpty() && labelTips_) text = cutOffText(help->pos());
    if (!text.isEmpty())
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    else
        QToolTip::hideText();
    return true;
}

KvStatusField::KvStatusField(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

QString KvStatusField::cutOffText() const {
    if (fontMetrics().horizontalAdvance(text()) <= contentsRect().width()) return {};
    return text();
}

bool KvStatusField::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QLabel::event(event);
    const QString full = cutOffText();
    if (full.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), full, this);
    return true;
}

}  // namespace kv::ui
