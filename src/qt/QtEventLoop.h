#pragma once
// The tool's event loop on the Qt GUI thread: one precise single-shot QTimer wakes it for the
// next scheduled task (to the millisecond), posted
// tasks arrive through the Qt event queue. An exception that escapes a task goes to the error
// handler; nothing escapes into Qt.

#include "runtime/EventLoop.h"
#include "runtime/PostedTasks.h"
#include "runtime/TimerQueue.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QObject;
class QTimer;

namespace imconf {

class QtEventLoop final : public EventLoop {
public:
    using ErrorHandler = std::function<void(const std::string& text)>;

    // Create on the GUI thread, after the QApplication. It must outlive every thread that
    // posts to it.
    QtEventLoop();
    ~QtEventLoop() override;

    Micros Now() const override;
    TimerToken ScheduleAt(Micros due, Task task) override;
    void Cancel(TimerToken token) override;
    void Post(Task task) override;

    // Receives the text of every error that escapes a task (the window's general error report).
    void SetErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

    // Scheduled tasks not yet run (for tests and diagnostics).
    std::size_t PendingTimers() const { return timers_.Size(); }

private:
    void Run(Task& task) noexcept;
    void Arm();
    void RunDueTimers();
    void RunPosted();

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start_;
    std::unique_ptr<QObject> context_;
    QTimer* timer_ = nullptr;  // owned by context_

    // GUI thread only.
    TimerQueue timers_;

    // Any thread.
    PostedTasks posted_;

    ErrorHandler errorHandler_;
};

}  // namespace imconf
