#pragma once
// A serial line in virtual time between the tool and the in-process module simulator.
//
// It models what the real path does: a request takes line time at the port's speed (10 bits
// a byte) and reaches the module when its last byte is through; the module answers after
// its think time, byte by byte at the module's speed; a receive event reads up to the
// expected number of bytes and ends at that count or 150 ms after the last byte, and hands
// the block to the loop's thread (announced when the read begins). A device that listens at another speed than the port
// does not understand the request. Open, write and close failures can be injected.
//
// The adapter can be one that hands every request back (local echo: the request's bytes reach
// the receiver as they go out) and one that delivers received bytes in bursts, as a USB adapter
// does with its latency timer (Adapter). Told that the adapter echoes (ExpectEcho), the line
// reads the echo by its own, as the real line does.

#include "runtime/VirtualEventLoop.h"
#include "serial/EchoReads.h"
#include "serial/SerialLine.h"

#include "Adapter.h"
#include "ModuleSimulator.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace imconf {

class SimulatedLine : public ISerialLine {
public:
    static constexpr Micros kReadInterval{150000};

    SimulatedLine(VirtualEventLoop& loop, sim::TModuleSimulator& module);
    ~SimulatedLine() override;

    void Open() override;
    void Close() override;
    void Write(const std::uint8_t* bytes, std::size_t count) override;
    bool Connected() const override { return connected_; }
    void SetHeld(bool held) override;
    TBaudRate BaudRate() const override { return baudRate_; }
    void SetBaudRate(TBaudRate rate) override;
    std::string Port() const override { return port_; }
    void SetPort(const std::string& name) override;
    void ExpectReply(std::uint8_t length, std::uint64_t tag) override;
    void SetBlockHandler(BlockHandler handler) override { handler_ = std::move(handler); }
    void ExpectEcho(bool on) override { echoRead_ = on; }

    // The adapter; set before the line is used.
    sim::TAdapter Adapter;
    bool EchoExpected() const { return echoRead_; }

    // Failure injection: the OS error number that open, write or close fails with (0: none).
    int OpenError = 0;
    int WriteError = 0;
    int CloseError = 0;

    // When set, a request goes to this function instead of the module; an empty result
    // falls back to the module.
    std::function<std::optional<sim::TReply>(std::span<const std::uint8_t>)> Intercept;

    // Bytes that start to arrive after `delay`, as if the module (or noise) sent them.
    void InjectFromLine(std::vector<std::uint8_t> bytes, Micros delay);

    struct Request {
        Micros writtenAt{0};
        Micros doneAt{0};  // last byte through the line
        std::vector<std::uint8_t> bytes;
        unsigned baud = 0;
    };
    const std::vector<Request>& Requests() const { return requests_; }
    // Times at which received blocks were handed over, with their sizes.
    struct Delivery {
        Micros at{0};
        std::size_t size = 0;
    };
    const std::vector<Delivery>& Deliveries() const { return deliveries_; }
    int OpenCount() const { return openCount_; }
    int CloseCount() const { return closeCount_; }
    // The device itself: open while connected and while kept between two transactions of a
    // held port; DeviceOpenCount counts the times it was really opened.
    bool DeviceOpen() const { return connected_ || kept_; }
    int DeviceOpenCount() const { return deviceOpenCount_; }
    unsigned PortBaud() const;

private:
    void RequestThrough(std::vector<std::uint8_t> frame, unsigned baud);
    // Byte i is through the line at start + line time of i + 1 bytes.
    void ScheduleBytes(const std::vector<std::uint8_t>& bytes, Micros start, unsigned baud,
                       bool fromModule);
    void ByteArrives(std::uint8_t byte);
    // Bytes through the adapter into the receive queue.
    void Received(std::span<const std::uint8_t> bytes);
    // Keeps the adapter's latency timer set while it holds bytes.
    void ArmBurst();
    // Moves received bytes into the read in progress (starting one when bytes wait) and
    // ends it on its count; otherwise re-arms the silence timer.
    void Pump();
    void FinishRead();
    // Hands a block (or a read's announcement) to the loop's thread.
    void Hand(ReceivedBlock block);
    void CancelReadTimer();
    // Wraps a scheduled task so that it does nothing once the line is gone.
    template <typename F>
    EventLoop::Task Guarded(F task)
    {
        return [life = std::weak_ptr<int>(life_), task = std::move(task)]() mutable {
            if (life.lock())
                task();
        };
    }

    VirtualEventLoop& loop_;
    sim::TModuleSimulator& module_;
    BlockHandler handler_;
    std::string port_ = "COM1";
    TBaudRate baudRate_ = TBaudRate::br9600;
    bool connected_ = false;
    bool held_ = false;
    bool kept_ = false;  // the device stays open between two transactions of a held port
    std::uint8_t expected_ = 0;
    std::uint64_t tag_ = 0;

    Micros txFreeAt_{0};
    std::deque<std::uint8_t> queue_;  // bytes received, not yet taken by a read
    bool reading_ = false;
    std::size_t readLength_ = 0;
    bool echoRead_ = false;
    EchoReads echoReads_;
    std::optional<sim::TUsbBurst> burst_;
    std::optional<EventLoop::TimerToken> burstTimer_;
    std::uint64_t readTag_ = 0;
    std::vector<std::uint8_t> readBytes_;
    std::optional<EventLoop::TimerToken> readTimer_;
    std::shared_ptr<int> life_ = std::make_shared<int>(0);

    std::vector<Request> requests_;
    std::vector<Delivery> deliveries_;
    int openCount_ = 0;
    int closeCount_ = 0;
    int deviceOpenCount_ = 0;
};

}  // namespace imconf
