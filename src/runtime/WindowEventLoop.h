#pragma once
// What the event loops of the window shells share: the clock, the timer queue, the tasks posted
// from any thread and the error handler. A shell's loop says only how it is woken: Arm when the
// earliest due time may have changed (the window's thread), WakeForPosted when a task waits in
// an empty posted queue (any thread); on those wake-ups it calls RunDueTimers and RunPosted.

#include "runtime/EventLoop.h"
#include "runtime/PostedTasks.h"
#include "runtime/TimerQueue.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace imconf {

class WindowEventLoop : public EventLoop {
public:
    using ErrorHandler = std::function<void(const std::string& text)>;

    Micros Now() const final;
    TimerToken ScheduleAt(Micros due, Task task) final;
    void Cancel(TimerToken token) final;
    void Post(Task task) final;

    // Receives the text of every error that escapes a task (the window's general error report).
    void SetErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }
    // Scheduled tasks not yet run (for tests and diagnostics).
    std::size_t PendingTimers() const { return timers_.Size(); }

protected:
    using Clock = std::chrono::steady_clock;

    WindowEventLoop();

    // The window's thread: the earliest due time may have changed.
    virtual void Arm() = 0;
    // Any thread: the first task of a batch waits in the posted queue.
    virtual void WakeForPosted() = 0;
    // Where an error that escapes a task goes while no handler is set.
    virtual void ReportUnhandled(const std::string& text) = 0;

    // How long until the next scheduled task, in whole milliseconds rounded up (a tick never
    // comes before its time); none while nothing is scheduled.
    std::optional<Micros> WaitTime() const;
    // The window's thread, on the timers' wake-up: the due round, then Arm for the next.
    void RunDueTimers();
    // The window's thread, on the posted tasks' wake-up.
    void RunPosted();

private:
    void Run(Task& task) noexcept;

    const Clock::time_point start_;
    TimerQueue timers_;   // the window's thread only
    PostedTasks posted_;  // any thread
    ErrorHandler errorHandler_;
};

}  // namespace imconf
