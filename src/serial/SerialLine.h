#pragma once
// The serial line as the transaction engine sees it: open, close, write, speed, port name,
// and the blocks of received bytes. Implemented over the real serial component and, for
// tests, by a simulated line in virtual time.

#include "serial/ComTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace imconf {

// What one receive event read: up to the expected number of bytes, ended by that count or
// by the line's silence. `tag` names the transaction that was awaiting a reply when the
// read began. A read announces itself as it begins, with a block of no bytes under the same
// tag, handed over before its bytes (which may take up to the silence to come; a read that a
// close aborts brings none): so the tool learns when a reply began to come in, not only when
// it ended. A read the line knows to be the echo of the request (ExpectEcho) is not announced.
struct ReceivedBlock {
    std::uint64_t tag = 0;
    std::vector<std::uint8_t> bytes;
};

class ISerialLine {
public:
    using BlockHandler = std::function<void(ReceivedBlock block)>;

    virtual ~ISerialLine() = default;

    // Each of these raises EComPort on failure, as the serial component does.
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual void Write(const std::uint8_t* bytes, std::size_t count) = 0;
    virtual bool Connected() const = 0;
    // While held (by an operation of several transactions), Close ends only the transaction:
    // the port stays this program's, no other program can take it, and the input that comes
    // until the next Open is discarded. SetHeld(false) lets go of a port kept this way.
    virtual void SetHeld(bool held) = 0;

    virtual TBaudRate BaudRate() const = 0;
    virtual void SetBaudRate(TBaudRate rate) = 0;
    virtual std::string Port() const = 0;
    virtual void SetPort(const std::string& name) = 0;

    // The next read collects at most `length` bytes on behalf of transaction `tag`.
    // Called before the request is written.
    virtual void ExpectReply(std::uint8_t length, std::uint64_t tag) = 0;

    // Received blocks are handed to `handler` on the event loop's thread.
    virtual void SetBlockHandler(BlockHandler handler) = 0;

    // Told once the port's adapter is found to hand each request back before the reply (local
    // echo), and again when it no longer does. While on, the first read after a write asks for
    // the request's own length, so that the echo comes as a block of its own and the reply's
    // read ends on its count. A line that ignores it is still right, only slower.
    virtual void ExpectEcho(bool on) { (void)on; }
    // Line properties that a few callers need, whatever kind of line it is.
    // Whether the open line can carry a request now; asked right after Open. A line that
    // connects first (a network port) is Connecting for a while after Open, and Failed when
    // the connection could not be made or was lost; any other line is Ready.
    virtual ComLinkState LinkState() { return ComLinkState::Ready; }
    // Milliseconds every response time-out gets on top (a network's round trip); 0 on a serial
    // line.
    virtual std::uint32_t ResponseAllowanceMs() const { return 0; }
    // The allowance of a network port whose name sets none (kDefaultNetworkLatencyMs unless
    // set); no effect on a serial line.
    virtual void SetNetworkLatency(std::uint32_t /*ms*/) {}
    // False when the tool cannot switch the line's speed (a network port: the device server's
    // serial side keeps its own setting).
    virtual bool SpeedSwitchable() const { return true; }
};

// A line that passes everything on to another; a wrapper overrides what it watches.
class ForwardingLine : public ISerialLine {
public:
    explicit ForwardingLine(ISerialLine& inner) : inner_(inner) {}

    void Open() override { inner_.Open(); }
    void Close() override { inner_.Close(); }
    void Write(const std::uint8_t* bytes, std::size_t count) override
    {
        inner_.Write(bytes, count);
    }
    bool Connected() const override { return inner_.Connected(); }
    void SetHeld(bool held) override { inner_.SetHeld(held); }
    TBaudRate BaudRate() const override { return inner_.BaudRate(); }
    void SetBaudRate(TBaudRate rate) override { inner_.SetBaudRate(rate); }
    std::string Port() const override { return inner_.Port(); }
    void SetPort(const std::string& name) override { inner_.SetPort(name); }
    void ExpectReply(std::uint8_t length, std::uint64_t tag) override
    {
        inner_.ExpectReply(length, tag);
    }
    void SetBlockHandler(BlockHandler handler) override
    {
        inner_.SetBlockHandler(std::move(handler));
    }
    void ExpectEcho(bool on) override { inner_.ExpectEcho(on); }
    ComLinkState LinkState() override { return inner_.LinkState(); }
    std::uint32_t ResponseAllowanceMs() const override { return inner_.ResponseAllowanceMs(); }
    void SetNetworkLatency(std::uint32_t ms) override { inner_.SetNetworkLatency(ms); }
    bool SpeedSwitchable() const override { return inner_.SpeedSwitchable(); }

protected:
    ISerialLine& Inner() { return inner_; }

private:
    ISerialLine& inner_;
};

}  // namespace imconf
