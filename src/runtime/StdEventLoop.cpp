#include "runtime/StdEventLoop.h"

namespace imconf {

StdEventLoop::StdEventLoop() : start_(Clock::now())
{
}

Micros StdEventLoop::Now() const
{
    return std::chrono::duration_cast<Micros>(Clock::now() - start_);
}

EventLoop::TimerToken StdEventLoop::ScheduleAt(Micros due, Task task)
{
    std::lock_guard lock(mutex_);
    const TimerToken token = timers_.Add(due, std::move(task));
    wake_.notify_all();
    return token;
}

void StdEventLoop::Cancel(TimerToken token)
{
    std::lock_guard lock(mutex_);
    timers_.Cancel(token);
}

void StdEventLoop::Post(Task task)
{
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
    wake_.notify_all();
}

void StdEventLoop::Quit()
{
    std::lock_guard lock(mutex_);
    quit_ = true;
    wake_.notify_all();
}

void StdEventLoop::Step(Micros deadline)
{
    Task task;
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (quit_)
                return;
            if (!posted_.empty()) {
                task = std::move(posted_.front());
                posted_.pop_front();
                break;
            }
            const Micros now = Now();
            if (auto due = timers_.TakeDue(now)) {
                task = std::move(due->Run);
                break;
            }
            if (now >= deadline)
                return;
            const std::optional<Micros> wait = timers_.WaitTime(now);
            const Micros wakeAt = wait && now + *wait < deadline ? now + *wait : deadline;
            wake_.wait_until(lock, start_ + wakeAt);
        }
    }
    task();
}

void StdEventLoop::Run()
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (quit_) {
                quit_ = false;
                return;
            }
        }
        Step(Now() + std::chrono::hours(1));
    }
}

bool StdEventLoop::RunUntil(const std::function<bool()>& done, Micros timeout)
{
    const Micros deadline = Now() + timeout;
    while (!done()) {
        if (Now() >= deadline)
            return false;
        Step(deadline);
        std::lock_guard lock(mutex_);
        if (quit_) {
            quit_ = false;
            return done();
        }
    }
    return true;
}

void StdEventLoop::RunFor(Micros duration)
{
    RunUntil([] { return false; }, duration);
}

}  // namespace imconf
