#include "runtime/VirtualEventLoop.h"

namespace imconf {

EventLoop::TimerToken VirtualEventLoop::ScheduleAt(Micros due, Task task)
{
    return timers_.Add(due < now_ ? now_ : due, std::move(task));
}

void VirtualEventLoop::Cancel(TimerToken token)
{
    timers_.Cancel(token);
}

void VirtualEventLoop::Post(Task task)
{
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
}

void VirtualEventLoop::RunPosted()
{
    for (;;) {
        Task task;
        {
            std::lock_guard lock(postedMutex_);
            if (posted_.empty())
                return;
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        ++eventsRun_;
        task();
    }
}

bool VirtualEventLoop::RunOne(Micros until)
{
    {
        std::unique_lock lock(postedMutex_);
        if (!posted_.empty()) {
            Task task = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            ++eventsRun_;
            task();
            return true;
        }
    }
    std::optional<TimerQueue::DueTask> due = timers_.TakeDue(until);
    if (!due)
        return false;
    now_ = due->Due;
    ++eventsRun_;
    due->Run();
    return true;
}

void VirtualEventLoop::RunUntil(Micros until)
{
    while (RunOne(until)) {
    }
    if (now_ < until)
        now_ = until;
}

bool VirtualEventLoop::RunUntil(const std::function<bool()>& done, Micros limit)
{
    const Micros until = now_ + limit;
    if (done())
        return true;
    while (RunOne(until)) {
        if (done())
            return true;
    }
    if (now_ < until)
        now_ = until;
    return done();
}

}  // namespace imconf
