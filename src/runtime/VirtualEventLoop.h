#pragma once
// An event loop in virtual time, for tests and in-process simulation: time stands still
// until the test advances it; due timers and posted events then run in order.

#include "runtime/EventLoop.h"
#include "runtime/TimerQueue.h"

#include <deque>
#include <functional>
#include <mutex>

namespace imconf {

class VirtualEventLoop : public EventLoop {
public:
    Micros Now() const override { return now_; }
    TimerToken ScheduleAt(Micros due, Task task) override;
    void Cancel(TimerToken token) override;
    void Post(Task task) override;

    // Runs everything due up to `until` (posted events first, then timers in time order,
    // each at its own time) and leaves the clock at `until`.
    void RunUntil(Micros until);
    void Advance(Micros duration) { RunUntil(now_ + duration); }
    // Runs until `done` holds (checked after every event) or `limit` has passed.
    // Returns whether `done` held.
    bool RunUntil(const std::function<bool()>& done, Micros limit);
    // Runs posted events only, at the current time.
    void RunPosted();

    bool HasPendingTimers() const { return !timers_.Empty(); }
    std::size_t EventsRun() const { return eventsRun_; }

private:
    bool RunOne(Micros until);

    Micros now_{0};
    TimerQueue timers_;
    mutable std::mutex postedMutex_;
    std::deque<Task> posted_;
    std::size_t eventsRun_ = 0;
};

}  // namespace imconf
