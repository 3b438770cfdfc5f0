#include "controls/Menu.h"

namespace imconf {

void TMenuItem::SetCaption(std::string caption)
{
    if (caption_ == caption)
        return;
    caption_ = std::move(caption);
    Changed();
}

void TMenuItem::SetChecked(bool checked)
{
    if (checked_ == checked)
        return;
    checked_ = checked;
    Changed();
}

void TMenuItem::SetVisible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    Changed();
}

void TMenuItem::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    Changed();
}

void TMenuItem::SetHint(std::string hint)
{
    if (hint_ == hint)
        return;
    hint_ = std::move(hint);
    Changed();
}

void TMenuItem::Click()
{
    if (!enabled_ || !visible_)
        return;
    if (OnClick)
        OnClick(*this);
}

TMenuItem& TMenuItem::Add(std::unique_ptr<TMenuItem> item)
{
    return Insert(items_.size(), std::move(item));
}

TMenuItem& TMenuItem::Insert(std::size_t index, std::unique_ptr<TMenuItem> item)
{
    if (index > items_.size())
        index = items_.size();
    item->parent_ = this;
    TMenuItem& added = *item;
    added.Subscribe([this] { ChildChanged(); });
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
    Changed();
    return added;
}

void TMenuItem::Clear()
{
    if (items_.empty())
        return;
    items_.clear();
    Changed();
}

TMenuItem* TMenuItem::Find(const std::string& name)
{
    if (name_ == name)
        return this;
    for (auto& item : items_) {
        if (TMenuItem* found = item->Find(name))
            return found;
    }
    return nullptr;
}

TMenuBar::TMenuBar(std::string name) : TControl(std::move(name)), Items(Name() + ".Items")
{
    Items.Subscribe([this] { Changed(); });
}

void TMenuBar::SetFocused(bool focused)
{
    // Giving the focus again is a request of its own (the user may have moved it away).
    if (focused_ == focused && !focused)
        return;
    focused_ = focused;
    Changed();
}

void TMenuBar::MouseDown(TMouseButton /*button*/, int /*x*/, int /*y*/)
{
    if (Enabled() && OnMouseDown)
        OnMouseDown();
}

TPopupMenu::TPopupMenu(std::string name) : Items(std::move(name))
{
    Items.Subscribe([this] { Changed(); });
}

void TPopupMenu::Popup(TControl& component, int x, int y)
{
    component_ = &component;
    x_ = x;
    y_ = y;
    for (const auto& handler : show_)
        handler(*this);
}

}  // namespace imconf
