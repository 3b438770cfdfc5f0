#pragma once
// The main window over the headless TForm1, on the Windows API: every control of the form as a
// native child window (or, for the grids and the menu bar, a window of ours) at its bounds in
// its parent's client area, scaled from the layout's 96 dots per inch to the monitor's; each
// re-rendered on its change notification; raw input forwarded to the controls through
// form.HandleEvent. No behaviour of the tool lives here. Its parts are in files of their own:
// the window and its messages (MainWindow.cpp), the controls' windows (ControlWindows.cpp), the
// grids (GridView.cpp), the menu bar and the menus (MenuBar.cpp), sizes and DPI (Sizing.cpp).

#include "app/Form1.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace imconf::win {

class MainWindow : private TFormBuilder {
public:
    // The form must outlive the window; build it after FormCreate. FormActivate runs on the
    // window's first activation.
    explicit MainWindow(TForm1& form);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    // The window the form's own controls lie on.
    HWND ClientArea() const { return client_; }
    // The window that renders a control, or nullptr.
    HWND HandleOf(const TControl& control) const;
    int Dpi() const { return dpi_; }
    int FormActivations() const { return formActivations_; }
    // Closing the window ends the thread's message loop.
    void QuitOnClose(bool quit) { quitOnClose_ = quit; }

    void Show(int showCommand);
    // The native menu that shows a menu item's children now (the caller destroys it), and the
    // item behind a command of such a menu.
    HMENU BuildPopup(TMenuItem& parent);
    TMenuItem* ItemOfCommand(UINT command) const;
    // A press of the left button on the menu bar over its top-level item `index`, as the
    // user's: the bar's mouse-down, then that item's menu and the chosen item's click.
    void PressMenuBarItem(std::size_t index);
    // Where the menu bar shows its top-level item `index` (in the bar's client area), if it does.
    std::optional<RECT> MenuBarItemRect(std::size_t index);
    // Stands in for the user in every menu that opens from now on (tests): gets the native menu
    // and returns the chosen command, or 0 for none. Without it the menus are tracked.
    void ChooseMenusWith(std::function<UINT(HMENU)> chooser) { chooser_ = std::move(chooser); }

    // Window procedures (the windows of ours carry a pointer to this in their user data).
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    // A grid's window of ours and its native scroll bar.
    struct GridView {
        TStringGrid& grid;
        HWND hwnd = nullptr;
        HWND scrollBar = nullptr;
    };
    using Refresh = std::function<void()>;

    // The window (MainWindow.cpp): creating a control's window, placing and re-rendering it,
    // forwarding its input, the messages of the window and of its controls.
    void Dispatch(const std::function<void()>& event);
    void Watch(TNotifier& notifier, Refresh refresh);
    void RefreshAll();
    HWND ContainerOf(const TControl& control) const;
    HWND Create(TControl& control, const wchar_t* cls, DWORD style, DWORD exStyle = 0,
                const std::wstring& text = {});
    HWND CreatePanel(HWND parent, const std::wstring& name);
    void Place(const TControl& control, HWND hwnd, int extraHeight = 0);
    void SetTip(HWND hwnd, const std::string& hint);
    TFocusCause FocusCause() const;
    void Hook(HWND hwnd, std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> hook);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    void LayOnTop(TControl& control) override;
    // The notifications, drawing and colours the controls' windows ask of their parent.
    std::optional<LRESULT> ControlMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // The controls' windows (ControlWindows.cpp), TFormBuilder's calls.
    void AddGroupBox(TGroupBox& box) override;
    void PaintGroupBox(const TGroupBox& box, HWND panel, HDC dc);
    void AddPageControl(TPageControl& pages) override;
    void AddLabel(TLabel& label) override;
    void AddButton(TButton& button) override;
    void AddCheckBox(TCheckBox& box) override;
    void AddSpinEdit(TSpinEdit& spin) override;
    bool SpinInput(TSpinEdit& spin, HWND edit, UINT message, WPARAM wParam);
    void ForwardSpinSelection(TSpinEdit& spin, HWND edit);
    void AddComboBox(TComboBox& combo) override;
    void AddMemo(TMemo& memo) override;
    void AddProgressBar(TProgressBar& bar) override;
    void AddStatusBar(TStatusBar& bar) override;

    // The grids (GridView.cpp).
    void AddGrid(TStringGrid& grid) override;
    void PaintGrid(GridView& view, HDC dc);
    LRESULT GridMessage(GridView& view, UINT message, WPARAM wParam, LPARAM lParam);

    // The menu bar and the menus (MenuBar.cpp).
    void AddMenuBar(TMenuBar& bar) override;
    void AddPopupMenu(TPopupMenu& popup) override;
    LRESULT MenuBarMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void PaintMenuBar(HDC dc);
    std::vector<std::pair<RECT, std::size_t>> MenuBarItems(HDC dc);
    bool MenuBarKey(WPARAM key);
    void PressMenuBar(TMouseButton button, POINT at);
    void OpenMenuBarItem(const RECT& rect, std::size_t index);
    void AddMenuItems(HMENU menu, TMenuItem& parent);
    UINT TrackMenu(HMENU menu, POINT at);
    static MainWindow* TrackingWindow(const MSG& msg);
    static LRESULT CALLBACK BarMenuFilter(int code, WPARAM wParam, LPARAM lParam);
    void BarMenuMouseMove(POINT at);

    // Sizes and DPI (Sizing.cpp): the layout's pixels on the monitor, the fonts at its scale,
    // the window's size and scrolling.
    int S(int value) const;
    HFONT FontOf(const TControl& control);
    HFONT Font(const std::string& name, int height);
    std::pair<std::string, int> FontNameAndHeight(const TControl& control) const;
    // The control's font, or a smaller size of it in which `text` fits `width` layout pixels.
    HFONT FittedFont(const TControl& control, const std::string& text, int width, int smallest = 8);
    void ApplyWindowSize();
    void Centre();
    void ChangeDpi(int dpi, const RECT* suggested);
    void ScrollClient(int request);

    TForm1& form_;
    HWND hwnd_ = nullptr;
    HWND client_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND menuBar_ = nullptr;
    DWORD style_ = 0;
    int dpi_ = 96;
    int scrollPos_ = 0;
    bool activated_ = false;
    int formActivations_ = 0;
    bool quitOnClose_ = false;
    bool refreshing_ = false;
    bool programFocus_ = false;
    std::function<UINT(HMENU)> chooser_;
    int pressedMenu_ = -1;
    int hotMenu_ = -1;  // the item the keys are on while the bar has the focus
    bool menuFocused_ = false;
    HWND lastFocus_ = nullptr;

    std::unordered_map<const TControl*, HWND> hwnds_;
    std::unordered_map<const TControl*, HWND> containers_;
    std::unordered_map<const TControl*, HWND> spinButtons_;
    std::unordered_map<HWND, std::function<void(WORD code)>> commands_;
    std::unordered_map<HWND, std::function<LRESULT(NMHDR*)>> notifies_;
    std::unordered_map<HWND, std::function<void(DRAWITEMSTRUCT*)>> draws_;
    std::unordered_map<HWND, COLORREF> textColours_;
    // Messages a native control's own procedure does not see first (its subclass hook).
    std::unordered_map<HWND, std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)>> hooks_;
    std::vector<std::unique_ptr<GridView>> grids_;
    std::vector<TButton*> buttons_;
    std::unordered_map<HWND, const TGroupBox*> groupBoxes_;
    std::vector<Refresh> refreshers_;
    std::map<std::tuple<std::string, int, int>, HFONT> fonts_;
    std::vector<HICON> icons_;
    std::vector<TMenuItem*> commandItems_;
    // While a menu of the bar is open: the bar's items, the one whose menu it is, and the item
    // the mouse moved onto meanwhile (-1 for none).
    struct BarMenu {
        bool open = false;
        int item = -1;
        std::vector<std::pair<RECT, std::size_t>> items;
        int next = -1;
    } barMenu_;
    HBRUSH face_ = nullptr;
    HBRUSH white_ = nullptr;
};

}  // namespace imconf::win
