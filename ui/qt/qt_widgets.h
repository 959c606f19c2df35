// Small Qt widget subclasses that report what the toolkit needs: a close request that does
// not close, a spin box arrow step with its direction, tooltips for cut-off table cells.
#pragma once
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kv::ui {

// Top-level window: the close button only reports; the program decides what happens. A
// change of its size is passed on, so that the toolkit can lay out what follows the size.
class KvWindow final : public QWidget {
  public:
    explicit KvWindow(std::function<void()> onClose);
    void setOnResize(std::function<void()> onResize) { onResize_ = std::move(onResize); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::function<void()> onClose_;
    std::function<void()> onResize_;
};

// Drop-down list that reports the opening of its list before the list shows.
class KvComboBox final : public QComboBox {
  public:
    KvComboBox(QWidget* parent, std::function<void()> onOpen);
    void showPopup() override;

  private:
    std::function<void()> onOpen_;
};

// Spin box whose field cannot be typed into, showing plain decimal numbers; reports each
// arrow step (button, key, wheel) after the value changed.
class KvSpinBox final : public QSpinBox {
  public:
    KvSpinBox(QWidget* parent, bool readOnlyText, std::function<void(int)> onStep);
    void stepBy(int steps) override;

  private:
    std::function<void(int)> onStep_;
};

// Report view: whole rows, one selected, grid lines, a tooltip for a cell whose text does not
// fit its column.
class KvTable final : public QTableWidget {
  public:
    KvTable(QWidget* parent, unsigned flags, int window, int control);
    // The full text of the cell at `pos` (viewport coordinates) when it does not fit its
    // column, else empty: what the tooltip shows.
    QString cutOffText(const QPoint& pos) const;

  protected:
    bool viewportEvent(QEvent* event) override;

  private:
    bool labelTips_;
    int window_, control_;  // whose cell tips it asks for
};

// Status bar field: a message longer than the bar is cut off at the window's edge, so the
// field shows the whole of it as a tooltip, as the table does for its cells.
class KvStatusField final : public QLabel {
  public:
    explicit KvStatusField(QWidget* parent);
    // The full text when it does not fit the field, else empty: what the tooltip shows.
    QString cutOffText() const;

  protected:
    bool event(QEvent* event) override;
};

// Drawing surface: paints through the program's paint handler and tracks the pointer.
class KvCanvas final : public QWidget {
  public:
    // `onPaint` draws the canvas of the given size on the painter; `onPointer` reports a
    // move of the pointer or its leaving.
    KvCanvas(QWidget* parent, std::function<void(QPainter&, int, int)> onPaint,
             std::function<void()> onPointer);
    bool pointerInside() const { return inside_; }
    QPoint pointer() const { return pointer_; }
    // A paint now (0) or once `ms` have passed since the first of the requests meanwhile.
    void repaintAfter(int ms);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    std::function<void(QPainter&, int, int)> onPaint_;
    std::function<void()> onPointer_;
    bool inside_ = false;
    QPoint pointer_;
    QTimer waiting_;
};

}  // namespace kv::ui
