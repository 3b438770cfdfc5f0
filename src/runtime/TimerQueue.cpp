#include "runtime/TimerQueue.h"

namespace imconf {

TimerQueue::Token TimerQueue::Add(Micros due, Task task)
{
    const Token token = nextToken_++;
    byDue_.emplace(std::make_pair(due, token), std::move(task));
    dueOf_.emplace(token, due);
    return token;
}

void TimerQueue::Cancel(Token token)
{
    const auto it = dueOf_.find(token);
    if (it == dueOf_.end())
        return;
    byDue_.erase(std::make_pair(it->second, token));
    dueOf_.erase(it);
}

std::optional<Micros> TimerQueue::NextDue() const
{
    if (byDue_.empty())
        return std::nullopt;
    return byDue_.begin()->first.first;
}

std::optional<Micros> TimerQueue::WaitTime(Micros now, Micros resolution) const
{
    const std::optional<Micros> due = NextDue();
    if (!due)
        return std::nullopt;
    if (*due <= now)
        return Micros(0);
    const auto step = resolution.count() > 0 ? resolution.count() : 1;
    return Micros((((*due - now).count() + step - 1) / step) * step);
}

std::optional<TimerQueue::DueTask> TimerQueue::TakeDue(Micros now, Token addedFrom)
{
    for (auto it = byDue_.begin(); it != byDue_.end() && it->first.first <= now; ++it) {
        if (it->first.second >= addedFrom)
            continue;
        DueTask due{it->first.first, std::move(it->second)};
        dueOf_.erase(it->first.second);
        byDue_.erase(it);
        return due;
    }
    return std::nullopt;
}

void TimerQueue::RunRound(Micros now, const std::function<void(Task&)>& run)
{
    const Token roundEnd = NextToken();
    while (std::optional<DueTask> due = TakeDue(now, roundEnd))
        run(due->Run);
}

}  // namespace imconf
