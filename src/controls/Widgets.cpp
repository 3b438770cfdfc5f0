#include "controls/Widgets.h"

#include <algorithm>
#include <cctype>
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

TSpinEdit::TSpinEdit(std::string name) : TControl(std::move(name)) {}

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

void TSpinEdit::SetFocus()
{
    if (focused_)
        return;
    focused_ = true;
    Changed();
}

void TSpinEdit::KillFocus()
{
    if (!focused_ && !allSelected_)
        return;
    focused_ = false;
    allSelected_ = false;
    Changed();
}

void TSpinEdit::SelectAll()
{
    if (allSelected_)
        return;
    allSelected_ = true;
    Changed();
}

void TSpinEdit::KeyDown(std::uint16_t key)
{
    if (key == vk::Return)
        SetValue(Value());
    else if (key == vk::Up)
        SpinUp();
    else if (key == vk::Down)
        SpinDown();
    if (OnKeyDown)
        OnKeyDown(key);
}

void TSpinEdit::SetText(std::string text)
{
    const bool wasSelected = allSelected_;
    allSelected_ = false;
    if (text_ == text) {
        if (wasSelected)
            Changed();
        return;
    }
    text_ = std::move(text);
    Changed();
    if (OnChange)
        OnChange();
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
    const std::string kept = allSelected_ ? std::string() : text_;
    if (key == '\b') {
        if (allSelected_ || !text_.empty())
            SetText(allSelected_ ? std::string() : text_.substr(0, text_.size() - 1));
        return;
    }
    if (!std::isdigit(static_cast<unsigned char>(key)))
        return;
    if (MaxLength > 0 && static_cast<int>(kept.size()) >= MaxLength)
        return;
    SetText(kept + key);
}

void TSpinEdit::SetTextByUser(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            digits += c;
    }
    if (MaxLength > 0 && static_cast<int>(digits.size()) > MaxLength)
        digits.resize(static_cast<std::size_t>(MaxLength));
    SetText(std::move(digits));
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

void TComboBox::ChooseByUser(int index)
{
    if (!Enabled() || index < 0 || index >= static_cast<int>(Items.size()))
        return;
    SetItemIndex(index);
    if (OnChange)
        OnChange();
}

void TPageControl::SetActivePageIndex(std::size_t index)
{
    if (index >= pages_.size() || index == active_)
        return;
    active_ = index;
    Changed();
}

}  // namespace imconf
