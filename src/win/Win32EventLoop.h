#pragma once
// The tool's event loop on the Win32 message loop of the window's thread. Posted tasks wake
// it through PostMessage to a message-only window; scheduled tasks are timed by a waiting
// thread at the multimedia timer's 1 ms resolution (a Windows timer message would round a
// 5 ms tick up to the 10-16 ms system step), which also posts its wake-up. Both arrive in any
// message loop of the thread, modal dialogs' and menus' included. An exception that escapes a
// task goes to the error handler; nothing escapes into the window procedure.

#include "runtime/WindowEventLoop.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace imconf::win {

class Win32EventLoop final : public WindowEventLoop {
public:
    // Create on the window's thread; it must outlive every thread that posts to it.
    Win32EventLoop();
    ~Win32EventLoop() override;

    // The thread's message loop until WM_QUIT; returns its exit code.
    static int RunMessageLoop();
    // Dispatches the thread's messages until `done` holds or `limit` passed; true when done.
    bool PumpUntil(const std::function<bool()>& done, Micros limit);

private:
    static LRESULT CALLBACK WakeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Arm() override;
    void WakeForPosted() override;
    void ReportUnhandled(const std::string& text) override;
    void TimerWake();
    void WaiterThread();

    HWND wake_ = nullptr;

    std::mutex mutex_;  // guards what follows
    std::optional<Clock::time_point> deadline_;
    bool tickPending_ = false;
    bool stopping_ = false;
    HANDLE rearm_ = nullptr;  // auto-reset event: the deadline changed
    std::thread waiter_;
};

}  // namespace imconf::win
