#pragma once
// The monitoring thread of the serial component: waits for line events of the port's event
// mask or for its stop signal, and reports received characters through the port's receive
// event, on this thread.

#include "serial/ComPort.h"

#include <atomic>
#include <memory>
#include <thread>

namespace imconf {

class TComThread {
public:
    TComThread(TCustomComPort& port, ComDevice& device);
    ~TComThread();  // the thread must have been joined or detached
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Start();
    // Tells the loop to end and gives the device's stop signal.
    void RequestStop();
    void Join();
    // For a stop requested on the thread itself (the receive handler closed the port): the
    // thread then touches neither the port nor the device again and ends by itself.
    void Detach();
    bool IsCurrent() const;
    // The events reported last.
    TComEvents LastEvents() const;

private:
    struct Shared;
    static void Execute(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace imconf
