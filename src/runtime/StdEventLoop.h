#pragma once
// A real-time event loop on the standard library, for command-line tools, end-to-end tests
// and benchmarks. The thread that calls Run* is the loop's thread.

#include "runtime/EventLoop.h"
#include "runtime/TimerQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace imconf {

class StdEventLoop : public EventLoop {
public:
    StdEventLoop();

    Micros Now() const override;
    TimerToken ScheduleAt(Micros due, Task task) override;
    void Cancel(TimerToken token) override;
    void Post(Task task) override;

    // Runs until Quit() is called (from the loop or from another thread).
    void Run();
    void Quit();
    // Runs until `done` holds (checked after every event) or `timeout` has passed.
    bool RunUntil(const std::function<bool()>& done, Micros timeout);
    void RunFor(Micros duration);

private:
    using Clock = std::chrono::steady_clock;
    // Runs one due event or waits for the next one, at most until `deadline`.
    void Step(Micros deadline);

    const Clock::time_point start_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> posted_;
    // Under mutex_ as well, so that the wait for the next task and a change of it cannot cross.
    TimerQueue timers_;
    bool quit_ = false;
};

}  // namespace imconf
