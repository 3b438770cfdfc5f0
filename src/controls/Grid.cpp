#include "controls/Grid.h"

#include "controls/Widgets.h"

#include <algorithm>
#include <numeric>

namespace imconf {

namespace {
const std::string kEmpty;
}  // namespace

TStringGrid::TStringGrid(std::string name) : TControl(std::move(name))
{
    SetColCount(1);
    SetRowCount(2);
}

void TStringGrid::SetColCount(int count)
{
    count = std::max(count, 1);
    colWidths_.resize(static_cast<std::size_t>(count), 64);
    for (auto& row : cells_)
        row.resize(static_cast<std::size_t>(count));
    col_ = std::min(col_, count - 1);
    Changed();
}

void TStringGrid::SetRowCount(int count)
{
    count = std::max(count, FixedRows + 1);
    if (count == rowCount_ && static_cast<int>(cells_.size()) == count)
        return;
    rowCount_ = count;
    cells_.resize(static_cast<std::size_t>(count), std::vector<std::string>(colWidths_.size()));
    row_ = std::clamp(row_, FixedRows, rowCount_ - 1);
    SetTopRow(topRow_);
    Changed();
}

void TStringGrid::SetColWidth(int col, int width)
{
    int& current = colWidths_.at(static_cast<std::size_t>(col));
    if (current == width)
        return;
    current = width;
    Changed();
}

int TStringGrid::ColWidthSum() const
{
    return std::accumulate(colWidths_.begin(), colWidths_.end(), 0);
}

const std::string& TStringGrid::Cell(int col, int row) const
{
    if (row < 0 || row >= rowCount_ || col < 0 || col >= ColCount())
        return kEmpty;
    return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void TStringGrid::SetCell(int col, int row, std::string text)
{
    if (row < 0 || row >= rowCount_ || col < 0 || col >= ColCount())
        return;
    std::string& cell = cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
    if (cell == text)
        return;
    cell = std::move(text);
    Changed();
}

int TStringGrid::VisibleDataRows() const
{
    const int step = DefaultRowHeight + GridLineWidth;
    const int room = Height() - 2 * BorderWidth - FixedRows * step + GridLineWidth;
    return std::max(1, room / step);
}

bool TStringGrid::VertScrollBarVisible() const
{
    return rowCount_ - FixedRows > VisibleDataRows();
}

void TStringGrid::SetTopRow(int row)
{
    const int maxTop = std::max(FixedRows, rowCount_ - VisibleDataRows());
    row = std::clamp(row, FixedRows, maxTop);
    if (row == topRow_)
        return;
    topRow_ = row;
    Changed();
}

void TStringGrid::KeepRowInView()
{
    if (row_ < topRow_)
        SetTopRow(row_);
    else if (row_ >= topRow_ + VisibleDataRows())
        SetTopRow(row_ - VisibleDataRows() + 1);
}

void TStringGrid::SelectRow(int row)
{
    row = std::clamp(row, FixedRows, rowCount_ - 1);
    if (row == row_)
        return;
    row_ = row;
    Changed();
}

void TStringGrid::UserSelect(int col, int row)
{
    if (OnSelectCell)
        OnSelectCell(col, row);
    row_ = row;
    col_ = col;
    KeepRowInView();
    Changed();
}

void TStringGrid::ClickCell(int col, int row)
{
    if (!Enabled() || row < FixedRows || row >= rowCount_ || col < 0 || col >= ColCount())
        return;
    UserSelect(col, row);
}

void TStringGrid::DoubleClick()
{
    if (Enabled() && OnDblClick)
        OnDblClick();
}

bool TStringGrid::KeyDown(std::uint16_t key, TShiftState /*shift*/)
{
    if (key != vk::Up && key != vk::Down)
        return false;
    if (!Enabled())
        return true;
    const int target = key == vk::Up ? row_ - 1 : row_ + 1;
    if (target >= FixedRows && target < rowCount_)
        UserSelect(0, target);
    return true;
}

void TStringGrid::MouseDown(TMouseButton button, int x, int y, TShiftState /*shift*/)
{
    if (button == TMouseButton::mbRight) {
        if (PopupMenu != nullptr)
            PopupMenu->Popup(*this, x, y);
        return;
    }
    if (button != TMouseButton::mbLeft)
        return;
    const auto [col, row] = CellAt(x, y);
    if (col >= 0)
        ClickCell(col, row);
}

void TStringGrid::MouseDoubleClick(TMouseButton button, int /*x*/, int /*y*/)
{
    if (button == TMouseButton::mbLeft)
        DoubleClick();
}

void TStringGrid::MouseWheel(int notches)
{
    if (VertScrollBarVisible() && notches != 0)
        ScrollTo(topRow_ - notches);
}

void TStringGrid::ScrollTo(int topRow)
{
    SetTopRow(topRow);
}

std::pair<int, int> TStringGrid::CellAt(int x, int y) const
{
    for (int row = 0; row < rowCount_; ++row) {
        for (int col = 0; col < ColCount(); ++col) {
            const TRect rect = CellRect(col, row);
            if (rect.Width() > 0 && x >= rect.Left && x < rect.Right + GridLineWidth &&
                y >= rect.Top && y < rect.Bottom + GridLineWidth)
                return {col, row};
        }
    }
    return {-1, -1};
}

TRect TStringGrid::CellRect(int col, int row) const
{
    if (col < 0 || col >= ColCount() || row < 0 || row >= rowCount_)
        return {};
    const int step = DefaultRowHeight + GridLineWidth;
    int top = 0;
    if (row < FixedRows) {
        top = BorderWidth + row * step;
    } else {
        if (row < topRow_ || row >= topRow_ + VisibleDataRows() + 1)
            return {};
        top = BorderWidth + FixedRows * step + (row - topRow_) * step;
    }
    int left = BorderWidth;
    for (int c = 0; c < col; ++c)
        left += colWidths_[static_cast<std::size_t>(c)] + GridLineWidth;
    return {left, top, left + colWidths_[static_cast<std::size_t>(col)], top + DefaultRowHeight};
}

TCellPaint TStringGrid::PaintCell(int col, int row) const
{
    const TRect rect = CellRect(col, row);
    if (OnDrawCell)
        return OnDrawCell(col, row, rect);
    TCellPaint paint;
    paint.FillRect = rect;
    paint.TextRect = rect;
    paint.Fill = row < FixedRows ? FixedColor : Color;
    paint.Text = Cell(col, row);
    return paint;
}

}  // namespace imconf
