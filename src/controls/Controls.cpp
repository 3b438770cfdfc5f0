#include "controls/Controls.h"

#include <stdexcept>

namespace imconf {

void TLines::Add(std::string line)
{
    items_.push_back(std::move(line));
    Changed();
}

void TLines::Clear()
{
    if (items_.empty())
        return;
    items_.clear();
    Changed();
}

void TLines::Delete(std::size_t index)
{
    if (index >= items_.size())
        throw std::out_of_range("line index out of range");
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    Changed();
}

std::string TLines::Text() const
{
    std::string text;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i != 0)
            text += '\n';
        text += items_[i];
    }
    return text;
}

void TControl::SetVisible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    Changed();
}

void TControl::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    Changed();
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    if (left_ == left && top_ == top && width_ == width && height_ == height)
        return;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    Changed();
}

TMemo::TMemo(std::string name) : TControl(std::move(name))
{
    Lines.Subscribe([this] { Changed(); });
}

void TMemo::SetFontColor(TColor color)
{
    if (fontColor_ == color)
        return;
    fontColor_ = color;
    Changed();
}

void TProgressBar::SetMin(int value)
{
    if (min_ == value)
        return;
    min_ = value;
    Changed();
}

void TProgressBar::SetMax(int value)
{
    if (max_ == value)
        return;
    max_ = value;
    Changed();
}

void TProgressBar::SetPosition(int value)
{
    if (position_ == value)
        return;
    position_ = value;
    Changed();
}

void TStatusBar::SetPanelText(std::size_t index, std::string text)
{
    TStatusPanel& panel = panels_.at(index);
    if (panel.Text == text)
        return;
    panel.Text = std::move(text);
    Changed();
}

void TStatusBar::SetPanel(std::size_t index, TStatusPanel panel)
{
    panels_.at(index) = std::move(panel);
    Changed();
}

void TStatusBar::AddPanel(TStatusPanel panel)
{
    panels_.push_back(std::move(panel));
    Changed();
}

}  // namespace imconf
