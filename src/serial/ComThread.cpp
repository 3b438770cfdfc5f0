#include "serial/ComThread.h"

#include "serial/ComDevice.h"

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
    shared_->device->StopMonitoring();
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

    device.StartMonitoring(shared->mask);
    for (;;) {
        if (shared->stop.load())
            break;
        const TComEvents events = device.WaitEvents();
        if (events == 0)
            break;  // the stop signal, or the wait failed
        shared->last.store(events);
        // Of the events in delivery order (error, characters received, transmit queue empty,
        // break, ring, CTS, DSR, event character, RLSD, 80 % full) only the characters have a
        // handler.
        if ((events & evRxChar) == 0)
            continue;
        const int count = device.InputCountNoThrow();
        if (count <= 0)
            continue;
        try {
            shared->port->RxChar(count);
        } catch (...) {
            break;  // an error escaping the handler ends the loop
        }
        if (shared->stop.load())
            return;  // closed from inside the handler: port and device may be gone
    }
    // Close waits for this thread before it closes the device, so the device is still there.
    device.EndMonitoring();
}

}  // namespace imconf
