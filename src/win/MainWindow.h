#pragma once
// The main window over the headless TForm1, on the Windows API: every control of the form as a
// native child window (or, for the grids and the menu bar, a window of ours) at its bounds in
// its parent's client area, scaled from the layout's 96 dots per inch to the monitor's; each
// re-rendered on its change notification; raw input forwarded to the controls through
// form.HandleEvent. No behaviour of the tool lives here.

#include "app/Form1.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace imconf::win {

class MainWindow {
public:
    // The form must outlive the window; build it after FormCreate. FormActivate runs on the
    // window's first activation.
    explicit MainWindow(TForm1& form);
    ~MainWindow();
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
    // Stands in for the user in every menu that opens from now on (tests): gets the native menu
    // and returns the chosen command, or 0 for none. Without it the menus are tracked.
    void ChooseMenusWith(std::function<UINT(HMENU)> chooser) { chooser_ = std::move(chooser); }

    // Window procedures (the windows of ours carry a pointer to this in their user data).
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct GridView;
    using Refresh = std::function<void()>;

    void Dispatch(const std::function<void()>& event);
    void Watch(TNotifier& notifier, Refresh refresh);
    HWND ContainerOf(const TControl& control) const;
    HWND Create(TControl& control, const wchar_t* cls, DWORD style, DWORD exStyle = 0,
                const std::wstring& text = {});
    HWND CreatePanel(HWND parent, const std::wstring& name);
    void Place(const TControl& control, HWND hwnd, int extraHeight = 0);
    HFONT FontOf(const TControl& control);
    HFONT Font(const std::string& name, int height);
    std::pair<std::string, int> FontNameAndHeight(const TControl& control) const;
    // The control's font, or a smaller size of it in which `text` fits `width` layout pixels.
    HFONT FittedFont(const TControl& control, const std::string& text, int width, int smallest = 8);
    int S(int value) const;
    void SetTip(HWND hwnd, const std::string& hint);

    void BuildControls();
    void AddMenuBar(TMenuBar& bar);
    void AddGroupBox(TGroupBox& box);
    void AddPageControl(TPageControl& pages);
    void AddLabel(TLabel& label);
    void AddButton(TButton& button);
    void AddCheckBox(TCheckBox& box);
    void AddSpinEdit(TSpinEdit& spin);
    void AddComboBox(TComboBox& combo);
    void AddMemo(TMemo& memo);
    void AddProgressBar(TProgressBar& bar);
    void AddStatusBar(TStatusBar& bar);
    void AddGrid(TStringGrid& grid);

    void ApplyWindowSize();
    void Centre();
    void RefreshAll();
    void ChangeDpi(int dpi, const RECT* suggested);
    void ScrollClient(int request);
    void PaintMenuBar(HDC dc);
    void PaintGroupBox(const TGroupBox& box, HWND panel, HDC dc);
    std::vector<std::pair<RECT, std::size_t>> MenuBarItems(HDC dc);
    UINT TrackMenu(HMENU menu, POINT at);
    void AddMenuItems(HMENU menu, TMenuItem& parent);
    void PaintGrid(GridView& view, HDC dc);
    LRESULT GridMessage(GridView& view, UINT message, WPARAM wParam, LPARAM lParam);
    bool SpinInput(TSpinEdit& spin, HWND edit, UINT message, WPARAM wParam);
    void ForwardSpinSelection(TSpinEdit& spin, HWND edit);
    TFocusCause FocusCause() const;
    void PressMenuBar(TMouseButton button, POINT at);
    void OpenMenuBarItem(const RECT& rect, std::size_t index);
    bool MenuBarKey(WPARAM key);
    void AddPopupMenu(TPopupMenu& popup);
    void Hook(HWND hwnd, std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> hook);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);

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
    HBRUSH face_ = nullptr;
    HBRUSH white_ = nullptr;
};

}  // namespace imconf::win
