#pragma once
// The transaction engine: one request/response transaction at a time between the tool
// (Modbus master) and the module.
//
// A sender builds the request in FrameBuffer, traces it, opens the port, writes the request
// and arms Timer_Rx with the response time-out. Received blocks come in on the loop's thread
// (ComPort1RxChar), are stored in FrameBuffer and re-arm Timer_Rx at 5 ms. The tick of
// Timer_Rx ends the transaction: it closes the port, checks the CRC, traces the reply and
// hands it on, or hands the failure to the running operation.
//
// The port belongs to one operation from its first transaction to its last: while an
// operation runs the engine holds the line, so that closing it at the end of a transaction
// keeps the port this program's (no other program can take it between two steps). The hold
// ends, and the port is really closed, when no operation runs any more and no transaction is
// in flight: at the end of a transaction, after a sequencer tick, or when told.

#include "modbus/LocalEcho.h"
#include "modbus/ProgramState.h"
#include "modbus/TraceSink.h"
#include "runtime/EventLoop.h"
#include "runtime/Timer.h"
#include "serial/SerialLine.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace imconf {

// What the engine calls into: the running operation (by whichever OperationState it holds),
// the reply dispatch, the sequencer tick and the general error report.
class EngineClient {
public:
    virtual ~EngineClient() = default;
    // Offered every received reply before its CRC is checked; true when the running
    // operation took it (it has then gone on or ended, and cleared RxLength).
    virtual bool TakeReply() = 0;
    // A reply that passed the CRC check; while no operation runs, also one that failed it
    // (ReplyKind 255).
    virtual void DispatchReply() = 0;
    // The transaction got no reply in time, a reply with a bad CRC, or its request could not
    // be sent: the running operation's failure call. False when no operation runs.
    virtual bool TransactionFailed() = 0;
    virtual void Timer_ProgrammTimer() = 0;
    virtual void ShowGeneralError(const std::string& text) = 0;
    // Received bytes, for an operation that cares when they come (the sweep); nothing by
    // default. A read began: bytes other than the request's echo are coming in, and
    // `forTransaction` when they come for the transaction in flight (they may be its reply).
    virtual void ReadBegun(bool forTransaction) { (void)forTransaction; }
    // Bytes that no transaction takes were dropped: they came after their transaction had
    // ended, or with none in flight (the bus search keeps them for its next probe instead).
    virtual void BytesDropped() {}
};

inline constexpr const char* kTimeOutLine = "   : TIME OUT.";
inline constexpr const char* kCrcErrorLine = "   : CRC ERROR.";
inline constexpr const char* kPortErrorLine = "   : ОШИБКА ОТКРЫТИЯ ПОРТА ";
// Once a port, when its adapter is found to hand each request back before the reply.
inline constexpr const char* kEchoLine =
    "   : ОБНАРУЖЕНО ЭХО ЗАПРОСА ОТ АДАПТЕРА - ЭХО ПРОПУСКАЕТСЯ.";

class TransactionEngine {
public:
    TransactionEngine(EventLoop& loop, ProgramState& state, ISerialLine& port, TraceSink& trace,
                      EngineClient& client);
    TransactionEngine(const TransactionEngine&) = delete;
    TransactionEngine& operator=(const TransactionEngine&) = delete;
    ~TransactionEngine();

    // Response timer and end-of-reply delay (5 ms, off at start).
    Timer Timer_Rx;
    // The operation sequencer (20 ms, off at start); its tick is the client's.
    Timer Timer_Programm;
    // Runs a postponed user command (20 ms, off at start, no handler until one is postponed).
    Timer Timer_Wait;

    // Senders. Each builds and traces its request, then performs the transport steps.
    void SendReadRegisters(std::uint16_t reg, std::uint16_t count);
    // The same with a response time-out of the caller's (the sweep's wait at its speed).
    void SendReadRegisters(std::uint16_t reg, std::uint16_t count, std::uint32_t timeoutMs);
    void SendWriteRegister(std::uint16_t reg, std::uint16_t value);
    // Sends the first `frameLength` bytes of FrameBuffer, already built with their CRC.
    void SendFrame(std::uint16_t frameLength, std::uint8_t expectedLength);

    // Transport without trace or message, for the bootloader frames: open, write the first
    // `frameLength` bytes of FrameBuffer, expect `expectedLength` bytes, arm Timer_Rx with
    // `timeoutMs` plus the line's response allowance. Returns false (nothing armed) when the
    // port could not be opened or written.
    //
    // A line that is still connecting (a network port) gets the request once it is
    // connected: the transaction is in flight from now on, Timer_Rx looks at the line every
    // kConnectPollMs, and the response time-out starts when the request is written. A
    // connection that cannot be made ends the transaction as a port failure (the port error
    // line for a traced request, then the running operation's failure call).
    bool Transmit(std::uint16_t frameLength, std::uint8_t expectedLength, std::uint32_t timeoutMs);

    // A block read by the port's receive handler, delivered on the loop's thread.
    void ComPort1RxChar(ReceivedBlock block);
    // Tick of Timer_Rx: ends the transaction.
    void Timer_RxTimer();

    bool ReplyCrcValid() const;
    // Writes the reply into the trace, then dispatches it.
    void TraceReply();

    // True when the command was postponed (the caller returns at once); false when the
    // caller may send now.
    bool DeferCommandIfBusy(std::function<void()> handler);

    // ReplyKind of the request just sent; nothing is awaited when it could not be sent.
    void Awaiting(std::uint8_t replyKind)
    {
        s_.ReplyKind = TransactionInFlight() ? replyKind : replykind::None;
    }

    // The transaction that just failed never sent its request: its port could not be opened,
    // written or connected (a network port's connection comes after Open).
    bool RequestNotSent() const { return requestNotSent_; }

    // A transaction is in flight while Timer_Rx is enabled.
    bool TransactionInFlight() const { return Timer_Rx.Enabled(); }

    // Response time-out of a function-3 request in the current state.
    std::uint32_t ReadTimeoutMs() const;

    // A reply has begun for the transaction in flight: it waits at least `ms` (and the line's
    // allowance) from this moment for the rest. Nothing when the reply is already stored (its
    // end-of-reply delay runs), no transaction is in flight or the request still waits for
    // its connection.
    void ExtendResponse(std::uint32_t ms);
    Micros Now() const { return loop_.Now(); }

    ISerialLine& Port() { return port_; }
    // Closes the port; an error reaches the general error report.
    void CloseReportingErrors();
    // With no operation running and no transaction in flight: lets go of the port the last
    // operation held and closes it. Otherwise nothing (the end of the transaction in flight,
    // or of the operation, does it). Whoever ends an operation outside a transaction (the
    // user stopping the bus search, an interrupted command line) calls this.
    void ReleasePortIfIdle();

    static constexpr std::uint32_t kConnectPollMs = 10;

private:
    // A request that waits for its line's connection.
    struct ConnectingSend {
        std::array<std::uint8_t, kFrameBufferSize> frame{};
        std::size_t length = 0;
        std::uint8_t expectedLength = 0;
        std::uint32_t timeoutMs = 0;
        bool traced = false;
    };

    bool SendBuilt(std::size_t length, std::uint32_t timeoutMs);
    // Tags, writes the request and arms the response time-out; raises the line's error.
    void WriteRequest(const std::uint8_t* frame, std::size_t length, std::uint8_t expectedLength,
                      std::uint32_t timeoutMs);
    // Tick of Timer_Rx while a request waits for the connection.
    void ConnectingTick();
    void PortFailed();
    // Sends a command that waited for a transaction which ended no operation step.
    void ReleaseDeferredCommand();
    // `complete`: the reply may end now (the end-of-reply delay is armed).
    void StoreBlock(const ReceivedBlock& block, bool complete = true);
    // Local echo: a request's echo is taken out of what is received (LocalEcho.h).
    void FollowEchoPort();
    void FollowEcho(bool detected);
    void ReleaseHeldEcho();
    // The line saying that the port echoes, once, before the transaction's own outcome.
    void ShowEchoNotice();

    EventLoop& loop_;
    ProgramState& s_;
    ISerialLine& port_;
    TraceSink& trace_;
    EngineClient& client_;
    std::uint64_t tag_ = 0;
    bool requestNotSent_ = false;
    std::optional<ConnectingSend> connecting_;
    bool sendingTraced_ = false;
    // A reply that came in during the bus search between two probes: it belongs to the next.
    std::optional<ReceivedBlock> heldForNextProbe_;
    LocalEcho echo_;
    std::string echoPort_;
    bool lineEchoes_ = false;  // what the line was told
    bool echoNotice_ = false;
};

}  // namespace imconf
