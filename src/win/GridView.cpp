#include "win/MainWindow.h"

#include "win/Dpi.h"
#include "win/WinText.h"
#include "win/WindowParts.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

// The string grids: a window of ours that paints the cells the control describes, with a
// native scroll bar, and forwards the mouse, the keys and the wheel to the control.

namespace imconf::win {

namespace {

constexpr COLORREF kGridLine = RGB(192, 192, 192);

}  // namespace

void MainWindow::AddGrid(TStringGrid& grid)
{
    auto& view = *grids_.emplace_back(std::make_unique<GridView>(GridView{grid}));
    view.hwnd = Create(grid, kGridClass, WS_TABSTOP);
    view.scrollBar = ::CreateWindowExW(0, WC_SCROLLBARW, nullptr, WS_CHILD | SBS_VERT, 0, 0, 0, 0,
                                       view.hwnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    Watch(grid, [this, &view] {
        TStringGrid& g = view.grid;
        Place(g, view.hwnd);
        const bool bar = g.VertScrollBarVisible();
        ::ShowWindow(view.scrollBar, bar ? SW_SHOWNA : SW_HIDE);
        if (bar) {
            const int border = g.BorderWidth;
            ::SetWindowPos(view.scrollBar, nullptr, S(g.Width() - border - g.ScrollBarWidth),
                           S(border), S(g.ScrollBarWidth), S(g.Height() - 2 * border),
                           SWP_NOZORDER | SWP_NOACTIVATE);
            SCROLLINFO info{};
            info.cbSize = sizeof(info);
            info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
            info.nMin = g.FixedRows;
            info.nMax = g.RowCount() - 1;
            info.nPage = static_cast<UINT>(g.VisibleDataRows());
            info.nPos = g.TopRow();
            ::SetScrollInfo(view.scrollBar, SB_CTL, &info, TRUE);
        }
        ::InvalidateRect(view.hwnd, nullptr, FALSE);
    });
}

void MainWindow::PaintGrid(GridView& view, HDC target)
{
    const TStringGrid& g = view.grid;
    RECT client;
    ::GetClientRect(view.hwnd, &client);
    HDC dc = ::CreateCompatibleDC(target);
    HBITMAP bitmap = ::CreateCompatibleBitmap(target, client.right, client.bottom);
    HGDIOBJ oldBitmap = ::SelectObject(dc, bitmap);
    auto fill = [dc](const RECT& r, COLORREF colour) {
        HBRUSH brush = ::CreateSolidBrush(colour);
        ::FillRect(dc, &r, brush);
        ::DeleteObject(brush);
    };
    auto scaled = [this](const TRect& r) {
        return RECT{S(r.Left), S(r.Top), S(r.Right), S(r.Bottom)};
    };
    fill(client, ToColorRef(g.Color));
    // Lines between the cells: the cells are painted over a line-coloured band.
    const int border = g.BorderWidth;
    int lastRowBottom = border;
    for (int row = 0; row < g.RowCount(); ++row) {
        const TRect r = g.CellRect(0, row);
        if (r.Height() > 0)
            lastRowBottom = std::max(lastRowBottom, r.Bottom + g.GridLineWidth);
    }
    const int columnsRight = border + g.ColWidthSum() + g.GridLineWidth * g.ColCount();
    fill(RECT{S(border), S(border), S(columnsRight), S(lastRowBottom)}, kGridLine);

    HRGN clip =
        ::CreateRectRgn(S(border), S(border), client.right - S(border), client.bottom - S(border));
    ::SelectClipRgn(dc, clip);
    HGDIOBJ oldFont = ::SelectObject(dc, FontOf(g));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ToColorRef(g.Font.Color));
    for (int row = 0; row < g.RowCount(); ++row) {
        if (g.CellRect(0, row).Height() == 0)
            continue;
        for (int col = 0; col < g.ColCount(); ++col) {
            const TCellPaint paint = g.PaintCell(col, row);
            fill(scaled(paint.FillRect), ToColorRef(paint.Fill));
            if (paint.Text.empty())
                continue;
            const std::wstring text = Widen(paint.Text);
            RECT r = scaled(paint.TextRect);
            // A text wider than its cell is drawn a size smaller, not much more.
            ::SelectObject(dc, FittedFont(g, paint.Text, paint.TextRect.Width(),
                                          FontNameAndHeight(g).second - 1));
            const UINT align = paint.Alignment == TAlignment::taCenter         ? DT_CENTER
                               : paint.Alignment == TAlignment::taRightJustify ? DT_RIGHT
                                                                               : DT_LEFT;
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                        align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
    }
    ::SelectObject(dc, oldFont);
    ::SelectClipRgn(dc, nullptr);
    ::DeleteObject(clip);
    RECT frame = client;
    ::DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT);
    ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, oldBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

LRESULT MainWindow::GridMessage(GridView& view, UINT message, WPARAM wParam, LPARAM lParam)
{
    TStringGrid& g = view.grid;
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(view.hwnd, &ps);
        PaintGrid(view, dc);
        ::EndPaint(view.hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        ::SetFocus(view.hwnd);
        const int x = Unscale(GET_X_LPARAM(lParam), dpi_);
        const int y = Unscale(GET_Y_LPARAM(lParam), dpi_);
        Dispatch([&g, button = ButtonOf(message), x, y, shift = ShiftNow()] {
            g.MouseDown(button, x, y, shift);
        });
        return 0;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
        const int x = Unscale(GET_X_LPARAM(lParam), dpi_);
        const int y = Unscale(GET_Y_LPARAM(lParam), dpi_);
        Dispatch([&g, button = ButtonOf(message), x, y] { g.MouseDoubleClick(button, x, y); });
        return 0;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_KEYDOWN: {
        bool used = false;
        Dispatch([&] { used = g.KeyDown(static_cast<std::uint16_t>(wParam), ShiftNow()); });
        if (used)
            return 0;
        break;
    }
    case WM_MOUSEWHEEL: {
        const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        Dispatch([&g, notches] { g.MouseWheel(notches); });
        return 0;
    }
    case WM_VSCROLL: {
        int top = g.TopRow();
        switch (LOWORD(wParam)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= g.VisibleDataRows(); break;
        case SB_PAGEDOWN: top += g.VisibleDataRows(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            SCROLLINFO info{};
            info.cbSize = sizeof(info);
            info.fMask = SIF_TRACKPOS;
            ::GetScrollInfo(view.scrollBar, SB_CTL, &info);
            top = info.nTrackPos;
            break;
        }
        default: return 0;
        }
        Dispatch([&g, top] { g.ScrollTo(top); });
        return 0;
    }
    default: break;
    }
    return ::DefWindowProcW(view.hwnd, message, wParam, lParam);
}

}  // namespace imconf::win
