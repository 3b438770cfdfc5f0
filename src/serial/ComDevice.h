#pragma once
// The Linux side of the serial component: one open terminal device, the signal that aborts
// its reads and writes, and the input queue into which the monitoring thread moves bytes
// nobody is reading yet (so that a level-triggered wait does not wake again for them).

#include "serial/ComPort.h"
#include "serial/LineSettings.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace imconf {

class ComDevice {
public:
    // Opens the terminal at `path` for reading and writing, exclusively (TIOCEXCL and an
    // advisory lock), and discards its stale input. Raises code 1 when the path cannot be
    // opened, is not a terminal, or another opener holds it (EBUSY).
    static std::unique_ptr<ComDevice> Open(const std::string& path);
    ~ComDevice();
    ComDevice(const ComDevice&) = delete;
    ComDevice& operator=(const ComDevice&) = delete;

    // Settings; each raises its code (9, 7, 8) with EINVAL for values it cannot use.
    void SetBuffers(const TComBuffer& buffer);
    void SetLine(const linuxtty::LineSettings& line, const TComFlowControl& flow);
    void SetTimeouts(const TComTimeouts& timeouts);

    int Read(void* buffer, int count);         // code 3
    int Write(const void* buffer, int count);  // code 2
    int InputCount();                          // code 10

    // Makes every read and write in progress, and every later one, fail; wakes the
    // monitoring thread. Returns false (errno set) when the signal could not be given.
    bool Cancel();
    int CancelFd() const { return cancelFd_; }
    int Fd() const { return fd_; }

    // Monitoring thread: moves the bytes the device holds into the input queue.
    struct PumpResult {
        std::size_t added = 0;  // bytes stored (not those dropped on a full queue)
        bool gone = false;      // end of file or a read error: the device has vanished
    };
    PumpResult PumpInput();
    // InputCount for the monitoring thread: never raises, counts only the queue on failure.
    int InputCountNoThrow();

    // Discards the device's queues and the component's input queue; errors are ignored
    // (a vanished device has nothing to discard).
    void Purge();

private:
    ComDevice(int fd, int cancelFd, int rxReadyFd);

    // Takes up to `count` bytes: first from the queue, then from the device. Under rxMutex_.
    int TakeInput(unsigned char* out, int count, int& error, bool& gone);
    void SetRxReady(bool ready);

    const int fd_;
    const int cancelFd_;   // eventfd; readable once Cancel was called
    const int rxReadyFd_;  // eventfd; readable while rxQueue_ is not empty
    std::atomic<bool> cancelled_{false};
    // Set before the monitoring thread starts, constant afterwards.
    std::size_t rxCapacity_ = 1024;
    TComTimeouts timeouts_;

    std::mutex rxMutex_;
    std::deque<unsigned char> rxQueue_;
    bool rxReady_ = false;
};

}  // namespace imconf
