#include "win/Win32EventLoop.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace imconf::win {

namespace {

constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT kTimerMessage = WM_APP + 2;
constexpr const wchar_t* kWakeClass = L"ImconfLoopWake";

}  // namespace

Win32EventLoop::Win32EventLoop()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &Win32EventLoop::WakeProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWakeClass;
    ::RegisterClassExW(&wc);  // fails harmlessly when a second loop registers it again
    wake_ = ::CreateWindowExW(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, this);
    if (wake_ == nullptr)
        throw std::runtime_error("cannot create the event loop's window");
    ::SetWindowLongPtrW(wake_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    rearm_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // Sleeps and waits of the whole process to the millisecond while the tool runs.
    ::timeBeginPeriod(1);
    waiter_ = std::thread([this] { WaiterThread(); });
}

Win32EventLoop::~Win32EventLoop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ::SetEvent(rearm_);
    waiter_.join();
    ::timeEndPeriod(1);
    ::CloseHandle(rearm_);
    ::SetWindowLongPtrW(wake_, GWLP_USERDATA, 0);
    ::DestroyWindow(wake_);
}

void Win32EventLoop::WakeForPosted()
{
    ::PostMessageW(wake_, kPostedMessage, 0, 0);
}

void Win32EventLoop::ReportUnhandled(const std::string& text)
{
    std::fprintf(stderr, "imconf: %s\n", text.c_str());
}

void Win32EventLoop::Arm()
{
    const std::optional<Micros> wait = WaitTime();
    {
        std::lock_guard lock(mutex_);
        if (wait)
            deadline_ = Clock::now() + *wait;
        else
            deadline_.reset();
    }
    ::SetEvent(rearm_);
}

void Win32EventLoop::WaiterThread()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        DWORD waitMs = INFINITE;
        if (deadline_ && !tickPending_) {
            const auto left = *deadline_ - Clock::now();
            if (left <= Clock::duration::zero()) {
                tickPending_ = true;
                deadline_.reset();
                ::PostMessageW(wake_, kTimerMessage, 0, 0);
                continue;
            }
            // Whole milliseconds, rounded up: a tick never comes early.
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            waitMs = static_cast<DWORD>(std::min<long long>(ms, 24LL * 3600 * 1000));
        }
        lock.unlock();
        ::WaitForSingleObject(rearm_, waitMs);
        lock.lock();
    }
}

void Win32EventLoop::TimerWake()
{
    {
        std::lock_guard lock(mutex_);
        tickPending_ = false;
    }
    RunDueTimers();
}

LRESULT CALLBACK Win32EventLoop::WakeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<Win32EventLoop*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && message == kPostedMessage) {
        self->RunPosted();
        return 0;
    }
    if (self != nullptr && message == kTimerMessage) {
        self->TimerWake();
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

int Win32EventLoop::RunMessageLoop()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool Win32EventLoop::PumpUntil(const std::function<bool()>& done, Micros limit)
{
    const Micros end = Now() + limit;
    while (!done()) {
        const Micros now = Now();
        if (now >= end)
            return false;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<long long>(ms, 50)),
                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

}  // namespace imconf::win
