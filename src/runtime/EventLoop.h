#pragma once
// The event loop the tool's handlers run on. Everything of the tool runs on the loop's
// thread (timer ticks, posted events); other threads only Post.

#include <chrono>
#include <cstdint>
#include <functional>

namespace imconf {

using Micros = std::chrono::microseconds;

class EventLoop {
public:
    using Task = std::function<void()>;
    using TimerToken = std::uint64_t;

    EventLoop() = default;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;
    virtual ~EventLoop() = default;

    // Monotonic time of the loop.
    virtual Micros Now() const = 0;
    // Runs `task` once on the loop's thread when Now() reaches `due`. Loop thread only.
    virtual TimerToken ScheduleAt(Micros due, Task task) = 0;
    // Cancels a scheduled task that has not run yet; unknown or spent tokens are ignored.
    virtual void Cancel(TimerToken token) = 0;
    // Runs `task` on the loop's thread as soon as possible. Safe from any thread.
    virtual void Post(Task task) = 0;
};

}  // namespace imconf
