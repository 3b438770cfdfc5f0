#include "runtime/VirtualEventLoop.h"

namespace imconf {

EventLoop::TimerToken VirtualEventLoop::ScheduleAt(Micros due, Task task)
{
    if (due < now_)
        due = now_;
    const TimerToken token = nextToken_++;
    timers_.emplace(std::make_pair(due, token), std::move(task));
    dueOf_.emplace(token, due);
    return token;
}

void VirtualEventLoop::Cancel(TimerToken token)
{
    const auto it = dueOf_.find(token);
    if (it == dueOf_.end())
        return;
    timers_.erase(std::make_pair(it->second, token));
    dueOf_.erase(it);
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
    if (timers_.empty())
        return false;
    auto first = timers_.begin();
    if (first->first.first > until)
        return false;
    now_ = first->first.first;
    Task task = std::move(first->second);
    dueOf_.erase(first->first.second);
    timers_.erase(first);
    ++eventsRun_;
    task();
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
