#pragma once
// The scheduled tasks of an event loop: in due order and, for one due time, in the order they
// were added; cancelled by their token. Every loop keeps its tasks here and adds only its
// clock and its way of waiting for the next one. Not locked: the loop's thread only.

#include "runtime/EventLoop.h"

#include <cstddef>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <utility>

namespace imconf {

class TimerQueue {
public:
    using Task = EventLoop::Task;
    using Token = EventLoop::TimerToken;

    struct DueTask {
        Micros Due{0};
        Task Run;
    };

    Token Add(Micros due, Task task);
    // Unknown or spent tokens are ignored.
    void Cancel(Token token);

    bool Empty() const { return byDue_.empty(); }
    std::size_t Size() const { return byDue_.size(); }
    std::optional<Micros> NextDue() const;
    // How long a loop whose clock reads `now` may wait for the next task, rounded up to the
    // loop's `resolution` so that nothing runs early; zero when a task is due, nothing when
    // none is scheduled.
    std::optional<Micros> WaitTime(Micros now, Micros resolution = Micros(1)) const;

    // The token the next Add returns: tasks added from now on have this token or a later one.
    Token NextToken() const { return nextToken_; }
    // Takes the first task due at `now` or earlier out of the queue; tasks added with the token
    // `addedFrom` or later are left for a later round.
    std::optional<DueTask> TakeDue(Micros now, Token addedFrom = std::numeric_limits<Token>::max());
    // One round of a loop's tick: every task due at `now`, each through `run`, but none added
    // during the round (a task that schedules itself for "now" cannot hold the loop). Nothing
    // of the round is held across a task, which may run a nested loop.
    void RunRound(Micros now, const std::function<void(Task&)>& run);

private:
    std::map<std::pair<Micros, Token>, Task> byDue_;
    std::map<Token, Micros> dueOf_;
    Token nextToken_ = 1;
};

}  // namespace imconf
