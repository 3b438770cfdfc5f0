#include "controls/Widgets.h"

#include <algorithm>
#include <charconv>

namespace imconf {

void TCaptionControl::SetCaption(std::string caption)
{
    if (caption_ == caption)
        return;
    caption_ = std::move(caption);
    Changed();
}

void TCaptionControl::SetHint(std::string hint)
{
    if (hint_ == hint)
        return;
    hint_ = std::move(hint);
    Changed();
}

void TButton::Click()
{
    if (Enabled() && Visible() && OnClick)
        OnClick();
}

void TCheckBox::SetChecked(bool checked)
{
    if (checked_ == checked)
        return;
    checked_ = checked;
    Changed();
}

TSpinEdit::TSpinEdit(std::string name) : TControl(std::move(name))
{
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

void TSpinEdit::SetRange(int minValue, int maxValue)
{
    min_ = minValue;
    max_ = std::max(minValue, maxValue);
}

int TSpinEdit::Value() const
{
    int value = min_;
    const auto* begin = text_.data();
    const auto* end = text_.data() + text_.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || text_.empty())
        value = min_;
    return std::clamp(value, min_, max_);
}

void TSpinEdit::SetValue(int value)
{
    SetText(std::to_string(std::clamp(value, min_, max_)));
}

std::string TSpinEdit::SelText() const
{
    return text_.substr(static_cast<std::size_t>(SelStart()),
                        static_cast<std::size_t>(SelLength()));
}

bool TSpinEdit::AllSelected() const
{
    return SelLength() > 0 && SelLength() == Length();
}

void TSpinEdit::SetFocus()
{
    if (focused_)
        return;
    focused_ = true;
    Changed();
}

void TSpinEdit::KillFocus()
{
    if (!focused_ && SelLength() == 0)
        return;
    focused_ = false;
    anchor_ = caret_;
    Changed();
}

void TSpinEdit::Enter(TFocusCause cause)
{
    SetFocus();
    if (cause == TFocusCause::Keyboard)
        SelectAll();
}

void TSpinEdit::Exit()
{
    if (!focused_)
        return;
    focused_ = false;
    Changed();
}

void TSpinEdit::SelectAll()
{
    SetSelection(0, Length());
}

void TSpinEdit::SetSelection(int anchor, int caret)
{
    anchor = std::clamp(anchor, 0, Length());
    caret = std::clamp(caret, 0, Length());
    if (anchor == anchor_ && caret == caret_)
        return;
    anchor_ = anchor;
    caret_ = caret;
    Changed();
}

void TSpinEdit::MoveCaret(int caret, bool extend)
{
    SetSelection(extend ? anchor_ : caret, caret);
}

void TSpinEdit::SetText(std::string text)
{
    // The same text keeps the caret where it is (a handler that sets the value the user just
    // typed); a selection goes.
    if (text_ == text) {
        SetSelection(caret_, caret_);
        return;
    }
    const int end = static_cast<int>(text.size());
    Edit(std::move(text), end);
}

void TSpinEdit::Edit(std::string text, int caret)
{
    const bool same = text_ == text;
    text_ = std::move(text);
    anchor_ = caret_ = std::clamp(caret, 0, Length());
    Changed();
    if (!same && OnChange)
        OnChange();
}

bool TSpinEdit::KeyDown(std::uint16_t key, TShiftState shift)
{
    const bool extend = (shift & ss::Shift) != 0;
    const bool selected = SelLength() > 0;
    bool used = true;
    switch (key) {
    case vk::Return: SetValue(Value()); break;
    case vk::Up: SpinUp(); break;
    case vk::Down: SpinDown(); break;
    case vk::Prior: SetValue(Value() + PageIncrement); break;
    case vk::Next: SetValue(Value() - PageIncrement); break;
    case vk::Home: MoveCaret(0, extend); break;
    case vk::End: MoveCaret(Length(), extend); break;
    case vk::Left:
        MoveCaret(selected && !extend ? SelStart() : std::max(caret_ - 1, 0), extend);
        break;
    case vk::Right:
        MoveCaret(selected && !extend ? SelStart() + SelLength() : std::min(caret_ + 1, Length()),
                  extend);
        break;
    case vk::Delete:
        if (selected)
            ClearSelection();
        else if (caret_ < Length())
            Edit(text_.substr(0, static_cast<std::size_t>(caret_)) +
                     text_.substr(static_cast<std::size_t>(caret_) + 1),
                 caret_);
        break;
    default: used = false; break;
    }
    if (OnKeyDown)
        OnKeyDown(key);
    return used;
}

void TSpinEdit::KeyPress(char key)
{
    if (OnKeyPress)
        OnKeyPress(key);
    if (key == 0)
        return;
    if (key == static_cast<char>(vk::Return)) {
        SetValue(Value());
        return;
    }
    if (key == '\b') {
        if (SelLength() > 0)
            ClearSelection();
        else if (caret_ > 0)
            Edit(text_.substr(0, static_cast<std::size_t>(caret_) - 1) +
                     text_.substr(static_cast<std::size_t>(caret_)),
                 caret_ - 1);
        return;
    }
    if (IsDigit(key))
        TypeText(std::string_view(&key, 1));
}

void TSpinEdit::TypeText(std::string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit))
        return;
    const auto start = static_cast<std::size_t>(SelStart());
    const std::string before = text_.substr(0, start);
    const std::string after = text_.substr(start + static_cast<std::size_t>(SelLength()));
    std::size_t room = text.size();
    if (MaxLength > 0)
        room = std::min(room, static_cast<std::size_t>(std::max(
                                  0, MaxLength - static_cast<int>(before.size() + after.size()))));
    if (room == 0)
        return;
    Edit(before + std::string(text.substr(0, room)) + after, static_cast<int>(start + room));
}

void TSpinEdit::ClearSelection()
{
    if (SelLength() == 0)
        return;
    const auto start = static_cast<std::size_t>(SelStart());
    Edit(text_.substr(0, start) + text_.substr(start + static_cast<std::size_t>(SelLength())),
         SelStart());
}

void TSpinEdit::SetTextByUser(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (IsDigit(c))
            digits += c;
    }
    if (MaxLength > 0 && static_cast<int>(digits.size()) > MaxLength)
        digits.resize(static_cast<std::size_t>(MaxLength));
    const int end = static_cast<int>(digits.size());
    Edit(std::move(digits), end);
}

void TSpinEdit::SpinUp()
{
    SetValue(Value() + Increment);
}

void TSpinEdit::SpinDown()
{
    SetValue(Value() - Increment);
}

void TComboBox::SetItemIndex(int index)
{
    if (index < -1 || index >= static_cast<int>(Items.size()))
        index = -1;
    if (itemIndex_ == index)
        return;
    itemIndex_ = index;
    Changed();
}

std::string TComboBox::Text() const
{
    if (itemIndex_ < 0 || itemIndex_ >= static_cast<int>(Items.size()))
        return {};
    return Items[static_cast<std::size_t>(itemIndex_)];
}

void TComboBox::Enter(TFocusCause cause)
{
    if (!DropDownOnFocus || !Enabled() || !Visible())
        return;
    if (cause != TFocusCause::Keyboard && cause != TFocusCause::Program)
        return;
    for (const auto& handler : dropDown_)
        handler();
}

void TComboBox::ChooseByUser(int index)
{
    if (!Enabled() || index < 0 || index >= static_cast<int>(Items.size()))
        return;
    SetItemIndex(index);
    if (OnChange)
        OnChange();
}

void TPageControl::ClickTab(std::size_t index)
{
    if (!Enabled() || index >= pages_.size() || !pages_[index]->Visible() ||
        !pages_[index]->Enabled())
        return;
    SetActivePageIndex(index);
}

void TPageControl::SetActivePageIndex(std::size_t index)
{
    if (index >= pages_.size() || index == active_)
        return;
    active_ = index;
    Changed();
}

}  // namespace imconf
