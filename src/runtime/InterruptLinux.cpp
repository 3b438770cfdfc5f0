#include "runtime/Interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <thread>

namespace imconf {

struct InterruptWatch::Shared {
    std::function<void()> onInterrupt;
    sigset_t signals{};
    sigset_t previousMask{};
    std::atomic<bool> requested{false};
    std::atomic<bool> ending{false};
    std::thread thread;
};

namespace {

void Watch(InterruptWatch::Shared& shared)
{
    for (;;) {
        int signal = 0;
        if (::sigwait(&shared.signals, &signal) != 0 || shared.ending.load())
            return;
        if (shared.requested.exchange(true))
            std::_Exit(kInterruptedStatus);  // asked twice: the user will not wait
        shared.onInterrupt();
    }
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt)
    : shared_(std::make_shared<Shared>())
{
    shared_->onInterrupt = std::move(onInterrupt);
    sigemptyset(&shared_->signals);
    sigaddset(&shared_->signals, SIGINT);
    sigaddset(&shared_->signals, SIGTERM);
    sigaddset(&shared_->signals, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &shared_->signals, &shared_->previousMask);
    shared_->thread = std::thread(Watch, std::ref(*shared_));
}

InterruptWatch::~InterruptWatch()
{
    shared_->ending.store(true);
    ::pthread_kill(shared_->thread.native_handle(), SIGHUP);
    shared_->thread.join();
    // A signal that came after the watch ended is dropped: the program is ending anyway.
    timespec none{};
    while (::sigtimedwait(&shared_->signals, nullptr, &none) > 0) {
    }
    ::pthread_sigmask(SIG_SETMASK, &shared_->previousMask, nullptr);
}

bool InterruptWatch::Requested() const
{
    return shared_->requested.load();
}

void InterruptWatch::Released()
{
}

}  // namespace imconf
