#include "win/Icons.h"

#include <algorithm>
#include <vector>

namespace imconf::win {

namespace {

// Drawing in a 16-unit square, scaled to the icon's size.
struct Pen16 {
    HDC colour;
    HDC mask;
    int size;
    int P(double v) const { return static_cast<int>(v * size / 16.0 + 0.5); }

    void Polygon(const std::vector<POINT>& units, COLORREF fill, COLORREF edge) const
    {
        std::vector<POINT> points;
        for (const POINT& p : units)
            points.push_back({P(p.x), P(p.y)});
        for (HDC dc : {colour, mask}) {
            const bool isMask = dc == mask;
            HBRUSH brush = ::CreateSolidBrush(isMask ? RGB(0, 0, 0) : fill);
            HPEN pen = ::CreatePen(PS_SOLID, 1, isMask ? RGB(0, 0, 0) : edge);
            HGDIOBJ oldBrush = ::SelectObject(dc, brush);
            HGDIOBJ oldPen = ::SelectObject(dc, pen);
            ::Polygon(dc, points.data(), static_cast<int>(points.size()));
            ::SelectObject(dc, oldBrush);
            ::SelectObject(dc, oldPen);
            ::DeleteObject(brush);
            ::DeleteObject(pen);
        }
    }

    void Line(const std::vector<POINT>& units, COLORREF colour_, int width) const
    {
        std::vector<POINT> points;
        for (const POINT& p : units)
            points.push_back({P(p.x), P(p.y)});
        for (HDC dc : {colour, mask}) {
            HPEN pen =
                ::CreatePen(PS_SOLID, std::max(1, P(width)), dc == mask ? RGB(0, 0, 0) : colour_);
            HGDIOBJ old = ::SelectObject(dc, pen);
            ::Polyline(dc, points.data(), static_cast<int>(points.size()));
            ::SelectObject(dc, old);
            ::DeleteObject(pen);
        }
    }
};

void DrawTrayArrow(const Pen16& p, bool down, COLORREF colour)
{
    p.Line({{2, 10}, {2, 14}, {14, 14}, {14, 10}}, RGB(70, 70, 70), 2);
    const COLORREF edge = RGB(GetRValue(colour) / 2, GetGValue(colour) / 2, GetBValue(colour) / 2);
    if (down)
        p.Polygon({{6, 1}, {10, 1}, {10, 6}, {13, 6}, {8, 12}, {3, 6}, {6, 6}}, colour, edge);
    else
        p.Polygon({{8, 1}, {13, 7}, {10, 7}, {10, 12}, {6, 12}, {6, 7}, {3, 7}}, colour, edge);
}

}  // namespace

HICON MakeButtonIcon(const std::string& name, int size)
{
    if (name != "read" && name != "write" && name != "block" && name != "sound-off")
        return nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC colourDc = ::CreateCompatibleDC(screen);
    HDC maskDc = ::CreateCompatibleDC(screen);
    HBITMAP colour = ::CreateCompatibleBitmap(screen, size, size);
    HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ oldColour = ::SelectObject(colourDc, colour);
    HGDIOBJ oldMask = ::SelectObject(maskDc, mask);
    const RECT all{0, 0, size, size};
    ::FillRect(colourDc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::FillRect(maskDc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));

    const Pen16 p{colourDc, maskDc, size};
    if (name == "read") {
        DrawTrayArrow(p, true, RGB(30, 150, 40));
    } else if (name == "write") {
        DrawTrayArrow(p, false, RGB(220, 90, 20));
    } else if (name == "block") {
        p.Line({{5, 8}, {5, 5}, {6, 3}, {8, 2}, {10, 3}, {11, 5}, {11, 8}}, RGB(90, 90, 90), 2);
        p.Polygon({{3, 8}, {13, 8}, {13, 15}, {3, 15}}, RGB(230, 180, 30), RGB(150, 110, 0));
        p.Polygon({{7, 10}, {9, 10}, {9, 13}, {7, 13}}, RGB(80, 60, 0), RGB(80, 60, 0));
    } else {
        p.Polygon({{1, 5}, {4, 5}, {8, 1}, {8, 15}, {4, 11}, {1, 11}}, RGB(110, 110, 110),
                  RGB(50, 50, 50));
        p.Line({{10, 5}, {15, 11}}, RGB(210, 0, 0), 2);
        p.Line({{15, 5}, {10, 11}}, RGB(210, 0, 0), 2);
    }
    ::SelectObject(colourDc, oldColour);
    ::SelectObject(maskDc, oldMask);
    ::DeleteDC(colourDc);
    ::DeleteDC(maskDc);

    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = ::CreateIconIndirect(&info);
    ::DeleteObject(colour);
    ::DeleteObject(mask);
    return icon;
}

}  // namespace imconf::win
