#include "serial/ComThread.h"

#include "serial/ComDevice.h"

#include <cerrno>
#include <poll.h>

namespace imconf {

struct TComThread::Shared {
    TCustomComPort* port;
    ComDevice* device;
    TComEvents mask;
    std::atomic<bool> stop{false};
    std::atomic<TComEvents> last{0};
};

TComThread::TComThread(TCustomComPort& port, ComDevice& device)
    : shared_(std::make_shared<Shared>())
{
    shared_->port = &port;
    shared_->device = &device;
    shared_->mask = port.Events;
}

TComThread::~TComThread()
{
    if (thread_.joinable())
        thread_.detach();  // not reached through the component; never terminate for it
}

void TComThread::Start()
{
    thread_ = std::thread(&TComThread::Execute, shared_);
}

void TComThread::RequestStop()
{
    shared_->stop.store(true);
}

void TComThread::Join()
{
    if (thread_.joinable())
        thread_.join();
}

void TComThread::Detach()
{
    if (thread_.joinable())
        thread_.detach();
}

bool TComThread::IsCurrent() const
{
    return thread_.get_id() == std::this_thread::get_id();
}

TComEvents TComThread::LastEvents() const
{
    return shared_->last.load();
}

void TComThread::Execute(const std::shared_ptr<Shared>& sharedRef)
{
    // Own reference: after a stop requested from inside the handler the component drops
    // its TComThread while this function still runs.
    const std::shared_ptr<Shared> shared = sharedRef;
    ComDevice& device = *shared->device;
    const bool watchRx = (shared->mask & evRxChar) != 0;

    // Level-triggered wait: every byte that wakes it is moved into the input queue before
    // the next wait, so the wait never wakes twice for the same bytes. A hang-up is always
    // reported and ends the loop, as does the abort signal.
    pollfd fds[2] = {{device.Fd(), static_cast<short>(watchRx ? POLLIN : 0), 0},
                     {device.CancelFd(), POLLIN, 0}};
    for (;;) {
        if (shared->stop.load())
            return;
        const int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0 || shared->stop.load())
            return;
        const short events = fds[0].revents;
        bool gone = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        std::size_t added = 0;
        if ((events & POLLIN) != 0) {
            const ComDevice::PumpResult pumped = device.PumpInput();
            added = pumped.added;
            gone = gone || pumped.gone;
        }
        if (added > 0) {
            shared->last.store(evRxChar);
            const int count = device.InputCountNoThrow();
            if (count > 0) {
                try {
                    shared->port->RxChar(count);
                } catch (...) {
                    return;  // an error escaping the handler ends the loop
                }
                if (shared->stop.load())
                    return;  // closed from inside the handler: port and device may be gone
            }
        }
        if (gone)
            return;
    }
}

}  // namespace imconf
