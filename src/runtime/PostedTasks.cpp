#include "runtime/PostedTasks.h"

#include <exception>

namespace imconf {

bool PostedTasks::Push(Task task)
{
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    const bool wake = !wakePending_;
    wakePending_ = true;
    return wake;
}

void PostedTasks::RunPending(const std::function<void(Task&)>& run)
{
    std::size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        wakePending_ = false;
        count = tasks_.size();
    }
    for (std::size_t i = 0; i < count; ++i) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        run(task);
    }
}

void RunReportingErrors(EventLoop::Task& task,
                        const std::function<void(const std::string& text)>& report) noexcept
{
    try {
        task();
        return;
    } catch (const std::exception& error) {
        try {
            report(error.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            report("Unknown error.");
        } catch (...) {
        }
    }
}

}  // namespace imconf
