#pragma once
// Renders a headless string grid: every cell is painted as the grid's draw rule says, and
// mouse presses and double clicks (with their points), keys, the wheel and the scroll bar are
// forwarded to it; the grid decides what they select, and when its popup menu opens.

#include "controls/Grid.h"

#include <QWidget>

#include <functional>

class QScrollBar;

namespace imconf::qtui {

class GridWidget final : public QWidget {
public:
    using Dispatcher = std::function<void(const std::function<void()>& event)>;

    GridWidget(TStringGrid& control, Dispatcher dispatch, QWidget* parent);
    void Refresh();

    // The cell under a point of the widget, or {-1, -1}.
    std::pair<int, int> CellAt(const QPoint& point) const;
    QScrollBar* ScrollBar() const { return scrollBar_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    TStringGrid& control_;
    Dispatcher dispatch_;
    QScrollBar* scrollBar_ = nullptr;
    bool updatingScrollBar_ = false;
};

}  // namespace imconf::qtui
