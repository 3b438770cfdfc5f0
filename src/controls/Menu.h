#pragma once
// Menus: items with caption, check mark, visibility, enabled state, a hint and children.

#include "controls/Controls.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace imconf {

class TMenuItem : public TNotifier {
public:
    using ClickHandler = std::function<void(TMenuItem& sender)>;

    explicit TMenuItem(std::string name, std::string caption = {})
        : name_(std::move(name)),
          caption_(std::move(caption))
    {
    }

    const std::string& Name() const { return name_; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Shown as the entry's tooltip and status tip.
    const std::string& Hint() const { return hint_; }
    void SetHint(std::string hint);
    // A radio item shows its check mark as a bullet.
    bool RadioItem() const { return radio_; }
    void SetRadioItem(bool radio) { radio_ = radio; }
    bool IsSeparator() const { return caption_ == "-"; }

    ClickHandler OnClick;
    // Runs OnClick as a user's click does. Disabled or hidden items do nothing.
    void Click();

    std::size_t Count() const { return items_.size(); }
    TMenuItem& Item(std::size_t index) { return *items_.at(index); }
    const TMenuItem& Item(std::size_t index) const { return *items_.at(index); }
    // Takes ownership; returns the added item.
    TMenuItem& Add(std::unique_ptr<TMenuItem> item);
    TMenuItem& Insert(std::size_t index, std::unique_ptr<TMenuItem> item);
    void Clear();
    // The first item of this subtree with that name, or nullptr.
    TMenuItem* Find(const std::string& name);

    TMenuItem* Parent() const { return parent_; }

private:
    void ChildChanged() const { Changed(); }

    std::string name_;
    std::string caption_;
    std::string hint_;
    bool checked_ = false;
    bool visible_ = true;
    bool enabled_ = true;
    bool radio_ = false;
    TMenuItem* parent_ = nullptr;
    std::vector<std::unique_ptr<TMenuItem>> items_;
};

// The window's menu bar, a control of its own with the top-level items.
class TMenuBar : public TControl {
public:
    explicit TMenuBar(std::string name);
    TMenuItem Items;
    // A mouse button pressed anywhere on the bar (before any item opens).
    std::function<void()> OnMouseDown;
    bool Focused() const { return focused_; }
    void SetFocused(bool focused);

    // Raw input: any mouse button pressed on the bar, at a point of its client area (a press
    // that opens an item, too, and the second press of a double click).
    void MouseDown(TMouseButton button, int x, int y);

private:
    bool focused_ = false;
};

// A popup menu that opens on a right click over its control. Its items act on whatever their
// handlers take as the target (the grids' popups: the selected entry, which a right click
// does not move); the menu remembers the control it opened over and where.
class TPopupMenu : public TNotifier {
public:
    using ShowHandler = std::function<void(TPopupMenu& menu)>;

    explicit TPopupMenu(std::string name);
    const std::string& Name() const { return Items.Name(); }
    TMenuItem Items;

    // Opens the menu over `component` at a point of its client area: the shell shows it there.
    void Popup(TControl& component, int x, int y);
    // The control the menu opened over last, or nullptr before it ever opened.
    TControl* PopupComponent() const { return component_; }
    int PopupX() const { return x_; }
    int PopupY() const { return y_; }
    // The shell shows the menu (and waits in it until it closes) when it opens.
    void SubscribeShow(ShowHandler handler) { show_.push_back(std::move(handler)); }

private:
    TControl* component_ = nullptr;
    int x_ = 0;
    int y_ = 0;
    std::vector<ShowHandler> show_;
};

}  // namespace imconf
