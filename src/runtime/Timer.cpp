#include "runtime/Timer.h"

namespace imconf {

Timer::Timer(EventLoop& loop, std::uint32_t intervalMs, bool enabled)
    : loop_(loop),
      interval_(intervalMs)
{
    SetEnabled(enabled);
}

Timer::~Timer()
{
    Stop();
}

void Timer::SetInterval(std::uint32_t ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    if (enabled_)
        Restart();
}

void Timer::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled_)
        Restart();
    else
        Stop();
}

std::optional<Micros> Timer::NextTick() const
{
    if (!pending_)
        return std::nullopt;
    return due_;
}

void Timer::Restart()
{
    Stop();
    if (interval_ == 0)
        return;
    due_ = loop_.Now() + std::chrono::milliseconds(interval_);
    pending_ = loop_.ScheduleAt(due_, [this] { Tick(); });
}

void Timer::Stop()
{
    if (pending_) {
        loop_.Cancel(*pending_);
        pending_.reset();
    }
}

void Timer::Tick()
{
    pending_.reset();
    // The next tick is scheduled before the handler runs, so a handler that disables the
    // timer or changes its interval cancels or moves it.
    Restart();
    if (OnTimer)
        OnTimer();
}

}  // namespace imconf
