#pragma once
// Headless window controls. They hold what the window shows and raise a change event
// whenever that changes; a shell renders them and forwards the user's raw input (keys,
// characters, clicks, focus) to them. What an input means (which digits an editor takes,
// which row a key selects, where a popup opens) is decided here, never in a shell; no
// behaviour of the tool itself lives here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace imconf {

struct TColor {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const TColor&, const TColor&) = default;
};

namespace colors {
constexpr TColor Black{0, 0, 0};
constexpr TColor Blue{0, 0, 255};
constexpr TColor White{255, 255, 255};
}  // namespace colors

// Change notification: every control calls Changed() after it changed what it shows.
class TNotifier {
public:
    using Handler = std::function<void()>;
    TNotifier() = default;
    TNotifier(const TNotifier&) = delete;
    TNotifier& operator=(const TNotifier&) = delete;

    // The shell (or a test) subscribes; returns nothing, subscriptions live as long as the control.
    void Subscribe(Handler handler) { subscribers_.push_back(std::move(handler)); }

protected:
    void Changed() const
    {
        for (const auto& handler : subscribers_)
            handler();
    }

private:
    std::vector<Handler> subscribers_;
};

// An ordered list of text lines (the lines of a memo pane).
class TLines : public TNotifier {
public:
    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](std::size_t index) const { return items_.at(index); }
    const std::vector<std::string>& Items() const { return items_; }
    const std::string& Last() const { return items_.at(items_.size() - 1); }

    void Add(std::string line);
    void Clear();
    void Delete(std::size_t index);
    // All lines joined with "\n" (no trailing newline).
    std::string Text() const;

private:
    std::vector<std::string> items_;
};

// A font; an empty name means the parent's font.
struct TFont {
    std::string Name;
    int Height = 0;  // character height in pixels
    TColor Color = colors::Black;
    friend bool operator==(const TFont&, const TFont&) = default;
};

class TControl : public TNotifier {
public:
    explicit TControl(std::string name) : name_(std::move(name)) {}
    const std::string& Name() const { return name_; }

    // The control this one lies on; bounds are relative to its client area.
    TControl* Parent() const { return parent_; }
    void SetParent(TControl* parent) { parent_ = parent; }
    TFont Font;

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int left, int top, int width, int height);

private:
    std::string name_;
    TControl* parent_ = nullptr;
    bool visible_ = true;
    bool enabled_ = true;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

// A read-only multi-line pane (the trace pane and the operation pane).
class TMemo : public TControl {
public:
    explicit TMemo(std::string name);
    TLines Lines;

    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor color);

private:
    TColor fontColor_ = colors::Black;
};

enum class TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

// The raw input every shell forwards in the same terms, whatever its toolkit: mouse buttons
// with points in the control's client coordinates, virtual-key codes (namespace vk) with the
// modifier keys held, typed characters and text, and the keyboard focus with its cause.
enum class TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle, mbExtra };

// The modifier keys held with a key or a click, as a set of flags.
using TShiftState = std::uint8_t;
namespace ss {
constexpr TShiftState Shift = 1;
constexpr TShiftState Alt = 2;
constexpr TShiftState Ctrl = 4;
}  // namespace ss

// Why a control got the keyboard focus.
enum class TFocusCause : std::uint8_t {
    Keyboard,  // the Tab key or an accelerator moved it there
    Program,   // the program gave it
    Mouse,     // a click on it
    Return,    // it comes back from a popup, a menu or another window
};

// A horizontal progress bar.
class TProgressBar : public TControl {
public:
    explicit TProgressBar(std::string name) : TControl(std::move(name)) {}
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMin(int value);
    void SetMax(int value);
    void SetPosition(int value);

private:
    int min_ = 0, max_ = 100, position_ = 0;
};

struct TStatusPanel {
    std::string Text;
    int Width = 50;
    TAlignment Alignment = TAlignment::taLeftJustify;
};

// A status bar of panels addressed by index.
class TStatusBar : public TControl {
public:
    explicit TStatusBar(std::string name, std::size_t panels = 0)
        : TControl(std::move(name)),
          panels_(panels)
    {
    }
    std::size_t PanelCount() const { return panels_.size(); }
    const TStatusPanel& Panel(std::size_t index) const { return panels_.at(index); }
    const std::string& PanelText(std::size_t index) const { return panels_.at(index).Text; }
    void SetPanelText(std::size_t index, std::string text);
    void SetPanel(std::size_t index, TStatusPanel panel);
    void AddPanel(TStatusPanel panel);

private:
    std::vector<TStatusPanel> panels_;
};

}  // namespace imconf
