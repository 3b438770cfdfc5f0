#include "win/MainWindow.h"

#include "win/Dpi.h"
#include "win/Icons.h"
#include "win/WinText.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

namespace imconf::win {

namespace {

constexpr const wchar_t* kMainClass = L"ImconfMain";
constexpr const wchar_t* kPanelClass = L"ImconfPanel";
constexpr const wchar_t* kGridClass = L"ImconfGrid";
constexpr const wchar_t* kMenuBarClass = L"ImconfMenuBar";
constexpr UINT kFirstMenuCommand = 1000;
constexpr int kIconExtent = 16;
constexpr int kMenuItemPadding = 6;
// What a push button keeps for its frame and padding beside the caption.
constexpr int kButtonPadding = 10;
// What a status panel keeps for its frame beside its text.
constexpr int kPanelPadding = 8;
constexpr COLORREF kGridLine = RGB(192, 192, 192);

COLORREF ToColorRef(TColor color)
{
    return RGB(color.r, color.g, color.b);
}

// The families the layout names, as Windows has them with Cyrillic glyphs.
std::wstring FaceOf(const std::string& name)
{
    if (name == "Courier" || name == "Courier New")
        return L"Courier New";
    if (name == "MS Sans Serif")
        return L"Microsoft Sans Serif";
    return Widen(name);
}

wchar_t Upper(wchar_t c)
{
    // CharUpper takes a single character in the low word of its pointer argument.
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(
        ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

// The modifier keys held now, and the mouse button of a message.
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

std::wstring ClipboardText(HWND owner)
{
    std::wstring text;
    if (!::OpenClipboard(owner))
        return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = chars;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

void SetClipboardText(HWND owner, const std::wstring& text)
{
    if (!::OpenClipboard(owner))
        return;
    ::EmptyClipboard();
    if (HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        if (auto* chars = static_cast<wchar_t*>(::GlobalLock(data))) {
            text.copy(chars, text.size());
            chars[text.size()] = L'\0';
            ::GlobalUnlock(data);
            if (::SetClipboardData(CF_UNICODETEXT, data) == nullptr)
                ::GlobalFree(data);
        } else {
            ::GlobalFree(data);
        }
    }
    ::CloseClipboard();
}

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
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                        ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&controls);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
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

struct MainWindow::GridView {
    TStringGrid& grid;
    HWND hwnd = nullptr;
    HWND scrollBar = nullptr;
};

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
    BuildControls();
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

int MainWindow::S(int value) const
{
    return Scale(value, dpi_);
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

namespace {

// Windows puts a new child under its elder siblings; the layout has later controls on top.
HWND OnTop(HWND hwnd)
{
    ::SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return hwnd;
}

}  // namespace

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

// ---- controls ------------------------------------------------------------------------------

void MainWindow::BuildControls()
{
    TForm1& f = form_;
    AddMenuBar(f.TeMenuBar1);
    AddGroupBox(f.TeGroupBox1);
    AddPageControl(f.TePageControl1);
    AddGrid(f.NodesGrid);
    AddGrid(f.ZoneGrid);
    AddSpinEdit(f.AddrEdit);
    AddGrid(f.LINK_Grid);
    AddSpinEdit(f.ZoneEdit);
    AddGroupBox(f.TeGroupBox2);
    AddLabel(f.TeLabel4);
    AddLabel(f.TeLabel5);
    AddComboBox(f.TeSComboBox1);
    AddSpinEdit(f.TeSpinEdit1);
    AddButton(f.TeButton1);
    AddSpinEdit(f.TeSpinEdit2);
    AddButton(f.TeButton5);
    AddButton(f.TeButton2);
    AddMemo(f.TeMemo1);
    AddMemo(f.TeMemo2);
    AddProgressBar(f.TeProgressBar1);
    AddButton(f.TeButton3);
    AddCheckBox(f.TeCheckBox1);
    AddButton(f.Sound_Butt);
    AddStatusBar(f.StatusBar1);
    AddPopupMenu(f.TePopupMenu1);
    AddPopupMenu(f.TePopupMenu2);
    // The panes' progress bar lies over their lower edge, the block box over its button, the
    // in-place editors over their grid's cells.
    for (const TControl* top :
         {static_cast<const TControl*>(&f.TeProgressBar1),
          static_cast<const TControl*>(&f.TeCheckBox1), static_cast<const TControl*>(&f.AddrEdit),
          static_cast<const TControl*>(&f.ZoneEdit)}) {
        OnTop(HandleOf(*top));
        if (const auto buttons = spinButtons_.find(top); buttons != spinButtons_.end())
            OnTop(buttons->second);
    }
}

void MainWindow::AddGroupBox(TGroupBox& box)
{
    // A panel that draws the frame and caption itself under the controls that lie on it.
    HWND panel = CreatePanel(ContainerOf(box), Widen(box.Name()));
    hwnds_[&box] = panel;
    containers_[&box] = panel;
    groupBoxes_[panel] = &box;
    Watch(box, [this, &box, panel] {
        Place(box, panel);
        SetTip(panel, box.Hint());
        ::InvalidateRect(panel, nullptr, TRUE);
    });
}

void MainWindow::PaintGroupBox(const TGroupBox& box, HWND panel, HDC dc)
{
    RECT rect;
    ::GetClientRect(panel, &rect);
    HGDIOBJ old = ::SelectObject(dc, FontOf(box));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    RECT frame = rect;
    frame.top += metrics.tmHeight / 2;
    ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    const std::wstring caption = Widen(box.Caption());
    if (!caption.empty()) {
        RECT text{S(8), 0, rect.right - S(8), metrics.tmHeight};
        ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                    DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        ::FillRect(dc, &text, face_);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(box.Enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                    DT_SINGLELINE | DT_NOPREFIX);
    }
    ::SelectObject(dc, old);
}

void MainWindow::AddPageControl(TPageControl& pages)
{
    HWND tabs = Create(pages, WC_TABCONTROLW, WS_VISIBLE | WS_TABSTOP);
    std::vector<HWND> panels;
    for (std::size_t i = 0; i < pages.PageCount(); ++i) {
        TTabSheet& sheet = pages.Page(i);
        HWND panel = CreatePanel(ContainerOf(pages), Widen(sheet.Name()));
        hwnds_[&sheet] = panel;
        containers_[&sheet] = panel;
        panels.push_back(panel);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        std::wstring caption = Widen(sheet.Caption());
        item.pszText = caption.data();
        ::SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        Watch(sheet, [tabs, i, &sheet] {
            std::wstring text = Widen(sheet.Caption());
            TCITEMW update{};
            update.mask = TCIF_TEXT;
            update.pszText = text.data();
            ::SendMessageW(tabs, TCM_SETITEMW, i, reinterpret_cast<LPARAM>(&update));
        });
    }
    // A click on a tab goes to the control, which decides the page shown.
    notifies_[tabs] = [this, &pages, tabs](NMHDR* header) -> LRESULT {
        if (header->code == TCN_SELCHANGE) {
            const auto index = ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0);
            if (index >= 0)
                Dispatch([&pages, index] { pages.ClickTab(static_cast<std::size_t>(index)); });
            ::SendMessageW(tabs, TCM_SETCURSEL, pages.ActivePageIndex(), 0);
        }
        return 0;
    };
    Watch(pages, [this, &pages, tabs, panels] {
        Place(pages, tabs);
        ::SendMessageW(tabs, TCM_SETCURSEL, pages.ActivePageIndex(), 0);
        RECT display{S(pages.Left()), S(pages.Top()), S(pages.Left() + pages.Width()),
                     S(pages.Top() + pages.Height())};
        ::SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
        for (std::size_t i = 0; i < panels.size(); ++i) {
            ::SetWindowPos(panels[i], nullptr, display.left, display.top,
                           display.right - display.left, display.bottom - display.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            ::ShowWindow(panels[i],
                         i == pages.ActivePageIndex() && pages.Visible() ? SW_SHOWNA : SW_HIDE);
        }
    });
}

void MainWindow::AddLabel(TLabel& label)
{
    HWND hwnd = Create(label, WC_STATICW, SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX);
    Watch(label, [this, &label, hwnd] {
        Place(label, hwnd);
        ::SendMessageW(hwnd, WM_SETFONT,
                       reinterpret_cast<WPARAM>(FittedFont(label, label.Caption(), label.Width())),
                       FALSE);
        ::SetWindowTextW(hwnd, Widen(label.Caption()).c_str());
        SetTip(hwnd, label.Hint());
    });
}

void MainWindow::AddButton(TButton& button)
{
    HWND hwnd = Create(button, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP);
    buttons_.push_back(&button);
    commands_[hwnd] = [this, &button](WORD code) {
        if (code == BN_CLICKED)
            Dispatch([&button] { button.Click(); });
    };
    std::string shownIcon;
    int iconDpi = 0;
    Watch(button, [this, &button, hwnd, shownIcon, iconDpi]() mutable {
        Place(button, hwnd);
        if (button.Icon != shownIcon || iconDpi != dpi_) {
            HICON icon = MakeButtonIcon(button.Icon, S(kIconExtent));
            if (icon != nullptr)
                icons_.push_back(icon);
            ::SendMessageW(hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
            shownIcon = button.Icon;
            iconDpi = dpi_;
        }
        const int room =
            button.Width() - kButtonPadding - (button.Icon.empty() ? 0 : kIconExtent + 4);
        ::SendMessageW(hwnd, WM_SETFONT,
                       reinterpret_cast<WPARAM>(FittedFont(button, button.Caption(), room)), FALSE);
        ::SetWindowTextW(hwnd, Widen(button.Caption()).c_str());
        SetTip(hwnd, button.Hint());
    });
}

void MainWindow::AddCheckBox(TCheckBox& box)
{
    // The box shows the control's state: a plain check box that the user's click does not turn.
    HWND hwnd = Create(box, WC_BUTTONW, BS_CHECKBOX);
    Watch(box, [this, &box, hwnd] {
        Place(box, hwnd);
        ::SetWindowTextW(hwnd, Widen(box.Caption()).c_str());
        ::SendMessageW(hwnd, BM_SETCHECK, box.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
        SetTip(hwnd, box.Hint());
    });
}

bool MainWindow::SpinInput(TSpinEdit& spin, HWND edit, UINT message, WPARAM wParam)
{
    const TShiftState shift = ShiftNow();
    switch (message) {
    case WM_KEYDOWN: {
        // The clipboard is the system's: pasted text goes to the control as typed text, and a
        // cut deletes the control's selection.
        const bool ctrl = (shift & ss::Ctrl) != 0 && (shift & ss::Alt) == 0;
        if (ctrl && wParam == 'V')
            return SpinInput(spin, edit, WM_PASTE, 0);
        if (ctrl && (wParam == 'C' || wParam == 'X'))
            return SpinInput(spin, edit, wParam == 'C' ? WM_COPY : WM_CUT, 0);
        if (ctrl && wParam == 'A') {
            Dispatch([&spin] { spin.SelectAll(); });
            return true;
        }
        bool used = false;
        Dispatch([&] { used = spin.KeyDown(static_cast<std::uint16_t>(wParam), shift); });
        return used;
    }
    case WM_CHAR: {
        // A key held with Ctrl or Alt types nothing; the rest goes to the control, which takes
        // digits, backspace and Enter.
        const auto code = static_cast<wchar_t>(wParam);
        if ((shift & (ss::Ctrl | ss::Alt)) != 0 || code == 0x7F)
            return true;
        if (code < 0x80)
            Dispatch([&spin, code] { spin.KeyPress(static_cast<char>(code)); });
        else
            Dispatch([&spin, text = Narrow(std::wstring(1, code))] { spin.TypeText(text); });
        return true;
    }
    case WM_PASTE: {
        const std::string text = Narrow(ClipboardText(edit));
        if (!text.empty())
            Dispatch([&spin, text] { spin.TypeText(text); });
        return true;
    }
    case WM_COPY:
    case WM_CUT:
        if (spin.SelLength() > 0)
            SetClipboardText(edit, Widen(spin.SelText()));
        if (message == WM_CUT)
            Dispatch([&spin] { spin.ClearSelection(); });
        return true;
    case WM_CLEAR: Dispatch([&spin] { spin.ClearSelection(); }); return true;
    case WM_UNDO: return true;
    default: return false;
    }
}

void MainWindow::ForwardSpinSelection(TSpinEdit& spin, HWND edit)
{
    if (refreshing_)
        return;
    DWORD start = 0, end = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    // The edit control tells the selection, not its direction: the anchor stays where it was.
    int anchor = static_cast<int>(start);
    int caret = static_cast<int>(end);
    if (spin.Anchor() == caret && start != end)
        std::swap(anchor, caret);
    if (anchor != spin.Anchor() || caret != spin.CaretPos())
        Dispatch([&spin, anchor, caret] { spin.SetSelection(anchor, caret); });
}

void MainWindow::AddSpinEdit(TSpinEdit& spin)
{
    HWND edit = Create(spin, WC_EDITW, ES_CENTER | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
    HWND buttons =
        OnTop(::CreateWindowExW(0, UPDOWN_CLASSW, nullptr, WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                                ContainerOf(spin), nullptr, ::GetModuleHandleW(nullptr), nullptr));
    spinButtons_[&spin] = buttons;
    ::SendMessageW(buttons, UDM_SETRANGE32, 0, 100);
    ::SendMessageW(buttons, UDM_SETPOS32, 0, 50);
    // Every key, character, clipboard edit and focus change goes to the control; the mouse's
    // selection is read back from the edit control.
    Hook(edit, [this, &spin, edit](UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        switch (message) {
        case WM_GETDLGCODE:
            result = DLGC_WANTALLKEYS | DLGC_WANTCHARS | DLGC_WANTARROWS;
            return true;
        case WM_SETFOCUS:
            result = ::DefSubclassProc(edit, message, wParam, lParam);
            if (!refreshing_)
                Dispatch([&spin, cause = FocusCause()] { spin.Enter(cause); });
            return true;
        case WM_KILLFOCUS:
            result = ::DefSubclassProc(edit, message, wParam, lParam);
            Dispatch([&spin] { spin.Exit(); });
            return true;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_MOUSEMOVE:
            result = ::DefSubclassProc(edit, message, wParam, lParam);
            if (message != WM_MOUSEMOVE || (wParam & MK_LBUTTON) != 0)
                ForwardSpinSelection(spin, edit);
            return true;
        case WM_CONTEXTMENU: result = 0; return true;
        default: result = 0; return SpinInput(spin, edit, message, wParam);
        }
    });
    // An edit the control did not see (an input method's): the whole text goes to it.
    commands_[edit] = [this, &spin, edit](WORD code) {
        if (code != EN_CHANGE || refreshing_)
            return;
        const int length = ::GetWindowTextLengthW(edit);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        ::GetWindowTextW(edit, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(length));
        Dispatch([&spin, value = Narrow(text)] { spin.SetTextByUser(value); });
    };
    notifies_[buttons] = [this, &spin](NMHDR* header) -> LRESULT {
        if (header->code != UDN_DELTAPOS)
            return 0;
        const auto* change = reinterpret_cast<NMUPDOWN*>(header);
        if (change->iDelta > 0)
            Dispatch([&spin] { spin.SpinUp(); });
        else if (change->iDelta < 0)
            Dispatch([&spin] { spin.SpinDown(); });
        return 1;  // the buttons keep no position of their own
    };
    Watch(spin, [this, &spin, edit, buttons] {
        refreshing_ = true;
        Place(spin, edit);
        const int buttonWidth = S(spin.SpinButtonWidth);
        const int frame = ::GetSystemMetrics(SM_CXEDGE);
        ::SetWindowPos(buttons, nullptr, S(spin.Left() + spin.Width()) - frame - buttonWidth,
                       S(spin.Top()) + frame, buttonWidth, S(spin.Height()) - 2 * frame,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(buttons, spin.Visible() ? SW_SHOWNA : SW_HIDE);
        ::EnableWindow(buttons, spin.Enabled());
        ::SendMessageW(edit, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, buttonWidth));
        const std::wstring text = Widen(spin.Text());
        wchar_t shown[64] = {};
        ::GetWindowTextW(edit, shown, 64);
        if (text != shown)
            ::SetWindowTextW(edit, text.c_str());
        // The control's caret and selection (the caret at the second end).
        ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(spin.Anchor()), spin.CaretPos());
        if (spin.Focused() && spin.Visible() && ::GetFocus() != edit && ::IsWindowVisible(hwnd_)) {
            programFocus_ = true;
            ::SetFocus(edit);
            programFocus_ = false;
        }
        refreshing_ = false;
    });
}

void MainWindow::AddComboBox(TComboBox& combo)
{
    HWND hwnd =
        Create(combo, WC_COMBOBOXW,
               CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP);
    commands_[hwnd] = [this, &combo, hwnd](WORD code) {
        if (code == CBN_SETFOCUS && !refreshing_)
            Dispatch([&combo, cause = FocusCause()] { combo.Enter(cause); });
        if (code != CBN_SELCHANGE || refreshing_)
            return;
        const auto index = static_cast<int>(::SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
        Dispatch([&combo, index] { combo.ChooseByUser(index); });
    };
    // The control asks for its list (it has the focus from the keyboard or the program).
    combo.SubscribeDropDown([hwnd] { ::PostMessageW(hwnd, CB_SHOWDROPDOWN, TRUE, 0); });
    // The text centred, in the list and in the box.
    draws_[hwnd] = [hwnd](DRAWITEMSTRUCT* item) {
        const bool selected = (item->itemState & ODS_SELECTED) != 0;
        ::FillRect(item->hDC, &item->rcItem,
                   ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        if (item->itemID == static_cast<UINT>(-1))
            return;
        const auto length = ::SendMessageW(hwnd, CB_GETLBTEXTLEN, item->itemID, 0);
        std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
        ::SendMessageW(hwnd, CB_GETLBTEXT, item->itemID, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
        ::SetBkMode(item->hDC, TRANSPARENT);
        ::SetTextColor(item->hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT rect = item->rcItem;
        ::DrawTextW(item->hDC, text.c_str(), static_cast<int>(text.size()), &rect,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if ((item->itemState & ODS_FOCUS) != 0)
            ::DrawFocusRect(item->hDC, &item->rcItem);
    };
    std::vector<std::string> shownItems;
    Watch(combo, [this, &combo, hwnd, shownItems]() mutable {
        refreshing_ = true;
        const int listHeight =
            S(20) * static_cast<int>(std::max<std::size_t>(combo.Items.size(), 1));
        Place(combo, hwnd, listHeight);
        if (shownItems != combo.Items) {
            ::SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
            for (const std::string& item : combo.Items)
                ::SendMessageW(hwnd, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(Widen(item).c_str()));
            shownItems = combo.Items;
        }
        // The closed box as high as the layout says: the selection field is that less its frame.
        ::SendMessageW(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), S(combo.Height()) - 6);
        ::SendMessageW(hwnd, CB_SETITEMHEIGHT, 0,
                       S(combo.Font.Height > 0 ? combo.Font.Height : 13) + S(3));
        ::SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
        refreshing_ = false;
    });
}

void MainWindow::AddMemo(TMemo& memo)
{
    HWND hwnd =
        Create(memo, WC_EDITW, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE);
    // An arrow cursor, no caret, no context menu: the pane only shows its lines.
    Hook(hwnd, [](UINT message, WPARAM, LPARAM, LRESULT& result) {
        if (message == WM_SETCURSOR) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            result = TRUE;
            return true;
        }
        if (message == WM_CONTEXTMENU || message == WM_SETFOCUS || message == WM_LBUTTONDOWN ||
            message == WM_LBUTTONDBLCLK) {
            result = 0;
            return true;
        }
        return false;
    });
    Watch(memo, [this, &memo, hwnd] {
        Place(memo, hwnd);
        textColours_[hwnd] = ToColorRef(memo.FontColor());
        const std::wstring text = WidenLines(memo.Lines.Text());
        ::SetWindowTextW(hwnd, text.c_str());
        // The last line in view.
        const auto lines = ::SendMessageW(hwnd, EM_GETLINECOUNT, 0, 0);
        ::SendMessageW(hwnd, EM_LINESCROLL, 0, lines);
        ::InvalidateRect(hwnd, nullptr, TRUE);
    });
}

void MainWindow::AddProgressBar(TProgressBar& bar)
{
    HWND hwnd = Create(bar, PROGRESS_CLASSW, 0);
    Watch(bar, [this, &bar, hwnd] {
        Place(bar, hwnd);
        ::SendMessageW(hwnd, PBM_SETRANGE32, bar.Min(), std::max(bar.Min(), bar.Max()));
        ::SendMessageW(hwnd, PBM_SETPOS,
                       std::clamp(bar.Position(), bar.Min(), std::max(bar.Min(), bar.Max())), 0);
    });
}

void MainWindow::AddStatusBar(TStatusBar& bar)
{
    HWND hwnd = Create(bar, STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER);
    Watch(bar, [this, &bar, hwnd] {
        Place(bar, hwnd);
        std::vector<int> edges;
        int x = 0;
        for (std::size_t i = 0; i < bar.PanelCount(); ++i) {
            x += bar.Panel(i).Width;
            edges.push_back(i + 1 == bar.PanelCount() ? -1 : S(x));
        }
        ::SendMessageW(hwnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
        // One font for all panels: the largest in which every fixed-width panel's text fits.
        HFONT font = FontOf(bar);
        int fitted = FontNameAndHeight(bar).second;
        for (std::size_t i = 0; i + 1 < bar.PanelCount(); ++i) {
            HFONT candidate =
                FittedFont(bar, bar.Panel(i).Text, bar.Panel(i).Width - kPanelPadding);
            LOGFONTW lf{};
            ::GetObjectW(candidate, sizeof(lf), &lf);
            if (Unscale(-lf.lfHeight, dpi_) < fitted) {
                fitted = Unscale(-lf.lfHeight, dpi_);
                font = candidate;
            }
        }
        ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        for (std::size_t i = 0; i < bar.PanelCount(); ++i) {
            const TStatusPanel& panel = bar.Panel(i);
            // A tab before the text centres it, two put it on the right.
            std::wstring text = panel.Alignment == TAlignment::taCenter         ? L"\t"
                                : panel.Alignment == TAlignment::taRightJustify ? L"\t\t"
                                                                                : L"";
            text += Widen(panel.Text);
            ::SendMessageW(hwnd, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(text.c_str()));
        }
    });
}

// ---- menus ---------------------------------------------------------------------------------

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

namespace {

// The window whose menu bar has a menu open, and the bar item the mouse moved onto meanwhile.
MainWindow* trackingBar = nullptr;
HWND trackedBar = nullptr;
int trackedItem = -1;
std::vector<std::pair<RECT, std::size_t>> trackedItems;
int nextBarItem = -1;

// While a bar menu is open, the mouse on another item of the bar closes it for that item's.
LRESULT CALLBACK BarMenuFilter(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_MENU && trackingBar != nullptr && msg->message == WM_MOUSEMOVE) {
        POINT at = msg->pt;
        ::ScreenToClient(trackedBar, &at);
        for (const auto& [rect, index] : trackedItems) {
            if (::PtInRect(&rect, at) && static_cast<int>(index) != trackedItem) {
                nextBarItem = static_cast<int>(index);
                ::EndMenu();
                break;
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

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
        trackedItems = MenuBarItems(dc);
        ::ReleaseDC(menuBar_, dc);
        trackingBar = this;
        trackedBar = menuBar_;
        trackedItem = static_cast<int>(index);
        nextBarItem = -1;
        HHOOK hook = chooser_ ? nullptr
                              : ::SetWindowsHookExW(WH_MSGFILTER, BarMenuFilter, nullptr,
                                                    ::GetCurrentThreadId());
        const UINT command = TrackMenu(menu, under);
        if (hook != nullptr)
            ::UnhookWindowsHookEx(hook);
        trackingBar = nullptr;
        ::DestroyMenu(menu);
        pressedMenu_ = -1;
        ::InvalidateRect(menuBar_, nullptr, TRUE);
        if (TMenuItem* item = ItemOfCommand(command)) {
            Dispatch([item] { item->Click(); });
            return;
        }
        const auto next = std::find_if(trackedItems.begin(), trackedItems.end(), [](const auto& i) {
            return static_cast<int>(i.second) == nextBarItem;
        });
        if (command != 0 || next == trackedItems.end())
            return;
        shown = next->first;
        index = next->second;
    }
}

void MainWindow::PressMenuBarItem(std::size_t index)
{
    HDC dc = ::GetDC(menuBar_);
    const auto items = MenuBarItems(dc);
    ::ReleaseDC(menuBar_, dc);
    for (const auto& [rect, i] : items) {
        if (i == index) {
            PressMenuBar(TMouseButton::mbLeft,
                         POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
            return;
        }
    }
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

// ---- grids ---------------------------------------------------------------------------------

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

// ---- window size, scrolling, DPI -----------------------------------------------------------

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

// ---- messages ------------------------------------------------------------------------------

LRESULT MainWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    for (auto& view : grids_) {
        if (view->hwnd == hwnd)
            return GridMessage(*view, message, wParam, lParam);
    }
    if (hwnd == menuBar_ && menuBar_ != nullptr) {
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            PaintMenuBar(dc);
            ::EndPaint(hwnd, &ps);
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
            ::InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        default: return ::DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }
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
    if (hwnd != hwnd_)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);

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
