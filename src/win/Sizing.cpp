#include "win/MainWindow.h"

#include "win/Dpi.h"
#include "win/WinText.h"

#include <algorithm>

// Sizes on the monitor: the layout's 96 dots per inch scaled to the window's, the fonts at
// that scale, the window's size and scrolling, and a change of monitor.

namespace imconf::win {

namespace {

// The families the layout names, as Windows has them with Cyrillic glyphs.
std::wstring FaceOf(const std::string& name)
{
    if (name == "Courier" || name == "Courier New")
        return L"Courier New";
    if (name == "MS Sans Serif")
        return L"Microsoft Sans Serif";
    return Widen(name);
}

}  // namespace

int MainWindow::S(int value) const
{
    return Scale(value, dpi_);
}

std::pair<std::string, int> MainWindow::FontNameAndHeight(const TControl& control) const
{
    std::string name;
    int height = 0;
    for (const TControl* c = &control; c != nullptr && (name.empty() || height == 0);
         c = c->Parent()) {
        if (name.empty())
            name = c->Font.Name;
        if (height == 0)
            height = c->Font.Height;
    }
    if (name.empty())
        name = form_.Font.Name.empty() ? "Courier" : form_.Font.Name;
    if (height == 0)
        height = form_.Font.Height > 0 ? form_.Font.Height : 11;
    return {name, height};
}

HFONT MainWindow::Font(const std::string& name, int height)
{
    const auto key = std::make_tuple(name, height, dpi_);
    const auto it = fonts_.find(key);
    if (it != fonts_.end())
        return it->second;
    LOGFONTW lf{};
    lf.lfHeight = -S(height);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = RUSSIAN_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    const std::wstring face = FaceOf(name);
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    HFONT font = ::CreateFontIndirectW(&lf);
    fonts_[key] = font;
    return font;
}

HFONT MainWindow::FontOf(const TControl& control)
{
    const auto [name, height] = FontNameAndHeight(control);
    return Font(name, height);
}

HFONT MainWindow::FittedFont(const TControl& control, const std::string& text, int width,
                             int smallest)
{
    // A text wider than its room is shown a little smaller, not cut (accelerator marks aside).
    std::wstring shown;
    const std::wstring wide = Widen(text);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'&' && i + 1 < wide.size())
            ++i;
        shown += wide[i];
    }
    const auto [name, height] = FontNameAndHeight(control);
    HDC dc = ::GetDC(hwnd_);
    HFONT font = Font(name, height);
    for (int size = height; size >= std::min(smallest, height); --size) {
        font = Font(name, size);
        HGDIOBJ old = ::SelectObject(dc, font);
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
        ::SelectObject(dc, old);
        if (extent.cx <= S(width))
            break;
    }
    ::ReleaseDC(hwnd_, dc);
    return font;
}

void MainWindow::ApplyWindowSize()
{
    DWORD style = style_;
    if (form_.VertScrollBarVisible)
        style |= WS_VSCROLL;
    // The form's client size counts the scroll bar in, as the window's frame does not.
    RECT rect{0, 0, S(form_.ClientWidth), S(form_.ClientHeight)};
    AdjustRectForDpi(rect, style, dpi_);
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE,
                        static_cast<LONG_PTR>(style | (::IsWindowVisible(hwnd_) ? WS_VISIBLE : 0)));
    ::SetWindowPos(hwnd_, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    if (form_.VertScrollBarVisible) {
        RECT client;
        ::GetClientRect(hwnd_, &client);
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        info.nMin = 0;
        info.nMax = S(kClientHeight) - 1;
        info.nPage = static_cast<UINT>(client.bottom);
        scrollPos_ = std::clamp(scrollPos_, 0,
                                std::max(0, S(kClientHeight) - static_cast<int>(client.bottom)));
        info.nPos = scrollPos_;
        ::SetScrollInfo(hwnd_, SB_VERT, &info, TRUE);
    } else {
        scrollPos_ = 0;
    }
    ::SetWindowPos(client_, nullptr, 0, -scrollPos_, S(kClientWidth), S(kClientHeight),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::ScrollClient(int request)
{
    RECT client;
    ::GetClientRect(hwnd_, &client);
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    ::GetScrollInfo(hwnd_, SB_VERT, &info);
    int pos = scrollPos_;
    switch (request) {
    case SB_LINEUP: pos -= S(20); break;
    case SB_LINEDOWN: pos += S(20); break;
    case SB_PAGEUP: pos -= client.bottom; break;
    case SB_PAGEDOWN: pos += client.bottom; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = info.nTrackPos; break;
    default: return;
    }
    scrollPos_ =
        std::clamp(pos, 0, std::max(0, S(kClientHeight) - static_cast<int>(client.bottom)));
    ::SetScrollPos(hwnd_, SB_VERT, scrollPos_, TRUE);
    ::SetWindowPos(client_, nullptr, 0, -scrollPos_, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Centre()
{
    RECT window;
    ::GetWindowRect(hwnd_, &window);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& area = info.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    ::SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + std::max(0L, (area.bottom - area.top - height) / 2), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::ChangeDpi(int dpi, const RECT* suggested)
{
    dpi_ = dpi;
    RefreshAll();
    if (suggested != nullptr)
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

}  // namespace imconf::win
