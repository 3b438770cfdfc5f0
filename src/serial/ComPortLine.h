#pragma once
// The serial line over the real serial component. Its receive handler runs on the port's
// monitoring thread: it reads the reply (up to the expected length, ended by that count or
// by the line's silence) and posts the block to the event loop's thread. It touches no
// state of the tool.
//
// A network port (serial/NetworkPortName.h) keeps its connection while it stays chosen: Close
// leaves a working connection open, so the next Open costs nothing; the connection is closed
// after kNetworkIdleCloseMs without a transaction (many device servers take one client at a
// time), when another port is chosen, and with the line. A lost connection is made again by
// the next Open.

#include "runtime/EventLoop.h"
#include "runtime/Timer.h"
#include "serial/ComPort.h"
#include "serial/EchoReads.h"
#include "serial/NetworkPortName.h"
#include "serial/SerialLine.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace imconf {

// The settings the tool's window gives its port: reads ended by 150 ms of silence, writes
// limited to 100 ms a byte + 1000 ms, 1024-byte queues, events on the monitoring thread.
void ApplyToolPortSettings(TCustomComPort& port);

inline constexpr std::uint32_t kNetworkIdleCloseMs = 30000;

class ComPortLine : public ISerialLine {
public:
    ComPortLine(TCustomComPort& port, EventLoop& loop);
    ~ComPortLine() override;

    void Open() override;
    void Close() override;
    void Write(const std::uint8_t* bytes, std::size_t count) override;
    bool Connected() const override { return port_.Connected(); }
    void SetHeld(bool held) override { port_.SetHeld(held); }
    TBaudRate BaudRate() const override { return port_.BaudRate(); }
    void SetBaudRate(TBaudRate rate) override { port_.SetBaudRate(rate); }
    std::string Port() const override { return port_.Port(); }
    void SetPort(const std::string& name) override;
    void ExpectReply(std::uint8_t length, std::uint64_t tag) override;
    void SetBlockHandler(BlockHandler handler) override;
    void ExpectEcho(bool on) override { echo_.store(on); }
    ComLinkState LinkState() override { return port_.LinkState(); }
    std::uint32_t ResponseAllowanceMs() const override;
    void SetNetworkLatency(std::uint32_t ms) override { networkLatency_ = ms; }
    bool SpeedSwitchable() const override;

    TCustomComPort& ComPort() { return port_; }

private:
    // Monitoring thread.
    void ReceiveHandler(TCustomComPort& sender, int count);
    // One read, its block posted; true when it was (a part of) the echo.
    bool ReadBlock(TCustomComPort& sender);
    // Hands a block (or a read's announcement) to the loop's thread.
    void Post(ReceivedBlock block);

    struct Shared {
        BlockHandler handler;  // used on the loop's thread only
    };

    bool OnNetworkPort() const;

    TCustomComPort& port_;
    EventLoop& loop_;
    // Closes a kept network connection nobody has used for a while (loop's thread).
    Timer idleClose_{loop_, kNetworkIdleCloseMs};
    std::uint32_t networkLatency_ = kDefaultNetworkLatencyMs;
    std::atomic<std::uint8_t> expected_{0};
    std::atomic<std::uint64_t> tag_{0};
    std::atomic<bool> echo_{false};
    std::mutex echoMutex_;  // guards echoReads_ (written on the UI thread, read here)
    EchoReads echoReads_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace imconf
