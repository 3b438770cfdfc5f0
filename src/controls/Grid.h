#pragma once
// A string grid: columns of given widths, rows of one height, one header row, whole-row
// selection, a top row and a vertical scroll bar when the rows do not fit. Every cell is
// drawn by the owner's draw rule, which says what to paint; the shell only paints it.

#include "controls/Controls.h"
#include "controls/Menu.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace imconf {

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// What to paint for one cell: fill `FillRect` with `Fill`, then the text on one line,
// vertically centred inside `TextRect` with the given horizontal alignment.
struct TCellPaint {
    TRect FillRect;
    TColor Fill = colors::White;
    TRect TextRect;
    std::string Text;
    TAlignment Alignment = TAlignment::taLeftJustify;
};

namespace colors {
constexpr TColor ButtonFace{240, 240, 240};
constexpr TColor SelectedRow{0xB6, 0xBD, 0xD2};
}  // namespace colors

class TStringGrid : public TControl {
public:
    explicit TStringGrid(std::string name);

    int ColCount() const { return static_cast<int>(colWidths_.size()); }
    void SetColCount(int count);
    int RowCount() const { return rowCount_; }
    // Changing the row count keeps the cells of the rows that remain.
    void SetRowCount(int count);
    int ColWidth(int col) const { return colWidths_.at(static_cast<std::size_t>(col)); }
    void SetColWidth(int col, int width);
    int ColWidthSum() const;

    int FixedRows = 1;
    int DefaultRowHeight = 18;
    int GridLineWidth = 1;
    // Width of the frame around the cells, on each side.
    int BorderWidth = 2;
    int ScrollBarWidth = 17;
    TColor Color = colors::White;
    // Opens on a right click over the grid; a right click does not move the selection.
    TPopupMenu* PopupMenu = nullptr;
    TColor FixedColor = colors::ButtonFace;

    const std::string& Cell(int col, int row) const;
    void SetCell(int col, int row, std::string text);

    // First data row in view (under the header); 1 when not scrolled.
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    // Data rows that fit under the header.
    int VisibleDataRows() const;
    bool VertScrollBarVisible() const;

    // Selected row (whole-row selection) and the column the last selection reported.
    int Row() const { return row_; }
    int Col() const { return col_; }
    // Selects a row without raising the selection event and without scrolling (a selection
    // made by code; the owner keeps it in view).
    void SelectRow(int row);

    // The owner's events. OnSelectCell runs when the user moves the selection.
    std::function<void(int col, int row)> OnSelectCell;
    std::function<void()> OnDblClick;
    std::function<TCellPaint(int col, int row, const TRect& rect)> OnDrawCell;

    // Raw input, as every shell forwards it; points are in the grid's client coordinates.
    // The left button selects the row of the cell under it (the event reports that cell's
    // column); the right button opens the popup menu there and leaves the selection alone.
    void MouseDown(TMouseButton button, int x, int y, TShiftState shift = 0);
    // The second press of a double click: the left button raises the double-click event.
    void MouseDoubleClick(TMouseButton button, int x, int y);
    // Up and Down move the selection, reporting column 0; true when the grid used the key.
    bool KeyDown(std::uint16_t key, TShiftState shift = 0);
    // The wheel turned by `notches` (positive: away from the user, up): scrolls that many rows
    // when the grid has its scroll bar.
    void MouseWheel(int notches);
    void ScrollTo(int topRow);  // the scroll bar moved

    // The same as a left click on a data cell, and a double click.
    void ClickCell(int col, int row);
    void DoubleClick();

    // The cell under a point (a cell owns the grid line to its right and below it), or
    // {-1, -1}.
    std::pair<int, int> CellAt(int x, int y) const;

    // The rectangle of a cell in the grid's client coordinates (as painted now), or an empty
    // rectangle when the row is scrolled out of view.
    TRect CellRect(int col, int row) const;
    // What to paint for a cell: the owner's rule, or plain text when there is none.
    TCellPaint PaintCell(int col, int row) const;

private:
    void UserSelect(int col, int row);
    void KeepRowInView();

    std::vector<int> colWidths_;
    std::vector<std::vector<std::string>> cells_;  // [row][col]
    int rowCount_ = 2;
    int topRow_ = 1;
    int row_ = 1;
    int col_ = 0;
};

}  // namespace imconf
