#include "win/MainWindow.h"

#include "win/Dpi.h"
#include "win/Icons.h"
#include "win/WinText.h"
#include "win/WindowParts.h"

#include <commctrl.h>

#include <algorithm>

// The form's controls as native child windows: each rendered from its control on its change
// notification, each input forwarded to the control.

namespace imconf::win {

namespace {

constexpr int kIconExtent = 16;
// What a push button keeps for its frame and padding beside the caption.
constexpr int kButtonPadding = 10;
// What a status panel keeps for its frame beside its text.
constexpr int kPanelPadding = 8;

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

}  // namespace

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

}  // namespace imconf::win
