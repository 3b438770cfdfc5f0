#pragma once
// A window timer: ticks every Interval milliseconds on the loop's thread while enabled.
// Setting the interval it already has, or enabling it while enabled, does not restart the
// count; a different interval restarts it from that moment. An interval of 0 never ticks,
// and a tick without a handler does nothing.

#include "runtime/EventLoop.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace imconf {

class Timer {
public:
    using Handler = std::function<void()>;

    Timer(EventLoop& loop, std::uint32_t intervalMs, bool enabled = false);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // The tick handler. Replacing it does not restart the count.
    Handler OnTimer;

    // When the next tick is due, if one is scheduled (for tests and diagnostics).
    std::optional<Micros> NextTick() const;

private:
    void Restart();
    void Stop();
    void Tick();

    EventLoop& loop_;
    std::uint32_t interval_;
    bool enabled_ = false;
    std::optional<EventLoop::TimerToken> pending_;
    Micros due_{0};
};

}  // namespace imconf
