#pragma once
// The simple controls of the window: labels, buttons, check box, spin editor, drop-down list,
// group frames, tab pages and the form itself.

#include "controls/Controls.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace imconf {

// Key codes the handlers look at (virtual-key numbering).
namespace vk {
constexpr std::uint16_t Return = 13;
constexpr std::uint16_t Escape = 27;
constexpr std::uint16_t Up = 38;
constexpr std::uint16_t Down = 40;
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
// the user or by SetValue; typing takes digits only (and backspace) up to MaxLength; Enter
// and the spin buttons clamp the value into [MinValue, MaxValue].
class TSpinEdit : public TControl {
public:
    explicit TSpinEdit(std::string name);

    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void SetRange(int minValue, int maxValue);
    int MaxLength = 0;  // 0: no limit
    int Increment = 1;

    const std::string& Text() const { return text_; }
    // The shown number, clamped into the range; an empty or unreadable text counts as MinValue.
    int Value() const;
    void SetValue(int value);

    std::function<void()> OnChange;
    // Runs for every typed character before the editor takes it; the handler may set the
    // key to 0 to swallow it.
    std::function<void(char& key)> OnKeyPress;
    // Runs for every key pressed (virtual-key code), after the editor's own handling of
    // Enter (clamp) and Up/Down (one step).
    std::function<void(std::uint16_t key)> OnKeyDown;

    // Where the spin buttons are drawn, and their width (for the in-place editors).
    bool SpinButtonsLeft = false;
    int SpinButtonWidth = 15;
    int EditBorderWidth = 3;

    bool Focused() const { return focused_; }
    void SetFocus();
    void KillFocus();
    // The whole text is selected: the next typed character replaces it.
    bool AllSelected() const { return allSelected_; }
    void SelectAll();

    // User input, as the shell forwards it.
    void KeyDown(std::uint16_t key);
    void KeyPress(char key);  // a typed character (digits, backspace 8, Enter 13)
    void SetTextByUser(const std::string& text);  // the whole text after an edit
    void SpinUp();
    void SpinDown();

private:
    void SetText(std::string text);

    int min_ = 0;
    int max_ = 100;
    std::string text_ = "0";
    bool focused_ = false;
    bool allSelected_ = false;
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
    void ChooseByUser(int index);

private:
    int itemIndex_ = -1;
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
