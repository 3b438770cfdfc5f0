#include "runtime/Interrupt.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <windows.h>

namespace imconf {

struct InterruptWatch::Shared {
    std::function<void()> onInterrupt;
    std::atomic<bool> requested{false};
    HANDLE released = nullptr;  // manual reset; set once the program let go of the port
    ~Shared()
    {
        if (released != nullptr)
            ::CloseHandle(released);
    }
};

namespace {

// The console calls a plain function: it finds the one watch of the program here.
struct CurrentWatch {
    std::mutex mutex;
    std::shared_ptr<InterruptWatch::Shared> shared;
};

CurrentWatch& Current()
{
    static CurrentWatch current;
    return current;
}

// The system ends the process when this returns from a close, log-off or shut-down event,
// and allows about five seconds: it waits until the program has let go of the port.
constexpr DWORD kReleaseWaitMs = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    std::shared_ptr<InterruptWatch::Shared> shared;
    {
        std::lock_guard lock(Current().mutex);
        shared = Current().shared;
    }
    if (!shared)
        return FALSE;
    if (shared->requested.exchange(true) && event <= CTRL_BREAK_EVENT)
        std::_Exit(kInterruptedStatus);  // asked twice: the user will not wait
    shared->onInterrupt();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(shared->released, kReleaseWaitMs);
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt)
    : shared_(std::make_shared<Shared>())
{
    shared_->onInterrupt = std::move(onInterrupt);
    shared_->released = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        std::lock_guard lock(Current().mutex);
        Current().shared = shared_;
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch()
{
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    Released();
    std::lock_guard lock(Current().mutex);
    if (Current().shared == shared_)
        Current().shared.reset();
}

bool InterruptWatch::Requested() const
{
    return shared_->requested.load();
}

void InterruptWatch::Released()
{
    if (shared_->released != nullptr)
        ::SetEvent(shared_->released);
}

}  // namespace imconf
