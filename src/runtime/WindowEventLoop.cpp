#include "runtime/WindowEventLoop.h"

namespace imconf {

WindowEventLoop::WindowEventLoop() : start_(Clock::now())
{
}

Micros WindowEventLoop::Now() const
{
    return std::chrono::duration_cast<Micros>(Clock::now() - start_);
}

EventLoop::TimerToken WindowEventLoop::ScheduleAt(Micros due, Task task)
{
    const TimerToken token = timers_.Add(due, std::move(task));
    Arm();
    return token;
}

void WindowEventLoop::Cancel(TimerToken token)
{
    timers_.Cancel(token);
    Arm();
}

void WindowEventLoop::Post(Task task)
{
    // The wake-up carries no data: the tasks stay in our own queue under our own lock.
    if (posted_.Push(std::move(task)))
        WakeForPosted();
}

std::optional<Micros> WindowEventLoop::WaitTime() const
{
    return timers_.WaitTime(Now(), std::chrono::milliseconds(1));
}

void WindowEventLoop::RunDueTimers()
{
    timers_.RunRound(Now(), [this](Task& task) { Run(task); });
    Arm();
}

void WindowEventLoop::RunPosted()
{
    posted_.RunPending([this](Task& task) { Run(task); });
}

void WindowEventLoop::Run(Task& task) noexcept
{
    RunReportingErrors(task, [this](const std::string& text) {
        if (errorHandler_)
            errorHandler_(text);
        else
            ReportUnhandled(text);
    });
}

}  // namespace imconf
