#include "runtime/StdEventLoop.h"

namespace imconf {

StdEventLoop::StdEventLoop() : start_(Clock::now()) {}

Micros StdEventLoop::Now() const
{
    return std::chrono::duration_cast<Micros>(Clock::now() - start_);
}

EventLoop::TimerToken StdEventLoop::ScheduleAt(Micros due, Task task)
{
    std::lock_guard lock(mutex_);
    const TimerToken token = nextToken_++;
    timers_.emplace(std::make_pair(due, token), std::move(task));
    dueOf_.emplace(token, due);
    wake_.notify_all();
    return token;
}

void StdEventLoop::Cancel(TimerToken token)
{
    std::lock_guard lock(mutex_);
    const auto it = dueOf_.find(token);
    if (it == dueOf_.end())
        return;
    timers_.erase(std::make_pair(it->second, token));
    dueOf_.erase(it);
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
            if (!timers_.empty() && timers_.begin()->first.first <= now) {
                auto first = timers_.begin();
                task = std::move(first->second);
                dueOf_.erase(first->first.second);
                timers_.erase(first);
                break;
            }
            if (now >= deadline)
                return;
            Micros wakeAt = deadline;
            if (!timers_.empty() && timers_.begin()->first.first < wakeAt)
                wakeAt = timers_.begin()->first.first;
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
