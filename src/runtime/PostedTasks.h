#pragma once
// What the GUI event loops share besides their timer queue: the tasks posted to them from any
// thread, woken once per batch, and the run of one task that keeps its errors in the loop.

#include "runtime/EventLoop.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace imconf {

class PostedTasks {
public:
    using Task = EventLoop::Task;

    // Any thread. True when the loop must be woken: no wake-up is on its way yet.
    bool Push(Task task);
    // The loop's thread, on its wake-up: runs the tasks that were there when it came, one at
    // a time and with nothing held across a task (a task may run a modal dialog whose nested
    // loop takes further wake-ups); later tasks come with a wake-up of their own.
    void RunPending(const std::function<void(Task&)>& run);

private:
    std::mutex mutex_;
    std::deque<Task> tasks_;
    bool wakePending_ = false;
};

// Runs `task`; the text of an error that escapes it goes to `report` (an error of the report
// itself is swallowed: there is nobody left to tell).
void RunReportingErrors(EventLoop::Task& task,
                        const std::function<void(const std::string& text)>& report) noexcept;

}  // namespace imconf
