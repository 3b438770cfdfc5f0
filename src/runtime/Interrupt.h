#pragma once
// The user or the system asking a running program to stop: Ctrl-C, SIGTERM and SIGHUP on
// Linux; Ctrl-C, Ctrl-Break, closing the console window, logging off and shutting down on
// Windows. Instead of dying at once, the program is told, finishes the transaction on the
// line, lets go of the port and ends on its own.
//
// One watch at a time, made on the program's main thread before any other thread starts
// (on Linux the signals are blocked for every thread made afterwards and taken by the watch's
// own thread). `onInterrupt` runs on that thread, or on the console's handler thread on
// Windows, once per request: it must only set a flag and wake the loop (EventLoop::Post).
// A second request while the first is being served ends the program at once (status 130).

#include <functional>
#include <memory>

namespace imconf {

class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Requested() const;
    // The program has let go of what it held: on Windows a console that is closing (or a
    // session that ends) may now end the process.
    void Released();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

// The exit status of a program that stopped on request: 128 + SIGINT, as shells expect.
inline constexpr int kInterruptedStatus = 130;

}  // namespace imconf
