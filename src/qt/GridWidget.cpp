#include "qt/GridWidget.h"

#include "controls/Widgets.h"
#include "qt/ControlWidgets.h"
#include "qt/Look.h"

#include <algorithm>

#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace imconf::qtui {

namespace {

const QColor kGridLine(192, 192, 192);

Qt::Alignment ToQtAlignment(TAlignment alignment)
{
    switch (alignment) {
    case TAlignment::taCenter: return Qt::AlignHCenter | Qt::AlignVCenter;
    case TAlignment::taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
    case TAlignment::taLeftJustify: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QRect ToQRect(const TRect& rect)
{
    return QRect(rect.Left, rect.Top, rect.Width(), rect.Height());
}

}  // namespace

GridWidget::GridWidget(TStringGrid& control, Dispatcher dispatch, QWidget* parent)
    : QWidget(parent),
      control_(control),
      dispatch_(std::move(dispatch))
{
    setObjectName(QString::fromStdString(control_.Name()));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!updatingScrollBar_)
            dispatch_([this, value] { control_.ScrollTo(value); });
    });
    control_.Subscribe([this] { Refresh(); });
    Refresh();
}

void GridWidget::Refresh()
{
    setGeometry(control_.Left(), control_.Top(), control_.Width(), control_.Height());
    setVisible(control_.Visible());
    setFont(MakeFont(control_.Font, parentWidget() != nullptr ? parentWidget()->font() : font()));
    const bool bar = control_.VertScrollBarVisible();
    updatingScrollBar_ = true;
    scrollBar_->setVisible(bar);
    if (bar) {
        const int border = control_.BorderWidth;
        scrollBar_->setGeometry(width() - border - control_.ScrollBarWidth, border,
                                control_.ScrollBarWidth, height() - 2 * border);
        scrollBar_->setRange(control_.FixedRows, control_.RowCount() - control_.VisibleDataRows());
        scrollBar_->setPageStep(control_.VisibleDataRows());
        scrollBar_->setValue(control_.TopRow());
    }
    updatingScrollBar_ = false;
    update();
}

std::pair<int, int> GridWidget::CellAt(const QPoint& point) const
{
    return control_.CellAt(point.x(), point.y());
}

void GridWidget::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(control_.Color));
    // Lines between the cells: the cells are painted over a line-coloured band.
    const int border = control_.BorderWidth;
    const int lastRowBottom = [this] {
        int bottom = control_.BorderWidth;
        for (int row = 0; row < control_.RowCount(); ++row) {
            const TRect r = control_.CellRect(0, row);
            if (r.Height() > 0)
                bottom = std::max(bottom, r.Bottom + control_.GridLineWidth);
        }
        return bottom;
    }();
    const int columnsRight =
        border + control_.ColWidthSum() + control_.GridLineWidth * control_.ColCount();
    painter.fillRect(QRect(border, border, columnsRight - border, lastRowBottom - border),
                     kGridLine);

    painter.setClipRect(QRect(border, border, width() - 2 * border, height() - 2 * border));
    // A text wider than its cell is drawn a little narrower, not cut; never below this size.
    const int narrowestPixelSize = std::max(8, QFontInfo(font()).pixelSize() - 1);
    for (int row = 0; row < control_.RowCount(); ++row) {
        if (control_.CellRect(0, row).Height() == 0)
            continue;
        for (int col = 0; col < control_.ColCount(); ++col) {
            const TCellPaint paint = control_.PaintCell(col, row);
            painter.fillRect(ToQRect(paint.FillRect), ToQColor(paint.Fill));
            if (paint.Text.empty())
                continue;
            painter.setPen(ToQColor(control_.Font.Color));
            const QString text = QString::fromStdString(paint.Text);
            const QRect textRect = ToQRect(paint.TextRect);
            painter.setFont(qtui::FitFont(font(), text, textRect.width(), narrowestPixelSize));
            painter.drawText(textRect,
                             static_cast<int>(ToQtAlignment(paint.Alignment) | Qt::TextSingleLine),
                             text);
        }
    }
    painter.setClipping(false);
    // A sunken frame of the border's width.
    painter.setPen(QColor(160, 160, 160));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(QColor(105, 105, 105));
    painter.drawLine(1, 1, width() - 2, 1);
    painter.drawLine(1, 1, 1, height() - 2);
    painter.setPen(QColor(255, 255, 255));
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
    painter.setPen(QColor(227, 227, 227));
    painter.drawLine(1, height() - 2, width() - 2, height() - 2);
    painter.drawLine(width() - 2, 1, width() - 2, height() - 2);
}

void GridWidget::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    dispatch_([this, button = qtui::ButtonOf(event->button()), at,
               shift = qtui::ShiftOf(event->modifiers())] {
        control_.MouseDown(button, at.x(), at.y(), shift);
    });
}

void GridWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    dispatch_([this, button = qtui::ButtonOf(event->button()), at] {
        control_.MouseDoubleClick(button, at.x(), at.y());
    });
}

void GridWidget::keyPressEvent(QKeyEvent* event)
{
    bool used = false;
    dispatch_([&] {
        used = control_.KeyDown(qtui::VirtualKey(event->key()), qtui::ShiftOf(event->modifiers()));
    });
    if (!used)
        QWidget::keyPressEvent(event);
}

void GridWidget::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    dispatch_([this, notches] { control_.MouseWheel(notches); });
}

}  // namespace imconf::qtui
