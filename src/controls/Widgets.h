#pragma once
// The simple controls of the window: labels, buttons, check box, spin editor, drop-down list,
// group frames, tab pages and the form itself.

#include "controls/Controls.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace imconf {

// Key codes the handlers look at (virtual-key numbering).
namespace vk {
constexpr std::uint16_t Back = 8;
constexpr std::uint16_t Tab = 9;
constexpr std::uint16_t Return = 13;
constexpr std::uint16_t Escape = 27;
constexpr std::uint16_t Prior = 33;  // Page Up
constexpr std::uint16_t Next = 34;   // Page Down
constexpr std::uint16_t End = 35;
constexpr std::uint16_t Home = 36;
constexpr std::uint16_t Left = 37;
constexpr std::uint16_t Up = 38;
constexpr std::uint16_t Right = 39;
constexpr std::uint16_t Down = 40;
constexpr std::uint16_t Delete = 46;
}  // namespace vk

// A control with a caption (label, button, group frame, tab sheet).
class TCaptionControl : public TControl {
public:
    using TControl::TControl;
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);
    // Tooltip text; empty for none.
    const std::string& Hint() const { return hint_; }
    void SetHint(std::string hint);

private:
    std::string caption_;
    std::string hint_;
};

class TLabel : public TCaptionControl {
public:
    using TCaptionControl::TCaptionControl;
};

class TGroupBox : public TCaptionControl {
public:
    using TCaptionControl::TCaptionControl;
};

class TButton : public TCaptionControl {
public:
    using TCaptionControl::TCaptionControl;
    // Name of the icon the shell shows on the button; empty for none.
    std::string Icon;
    std::function<void()> OnClick;
    // A user's click: does nothing while disabled.
    void Click();
};

class TCheckBox : public TCaptionControl {
public:
    using TCaptionControl::TCaptionControl;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);

private:
    bool checked_ = false;
};

// A numeric spin editor. The change event runs whenever the shown text changes, whether by
// the user or by SetValue. It keeps a caret and a selection: typing takes digits only (and
// backspace) at the caret, in place of the selection, up to MaxLength; Enter, the spin
// buttons, Up/Down (Increment) and Page Up/Page Down (PageIncrement) clamp the value into
// [MinValue, MaxValue]. A text set by the program puts the caret at its end.
class TSpinEdit : public TControl {
public:
    explicit TSpinEdit(std::string name);

    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void SetRange(int minValue, int maxValue);
    int MaxLength = 0;  // 0: no limit
    int Increment = 1;
    int PageIncrement = 10;

    const std::string& Text() const { return text_; }
    // The shown number, clamped into the range; an empty or unreadable text counts as MinValue.
    int Value() const;
    void SetValue(int value);

    std::function<void()> OnChange;
    // Runs for every typed character before the editor takes it; the handler may set the
    // key to 0 to swallow it.
    std::function<void(char& key)> OnKeyPress;
    // Runs for every key pressed (virtual-key code), after the editor's own handling of
    // Enter (clamp), Up/Down and the Page keys (steps) and the caret keys.
    std::function<void(std::uint16_t key)> OnKeyDown;

    // Where the spin buttons are drawn, and their width (for the in-place editors).
    bool SpinButtonsLeft = false;
    int SpinButtonWidth = 15;
    int EditBorderWidth = 3;

    bool Focused() const { return focused_; }
    // The caret (0 before the first character .. Text().size() after the last) and the
    // selection between it and the anchor.
    int CaretPos() const { return caret_; }
    int Anchor() const { return anchor_; }
    int SelStart() const { return std::min(anchor_, caret_); }
    int SelLength() const { return std::max(anchor_, caret_) - SelStart(); }
    std::string SelText() const;
    // The whole text is selected: the next typed character replaces it.
    bool AllSelected() const;
    void SelectAll();

    // The program gives or takes the keyboard focus; taking it drops the selection.
    void SetFocus();
    void KillFocus();

    // Raw input, as every shell forwards it.
    // The focus came (from the keyboard, the whole text is selected) or went (the selection
    // stays for the focus's return).
    void Enter(TFocusCause cause);
    void Exit();
    // A key went down; true when the editor used it (the rest may go to the window).
    bool KeyDown(std::uint16_t key, TShiftState shift = 0);
    // A typed character (digits, backspace 8, Enter 13; anything else is refused).
    void KeyPress(char key);
    // Text put in at the caret in place of the selection (pasted, or from an input method):
    // refused whole unless it is digits only; cut to MaxLength.
    void TypeText(std::string_view text);
    // The selection the user made with the mouse: from `anchor` to the caret at `caret`.
    void SetSelection(int anchor, int caret);
    // Deletes the selected text (a cut).
    void ClearSelection();
    void SpinUp();
    void SpinDown();
    // The whole text after an edit made outside the editor's keys; digits only, cut to MaxLength.
    void SetTextByUser(const std::string& text);

private:
    void SetText(std::string text);
    // A user's edit: the new text with the caret at `caret` and nothing selected.
    void Edit(std::string text, int caret);
    void MoveCaret(int caret, bool extend);
    int Length() const { return static_cast<int>(text_.size()); }

    int min_ = 0;
    int max_ = 100;
    std::string text_ = "0";
    int anchor_ = 1;
    int caret_ = 1;
    bool focused_ = false;
};

// A drop-down list of fixed items. OnChange runs when the user chooses an item.
class TComboBox : public TControl {
public:
    using TControl::TControl;
    std::vector<std::string> Items;
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    std::string Text() const;
    std::function<void()> OnChange;
    // The list drops down when the control gets the focus from the keyboard or the program
    // (a click opens it by itself; focus that comes back from the list does not).
    bool DropDownOnFocus = true;
    // The shell shows the list when the control asks for it.
    void SubscribeDropDown(std::function<void()> handler)
    {
        dropDown_.push_back(std::move(handler));
    }

    // Raw input, as every shell forwards it.
    void ChooseByUser(int index);
    void Enter(TFocusCause cause);

private:
    int itemIndex_ = -1;
    std::vector<std::function<void()>> dropDown_;
};

class TTabSheet : public TCaptionControl {
public:
    using TCaptionControl::TCaptionControl;
};

class TPageControl : public TControl {
public:
    using TControl::TControl;
    void AddPage(TTabSheet& page) { pages_.push_back(&page); }
    std::size_t PageCount() const { return pages_.size(); }
    TTabSheet& Page(std::size_t index) const { return *pages_.at(index); }
    std::size_t ActivePageIndex() const { return active_; }
    void SetActivePageIndex(std::size_t index);
    // Raw input: the user clicked a tab. A hidden or disabled page is not shown.
    void ClickTab(std::size_t index);

private:
    std::vector<TTabSheet*> pages_;
    std::size_t active_ = 0;
};

// The window itself: caption, client size, scrolling of the small-screen fit.
class TForm : public TCaptionControl {
public:
    using TCaptionControl::TCaptionControl;
    int ClientWidth = 0;
    int ClientHeight = 0;
    bool VertScrollBarVisible = false;
};

}  // namespace imconf
