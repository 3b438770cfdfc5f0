#include "win/MainWindow.h"

#include "win/Dpi.h"
#include "win/WinText.h"
#include "win/WindowParts.h"

#include <windowsx.h>

#include <algorithm>
#include <optional>
#include <string_view>

// The menu bar (a window of ours that draws its items) and the native menus that open from it
// and from the popup menus' controls.

namespace imconf::win {

namespace {

constexpr UINT kFirstMenuCommand = 1000;
constexpr int kMenuItemPadding = 6;

}  // namespace

void MainWindow::AddMenuBar(TMenuBar& bar)
{
    menuBar_ = Create(bar, kMenuBarClass, WS_VISIBLE);
    Watch(bar, [this, &bar] {
        HDC dc = ::GetDC(menuBar_);
        const auto items = MenuBarItems(dc);
        ::ReleaseDC(menuBar_, dc);
        // The bar sizes itself to its items.
        const int width = std::max(S(bar.Width()),
                                   items.empty() ? 0 : static_cast<int>(items.back().first.right));
        ::SetWindowPos(menuBar_, nullptr, S(bar.Left()), S(bar.Top()), width, S(bar.Height()),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(menuBar_, bar.Visible() ? SW_SHOWNA : SW_HIDE);
        // The focus the control is given: the keys then move along the bar and open its menus.
        if (bar.Focused() && !menuFocused_ && ::GetFocus() != menuBar_ &&
            ::IsWindowVisible(hwnd_)) {
            programFocus_ = true;
            ::SetFocus(menuBar_);
            programFocus_ = false;
        }
        menuFocused_ = bar.Focused();
        ::InvalidateRect(menuBar_, nullptr, TRUE);
    });
}

bool MainWindow::MenuBarKey(WPARAM key)
{
    HDC dc = ::GetDC(menuBar_);
    const auto items = MenuBarItems(dc);
    ::ReleaseDC(menuBar_, dc);
    if (items.empty())
        return false;
    auto at = std::find_if(items.begin(), items.end(), [this](const auto& i) {
        return static_cast<int>(i.second) == hotMenu_;
    });
    switch (key) {
    case VK_LEFT:
    case VK_RIGHT: {
        std::ptrdiff_t index = at == items.end() ? 0 : at - items.begin();
        if (at != items.end())
            index += key == VK_RIGHT ? 1 : -1;
        const auto count = static_cast<std::ptrdiff_t>(items.size());
        hotMenu_ = static_cast<int>(
            items[static_cast<std::size_t>((index % count + count) % count)].second);
        ::InvalidateRect(menuBar_, nullptr, TRUE);
        return true;
    }
    case VK_RETURN:
    case VK_DOWN:
    case VK_SPACE: {
        const auto& item = at == items.end() ? items.front() : *at;
        hotMenu_ = static_cast<int>(item.second);
        OpenMenuBarItem(item.first, item.second);
        return true;
    }
    case VK_ESCAPE:
        hotMenu_ = -1;
        ::InvalidateRect(menuBar_, nullptr, TRUE);
        return true;
    default: return false;
    }
}

std::vector<std::pair<RECT, std::size_t>> MainWindow::MenuBarItems(HDC dc)
{
    std::vector<std::pair<RECT, std::size_t>> items;
    HGDIOBJ old = ::SelectObject(dc, FontOf(form_.TeMenuBar1));
    int x = 0;
    const TMenuItem& root = form_.TeMenuBar1.Items;
    for (std::size_t i = 0; i < root.Count(); ++i) {
        const TMenuItem& item = root.Item(i);
        if (!item.Visible())
            continue;
        const std::wstring caption = Widen(item.Caption());
        RECT measure{0, 0, 0, 0};
        ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &measure,
                    DT_CALCRECT | DT_SINGLELINE);
        const int width = measure.right + 2 * S(kMenuItemPadding);
        items.push_back({RECT{x, 0, x + width, S(form_.TeMenuBar1.Height())}, i});
        x += width;
    }
    ::SelectObject(dc, old);
    return items;
}

void MainWindow::PaintMenuBar(HDC dc)
{
    RECT all;
    ::GetClientRect(menuBar_, &all);
    ::FillRect(dc, &all, face_);
    const auto items = MenuBarItems(dc);
    HGDIOBJ old = ::SelectObject(dc, FontOf(form_.TeMenuBar1));
    ::SetBkMode(dc, TRANSPARENT);
    for (const auto& [rect, index] : items) {
        const TMenuItem& item = form_.TeMenuBar1.Items.Item(index);
        RECT r = rect;
        if (static_cast<int>(index) == pressedMenu_ ||
            (static_cast<int>(index) == hotMenu_ && ::GetFocus() == menuBar_)) {
            HBRUSH pressed =
                ::CreateSolidBrush(static_cast<int>(index) == pressedMenu_ ? RGB(0x99, 0xD1, 0xFF)
                                                                           : RGB(0xCC, 0xE8, 0xFF));
            ::FillRect(dc, &r, pressed);
            ::DeleteObject(pressed);
        }
        ::SetTextColor(dc, ::GetSysColor(item.Enabled() ? COLOR_MENUTEXT : COLOR_GRAYTEXT));
        const std::wstring caption = Widen(item.Caption());
        ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &r,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    ::SelectObject(dc, old);
}

void MainWindow::AddMenuItems(HMENU menu, TMenuItem& parent)
{
    for (std::size_t i = 0; i < parent.Count(); ++i) {
        TMenuItem& item = parent.Item(i);
        if (!item.Visible())
            continue;
        if (item.IsSeparator()) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING;
        if (!item.Enabled())
            flags |= MF_GRAYED;
        if (item.Checked())
            flags |= MF_CHECKED;
        const std::wstring caption = Widen(item.Caption());
        if (item.Count() > 0) {
            HMENU sub = ::CreatePopupMenu();
            AddMenuItems(sub, item);
            ::AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), caption.c_str());
            continue;
        }
        commandItems_.push_back(&item);
        const UINT command = kFirstMenuCommand + static_cast<UINT>(commandItems_.size() - 1);
        ::AppendMenuW(menu, flags, command, caption.c_str());
        if (item.RadioItem()) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE;
            info.fType = MFT_RADIOCHECK;
            ::SetMenuItemInfoW(menu, command, FALSE, &info);
        }
    }
}

HMENU MainWindow::BuildPopup(TMenuItem& parent)
{
    commandItems_.clear();
    HMENU menu = ::CreatePopupMenu();
    AddMenuItems(menu, parent);
    return menu;
}

TMenuItem* MainWindow::ItemOfCommand(UINT command) const
{
    if (command < kFirstMenuCommand || command - kFirstMenuCommand >= commandItems_.size())
        return nullptr;
    return commandItems_[command - kFirstMenuCommand];
}

UINT MainWindow::TrackMenu(HMENU menu, POINT at)
{
    if (chooser_)
        return chooser_(menu);
    ::SetForegroundWindow(hwnd_);
    return static_cast<UINT>(
        ::TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON,
                           at.x, at.y, hwnd_, nullptr));
}

void MainWindow::PressMenuBar(TMouseButton button, POINT at)
{
    TMenuBar& bar = form_.TeMenuBar1;
    // The press reaches the bar before any menu opens (the port list is read again there).
    Dispatch([&bar, button, at, this] {
        bar.MouseDown(button, Unscale(at.x, dpi_), Unscale(at.y, dpi_));
    });
    if (button != TMouseButton::mbLeft)
        return;
    HDC dc = ::GetDC(menuBar_);
    const auto items = MenuBarItems(dc);
    ::ReleaseDC(menuBar_, dc);
    const auto shown = std::find_if(items.begin(), items.end(), [at](const auto& i) {
        return at.x >= i.first.left && at.x < i.first.right;
    });
    if (shown != items.end())
        OpenMenuBarItem(shown->first, shown->second);
}

// The main window of ours whose menu's modal loop a message comes through: the top window of
// the one the message is for (the bar, the menu's owner, or the menu owned by it), else the
// active one (the owner, made foreground before the menu opened).
MainWindow* MainWindow::TrackingWindow(const MSG& msg)
{
    for (HWND candidate : {::GetAncestor(msg.hwnd, GA_ROOTOWNER), ::GetActiveWindow()}) {
        wchar_t name[32] = {};
        if (candidate != nullptr && ::GetClassNameW(candidate, name, 32) > 0 &&
            std::wstring_view(name) == kMainClass)
            return reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(candidate, GWLP_USERDATA));
    }
    return nullptr;
}

LRESULT CALLBACK MainWindow::BarMenuFilter(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_MENU && msg->message == WM_MOUSEMOVE) {
        if (MainWindow* window = TrackingWindow(*msg))
            window->BarMenuMouseMove(msg->pt);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// While a bar menu is open, the mouse on another item of the bar closes it for that item's.
void MainWindow::BarMenuMouseMove(POINT at)
{
    if (!barMenu_.open)
        return;
    ::ScreenToClient(menuBar_, &at);
    for (const auto& [rect, index] : barMenu_.items) {
        if (::PtInRect(&rect, at) && static_cast<int>(index) != barMenu_.item) {
            barMenu_.next = static_cast<int>(index);
            ::EndMenu();
            break;
        }
    }
}

void MainWindow::OpenMenuBarItem(const RECT& rect, std::size_t index)
{
    RECT shown = rect;
    for (;;) {
        TMenuItem& top = form_.TeMenuBar1.Items.Item(index);
        if (!top.Enabled())
            return;
        POINT under{shown.left, shown.bottom};
        ::ClientToScreen(menuBar_, &under);
        pressedMenu_ = static_cast<int>(index);
        ::InvalidateRect(menuBar_, nullptr, TRUE);
        HMENU menu = BuildPopup(top);
        HDC dc = ::GetDC(menuBar_);
        barMenu_.items = MenuBarItems(dc);
        ::ReleaseDC(menuBar_, dc);
        barMenu_.open = true;
        barMenu_.item = static_cast<int>(index);
        barMenu_.next = -1;
        HHOOK hook = chooser_ ? nullptr
                              : ::SetWindowsHookExW(WH_MSGFILTER, &MainWindow::BarMenuFilter,
                                                    nullptr, ::GetCurrentThreadId());
        const UINT command = TrackMenu(menu, under);
        if (hook != nullptr)
            ::UnhookWindowsHookEx(hook);
        barMenu_.open = false;
        ::DestroyMenu(menu);
        pressedMenu_ = -1;
        ::InvalidateRect(menuBar_, nullptr, TRUE);
        if (TMenuItem* item = ItemOfCommand(command)) {
            Dispatch([item] { item->Click(); });
            return;
        }
        const auto next =
            std::find_if(barMenu_.items.begin(), barMenu_.items.end(), [this](const auto& i) {
                return static_cast<int>(i.second) == barMenu_.next;
            });
        if (command != 0 || next == barMenu_.items.end())
            return;
        shown = next->first;
        index = next->second;
    }
}

std::optional<RECT> MainWindow::MenuBarItemRect(std::size_t index)
{
    HDC dc = ::GetDC(menuBar_);
    const auto items = MenuBarItems(dc);
    ::ReleaseDC(menuBar_, dc);
    for (const auto& [rect, i] : items) {
        if (i == index)
            return rect;
    }
    return std::nullopt;
}

void MainWindow::PressMenuBarItem(std::size_t index)
{
    if (const std::optional<RECT> rect = MenuBarItemRect(index))
        PressMenuBar(TMouseButton::mbLeft,
                     POINT{(rect->left + rect->right) / 2, (rect->top + rect->bottom) / 2});
}

void MainWindow::AddPopupMenu(TPopupMenu& popup)
{
    // The menu opens where its control says, and the forwarded press waits in it.
    popup.SubscribeShow([this](TPopupMenu& shown) {
        if (shown.PopupComponent() == nullptr)
            return;
        HWND over = HandleOf(*shown.PopupComponent());
        POINT at{S(shown.PopupX()), S(shown.PopupY())};
        ::ClientToScreen(over != nullptr ? over : client_, &at);
        HMENU menu = BuildPopup(shown.Items);
        const UINT command = TrackMenu(menu, at);
        ::DestroyMenu(menu);
        if (TMenuItem* item = ItemOfCommand(command))
            Dispatch([item] { item->Click(); });
    });
}

LRESULT MainWindow::MenuBarMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(menuBar_, &ps);
        PaintMenuBar(dc);
        ::EndPaint(menuBar_, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        PressMenuBar(ButtonOf(message), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (MenuBarKey(wParam))
            return 0;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (message == WM_KILLFOCUS)
            hotMenu_ = -1;
        ::InvalidateRect(menuBar_, nullptr, TRUE);
        return 0;
    default: break;
    }
    return ::DefWindowProcW(menuBar_, message, wParam, lParam);
}
}  // namespace imconf::win
