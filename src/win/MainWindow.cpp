#include "win/MainWindow.h"

#include "win/Dpi.h"
#include "win/WinText.h"
#include "win/WindowParts.h"

#include <commctrl.h>

#include <optional>
#include <stdexcept>

namespace imconf::win {

namespace {

wchar_t Upper(wchar_t c)
{
    // CharUpper takes a single character in the low word of its pointer argument.
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(
        ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

// The modifier keys held now, and the mouse button of a message.
MainWindow* WindowOf(HWND hwnd)
{
    return reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK OwnWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (MainWindow* window = WindowOf(hwnd))
        return window->HandleMessage(hwnd, message, wParam, lParam);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClasses()
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW registered{};
    registered.cbSize = sizeof(registered);
    if (::GetClassInfoExW(instance, kMainClass, &registered))
        return;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                        ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&controls);
    for (const wchar_t* name : {kMainClass, kPanelClass, kGridClass, kMenuBarClass}) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = name == kGridClass ? CS_DBLCLKS : 0;
        wc.lpfnWndProc = OwnWindowProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = name;
        if (name == kMainClass) {
            wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
            wc.hIconSm = wc.hIcon;
        }
        ::RegisterClassExW(&wc);
    }
}

}  // namespace

TShiftState ShiftNow()
{
    TShiftState shift = 0;
    if (::GetKeyState(VK_SHIFT) < 0)
        shift |= ss::Shift;
    if (::GetKeyState(VK_MENU) < 0)
        shift |= ss::Alt;
    if (::GetKeyState(VK_CONTROL) < 0)
        shift |= ss::Ctrl;
    return shift;
}

TMouseButton ButtonOf(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return TMouseButton::mbLeft;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: return TMouseButton::mbRight;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: return TMouseButton::mbMiddle;
    default: return TMouseButton::mbExtra;
    }
}

// ---- window --------------------------------------------------------------------------------

MainWindow::MainWindow(TForm1& form) : form_(form)
{
    RegisterClasses();
    face_ = ::GetSysColorBrush(COLOR_BTNFACE);
    white_ = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    style_ = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    dpi_ = SystemDpi();
    hwnd_ = ::CreateWindowExW(0, kMainClass, Widen(form_.Caption()).c_str(), style_, CW_USEDEFAULT,
                              CW_USEDEFAULT, S(form_.ClientWidth), S(form_.ClientHeight), nullptr,
                              nullptr, ::GetModuleHandleW(nullptr), this);
    if (hwnd_ == nullptr)
        throw std::runtime_error("cannot create the main window");
    dpi_ = DpiOf(hwnd_);
    client_ = CreatePanel(hwnd_, Widen(form_.Name()));
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    form_.BuildControls(*this);
    Watch(form_, [this] {
        ::SetWindowTextW(hwnd_, Widen(form_.Caption()).c_str());
        ApplyWindowSize();
    });
    Centre();
}

MainWindow::~MainWindow()
{
    if (hwnd_ != nullptr) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    for (auto& [key, font] : fonts_)
        ::DeleteObject(font);
    for (HICON icon : icons_)
        ::DestroyIcon(icon);
}

void MainWindow::Show(int showCommand)
{
    ::ShowWindow(hwnd_, showCommand);
    ::UpdateWindow(hwnd_);
}

void MainWindow::Dispatch(const std::function<void()>& event)
{
    form_.HandleEvent(event);
}

void MainWindow::Watch(TNotifier& notifier, Refresh refresh)
{
    // The subscription lives as long as the control; the window is gone only with the tool.
    notifier.Subscribe(refresh);
    refreshers_.push_back(refresh);
    refresh();
}

void MainWindow::RefreshAll()
{
    for (const Refresh& refresh : refreshers_)
        refresh();
}

HWND MainWindow::HandleOf(const TControl& control) const
{
    const auto it = hwnds_.find(&control);
    return it == hwnds_.end() ? nullptr : it->second;
}

HWND MainWindow::ContainerOf(const TControl& control) const
{
    const TControl* parent = control.Parent();
    if (parent == nullptr || parent == &form_)
        return client_;
    const auto it = containers_.find(parent);
    return it == containers_.end() ? client_ : it->second;
}

HWND MainWindow::CreatePanel(HWND parent, const std::wstring& name)
{
    return OnTop(::CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, name.c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent,
                                   nullptr, ::GetModuleHandleW(nullptr), this));
}

HWND MainWindow::Create(TControl& control, const wchar_t* cls, DWORD style, DWORD exStyle,
                        const std::wstring& text)
{
    HWND hwnd =
        ::CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 0,
                          0, ContainerOf(control), nullptr, ::GetModuleHandleW(nullptr), this);
    if (hwnd == nullptr)
        throw std::runtime_error("cannot create the window of " + control.Name());
    OnTop(hwnd);
    hwnds_[&control] = hwnd;
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), FALSE);
    return hwnd;
}

void MainWindow::Place(const TControl& control, HWND hwnd, int extraHeight)
{
    ::SetWindowPos(hwnd, nullptr, S(control.Left()), S(control.Top()), S(control.Width()),
                   S(control.Height()) + extraHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
    ::EnableWindow(hwnd, control.Enabled());
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), FALSE);
}

TFocusCause MainWindow::FocusCause() const
{
    if (programFocus_)
        return TFocusCause::Program;
    if (::GetKeyState(VK_LBUTTON) < 0 || ::GetKeyState(VK_RBUTTON) < 0)
        return TFocusCause::Mouse;
    if (::GetKeyState(VK_TAB) < 0 || ::GetKeyState(VK_MENU) < 0)
        return TFocusCause::Keyboard;
    return TFocusCause::Return;
}

void MainWindow::SetTip(HWND hwnd, const std::string& hint)
{
    std::wstring text = Widen(hint);
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = ::GetParent(hwnd);
    info.uId = reinterpret_cast<UINT_PTR>(hwnd);
    info.lpszText = text.data();
    ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    if (!text.empty())
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void MainWindow::Hook(HWND hwnd, std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> hook)
{
    hooks_[hwnd] = std::move(hook);
    ::SetWindowSubclass(hwnd, &MainWindow::SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK MainWindow::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR /*id*/, DWORD_PTR data)
{
    auto* self = reinterpret_cast<MainWindow*>(data);
    const auto it = self->hooks_.find(hwnd);
    LRESULT result = 0;
    if (it != self->hooks_.end() && it->second(message, wParam, lParam, result))
        return result;
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

void MainWindow::LayOnTop(TControl& control)
{
    OnTop(HandleOf(control));
    if (const auto buttons = spinButtons_.find(&control); buttons != spinButtons_.end())
        OnTop(buttons->second);
}

// ---- messages ------------------------------------------------------------------------------

LRESULT MainWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    for (auto& view : grids_) {
        if (view->hwnd == hwnd)
            return GridMessage(*view, message, wParam, lParam);
    }
    if (hwnd == menuBar_ && menuBar_ != nullptr)
        return MenuBarMessage(message, wParam, lParam);
    if (const std::optional<LRESULT> result = ControlMessage(hwnd, message, wParam, lParam))
        return *result;
    if (hwnd != hwnd_)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    return WindowMessage(message, wParam, lParam);
}

std::optional<LRESULT> MainWindow::ControlMessage(HWND hwnd, UINT message, WPARAM wParam,
                                                  LPARAM lParam)
{
    if (message == WM_PAINT) {
        const auto box = groupBoxes_.find(hwnd);
        if (box != groupBoxes_.end()) {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            PaintGroupBox(*box->second, hwnd, dc);
            ::EndPaint(hwnd, &ps);
            return 0;
        }
    }
    switch (message) {
    case WM_COMMAND: {
        const auto it = commands_.find(reinterpret_cast<HWND>(lParam));
        if (lParam != 0 && it != commands_.end()) {
            auto handler = it->second;
            handler(HIWORD(wParam));
            return 0;
        }
        break;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        const auto it = notifies_.find(header->hwndFrom);
        if (it != notifies_.end()) {
            auto handler = it->second;
            return handler(header);
        }
        break;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        const auto it = draws_.find(item->hwndItem);
        if (it != draws_.end()) {
            it->second(item);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        const auto it = textColours_.find(reinterpret_cast<HWND>(lParam));
        if (it != textColours_.end()) {
            ::SetTextColor(dc, it->second);
            ::SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(white_);
        }
        if (message == WM_CTLCOLORSTATIC) {
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(face_);
        }
        break;
    }
    default: break;
    }
    return std::nullopt;
}

LRESULT MainWindow::WindowMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND hwnd = hwnd_;
    switch (message) {
    case WM_ACTIVATE:
        // The window's own activation first (it puts the focus on the window), then the form's
        // steps, which may give the focus to a control.
        if (LOWORD(wParam) != WA_INACTIVE && !activated_) {
            ::DefWindowProcW(hwnd, message, wParam, lParam);
            // Only the first activation runs the activation steps by itself; the form runs them
            // again where it hands the activation back (after its question box).
            activated_ = true;
            ++formActivations_;
            Dispatch([this] { form_.FormActivate(); });
            return 0;
        }
        // The control that had the focus gets it back when the window is active again.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            lastFocus_ = focus != nullptr && ::IsChild(hwnd_, focus) ? focus : nullptr;
        } else if (lastFocus_ != nullptr && ::IsWindow(lastFocus_)) {
            ::DefWindowProcW(hwnd, message, wParam, lParam);
            ::SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_VSCROLL: ScrollClient(LOWORD(wParam)); return 0;
    case WM_DPICHANGED: ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_SYSCOMMAND:
        // Alt or F10 alone opens the first menu; Alt with a letter clicks the shown button it
        // marks, or opens the menu it marks.
        if ((wParam & 0xFFF0) == SC_KEYMENU) {
            const wchar_t key = Upper(static_cast<wchar_t>(lParam));
            const auto marks = [key](const std::string& text) {
                const std::wstring caption = Widen(text);
                const auto mark = caption.find(L'&');
                return key != 0 && mark != std::wstring::npos && mark + 1 < caption.size() &&
                       Upper(caption[mark + 1]) == key;
            };
            for (TButton* button : buttons_) {
                HWND handle = HandleOf(*button);
                if (marks(button->Caption()) && ::IsWindowVisible(handle) &&
                    ::IsWindowEnabled(handle)) {
                    ::SendMessageW(handle, BM_CLICK, 0, 0);
                    return 0;
                }
            }
            const TMenuItem& root = form_.TeMenuBar1.Items;
            for (std::size_t i = 0; i < root.Count(); ++i) {
                if ((key == 0 && i == 0) || marks(root.Item(i).Caption())) {
                    PressMenuBarItem(i);
                    return 0;
                }
            }
            return 0;
        }
        break;
    case WM_CLOSE: ::DestroyWindow(hwnd_); return 0;
    case WM_DESTROY:
        if (quitOnClose_)
            ::PostQuitMessage(0);
        hwnd_ = nullptr;
        return 0;
    default: break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace imconf::win
