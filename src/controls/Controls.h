#pragma once
// Headless window controls. They hold what the window shows and raise a change event
// whenever that changes; the Qt shell renders them and forwards user input to the
// handlers. No behaviour of the tool lives here.

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

class TControl : public TNotifier {
public:
    explicit TControl(std::string name) : name_(std::move(name)) {}
    const std::string& Name() const { return name_; }

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

}  // namespace imconf
