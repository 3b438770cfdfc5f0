#pragma once
// Renders a headless string grid: every cell is painted as the grid's draw rule says, and
// clicks, double clicks, the Up/Down keys, the scroll bar and the right button (the grid's
// popup menu) are forwarded to it.

#include "controls/Grid.h"

#include <QWidget>

#include <functional>

class QScrollBar;

namespace imconf::qtui {

class GridWidget final : public QWidget {
public:
    using Dispatcher = std::function<void(const std::function<void()>& event)>;
    // Opens the grid's popup menu at a screen position.
    using PopupOpener = std::function<void(TPopupMenu& menu, const QPoint& globalPos)>;

    GridWidget(TStringGrid& control, Dispatcher dispatch, PopupOpener popup, QWidget* parent);
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
    PopupOpener popup_;
    QScrollBar* scrollBar_ = nullptr;
    bool updatingScrollBar_ = false;
};

}  // namespace imconf::qtui
