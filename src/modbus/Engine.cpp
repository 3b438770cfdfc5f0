#include "modbus/Engine.h"

#include "modbus/Crc16.h"
#include "modbus/Trace.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>

namespace imconf {

namespace {
constexpr std::uint32_t kEndOfReplyMs = 5;
constexpr std::uint32_t kWriteRegisterTimeoutMs = 350;
constexpr std::uint32_t kSendFrameTimeoutMs = 1350;
constexpr std::uint32_t kSequencerMs = 20;
constexpr std::uint32_t kAfterCommandMs = 500;
}  // namespace

TransactionEngine::TransactionEngine(EventLoop& loop, ProgramState& state, ISerialLine& port,
                                     TraceSink& trace, EngineClient& client)
    : Timer_Rx(loop, kEndOfReplyMs),
      Timer_Programm(loop, kSequencerMs),
      Timer_Wait(loop, kSequencerMs),
      loop_(loop),
      s_(state),
      port_(port),
      trace_(trace),
      client_(client)
{
    Timer_Rx.OnTimer = [this] { Timer_RxTimer(); };
    Timer_Programm.OnTimer = [this] {
        client_.Timer_ProgrammTimer();
        ReleasePortIfIdle();  // an operation that ended in its own step
    };
    port_.SetBlockHandler([this](ReceivedBlock block) { ComPort1RxChar(std::move(block)); });
}

TransactionEngine::~TransactionEngine()
{
    port_.SetBlockHandler(nullptr);
}

std::uint32_t TransactionEngine::ReadTimeoutMs() const
{
    if (s_.OperationState == opstate::Search)
        return s_.SearchDelay;
    switch (s_.BaudIndex) {
    case 0: return 3000;
    case 1: return 1500;
    case 2: return 700;
    default: return 350;
    }
}

void TransactionEngine::SendReadRegisters(std::uint16_t reg, std::uint16_t count)
{
    SendReadRegisters(reg, count, ReadTimeoutMs());
}

void TransactionEngine::SendReadRegisters(std::uint16_t reg, std::uint16_t count,
                                          std::uint32_t timeoutMs)
{
    const std::size_t length = BuildReadRegisters(s_.FrameBuffer, s_.DeviceAddress, reg, count);
    trace_.ShowRequest(RequestTraceLines(s_.FrameBuffer.data(), length));
    s_.ExpectedLength = ReadReplyLength(count);
    SendBuilt(length, timeoutMs);
}

void TransactionEngine::SendWriteRegister(std::uint16_t reg, std::uint16_t value)
{
    const std::size_t length = BuildWriteRegister(s_.FrameBuffer, s_.DeviceAddress, reg, value);
    trace_.ShowRequest(RequestTraceLines(s_.FrameBuffer.data(), length));
    s_.ExpectedLength = kWriteReplyLength;
    SendBuilt(length, kWriteRegisterTimeoutMs);
}

void TransactionEngine::SendFrame(std::uint16_t frameLength, std::uint8_t expectedLength)
{
    const std::size_t length = std::min<std::size_t>(frameLength, s_.FrameBuffer.size());
    trace_.ShowRequest(RequestTraceLines(s_.FrameBuffer.data(), length));
    s_.ExpectedLength = expectedLength;
    SendBuilt(length, kSendFrameTimeoutMs);
}

bool TransactionEngine::SendBuilt(std::size_t length, std::uint32_t timeoutMs)
{
    sendingTraced_ = true;
    const bool sent = Transmit(static_cast<std::uint16_t>(length), s_.ExpectedLength, timeoutMs);
    sendingTraced_ = false;
    if (sent)
        return true;
    trace_.ShowLine(kPortErrorLine + port_.Port());
    PortFailed();
    return false;
}

bool TransactionEngine::Transmit(std::uint16_t frameLength, std::uint8_t expectedLength,
                                 std::uint32_t timeoutMs)
{
    const std::size_t length = std::min<std::size_t>(frameLength, s_.FrameBuffer.size());
    // The frame leaves from a copy: a reply may be stored into FrameBuffer while we write.
    std::array<std::uint8_t, kFrameBufferSize> frame{};
    std::copy_n(s_.FrameBuffer.begin(), length, frame.begin());
    if (s_.OperationState != opstate::Search)
        heldForNextProbe_.reset();
    FollowEchoPort();
    echo_.Sent({frame.data(), length}, expectedLength);
    connecting_.reset();
    requestNotSent_ = false;
    try {
        if (s_.OperationState != opstate::Idle)
            port_.SetHeld(true);
        port_.Open();
        switch (port_.LinkState()) {
        case ComLinkState::Ready:
            WriteRequest(frame.data(), length, expectedLength, timeoutMs);
            break;
        case ComLinkState::Connecting:
            connecting_ = ConnectingSend{frame, length, expectedLength, timeoutMs, sendingTraced_};
            s_.ExpectedLength = expectedLength;
            Timer_Rx.SetInterval(kConnectPollMs);
            Timer_Rx.SetEnabled(true);
            return true;
        case ComLinkState::Failed: throw EComPort(comerr::Open, 0);
        }
    } catch (const std::exception&) {
        // A port that took no request (it has vanished, say an adapter pulled out during the
        // bus search) is not kept open: the next request opens it afresh.
        requestNotSent_ = true;
        try {
            port_.SetHeld(false);
            port_.Close();
        } catch (const std::exception&) {
        }
        return false;
    }
    if (heldForNextProbe_) {
        ReceivedBlock held = std::move(*heldForNextProbe_);
        heldForNextProbe_.reset();
        StoreBlock(held);
    }
    return true;
}

void TransactionEngine::WriteRequest(const std::uint8_t* frame, std::size_t length,
                                     std::uint8_t expectedLength, std::uint32_t timeoutMs)
{
    port_.ExpectReply(expectedLength, ++tag_);
    port_.Write(frame, length);
    s_.ExpectedLength = expectedLength;
    Timer_Rx.SetInterval(timeoutMs + port_.ResponseAllowanceMs());
    Timer_Rx.SetEnabled(true);
}

void TransactionEngine::ConnectingTick()
{
    const ComLinkState link = port_.LinkState();
    if (link == ComLinkState::Connecting)
        return;  // Timer_Rx stays on: the next tick looks again
    const ConnectingSend send = *connecting_;
    connecting_.reset();
    if (link == ComLinkState::Ready) {
        try {
            WriteRequest(send.frame.data(), send.length, send.expectedLength, send.timeoutMs);
            return;
        } catch (const std::exception&) {
        }
    }
    // Nothing was sent: the transaction ends as a port failure.
    requestNotSent_ = true;
    Timer_Rx.SetEnabled(false);
    try {
        port_.Close();
    } catch (const std::exception&) {
    }
    s_.RxLength = 0;
    s_.ReplyKind = replykind::None;
    if (send.traced)
        trace_.ShowLine(kPortErrorLine + port_.Port());
    if (s_.CommandDeferred != 1) {
        PortFailed();
        return;
    }
    // A command waited for this transaction: the operation's failure call, then the command.
    if (s_.OperationState != opstate::Search)
        client_.TransactionFailed();
    ReleaseDeferredCommand();
}

void TransactionEngine::PortFailed()
{
    // The request never left, so no reply will end this step: a configuration read or write
    // ends through its failure call, an upgrade counts a failed step and retries. The bus
    // search stands until the user stops it.
    if (s_.OperationState == opstate::Search)
        return;
    if (client_.TransactionFailed() && s_.OperationState != opstate::Idle)
        Timer_Programm.SetEnabled(true);
}

void TransactionEngine::StoreBlock(const ReceivedBlock& block, bool complete)
{
    const std::size_t length = std::min(block.bytes.size(), s_.FrameBuffer.size());
    std::copy_n(block.bytes.begin(), length, s_.FrameBuffer.begin());
    s_.RxLength = static_cast<std::uint16_t>(length);
    if (!complete)
        return;  // the rest of a reply behind an echo is on its way: the response time runs
    Timer_Rx.SetInterval(kEndOfReplyMs);
    Timer_Rx.SetEnabled(true);
}

void TransactionEngine::ComPort1RxChar(ReceivedBlock block)
{
    if (connecting_)
        return;
    if (block.bytes.empty()) {
        // A read begins; its bytes follow.
        client_.ReadBegun(TransactionInFlight() && block.tag == tag_);
        return;
    }
    // The echo comes out first, whichever transaction the bytes reach.
    LocalEcho::Taken taken = echo_.Take(block.bytes, block.bytes.size() >= s_.ExpectedLength);
    FollowEcho(taken.detected);
    if (!taken.store)
        return;  // all echo, or held as a possible beginning of it
    block.bytes = std::move(taken.reply);
    if (!TransactionInFlight()) {
        // Nothing awaits a reply. During the bus search the port stays open and a late reply
        // belongs to the next probe; otherwise the bytes are stale and must not start a
        // transaction of their own.
        if (s_.OperationState == opstate::Search)
            heldForNextProbe_ = std::move(block);
        else
            client_.BytesDropped();
        return;
    }
    if (block.tag != tag_ && s_.OperationState != opstate::Search) {
        client_.BytesDropped();  // read for a transaction that has already ended
        return;
    }
    StoreBlock(block, taken.complete);
}

void TransactionEngine::ExtendResponse(std::uint32_t ms)
{
    if (!TransactionInFlight() || connecting_ || s_.RxLength != 0)
        return;
    const std::uint32_t wait = ms + port_.ResponseAllowanceMs();
    const auto due = Timer_Rx.NextTick();
    if (due && *due >= loop_.Now() + std::chrono::milliseconds(wait))
        return;  // it waits longer already
    Timer_Rx.SetEnabled(false);
    Timer_Rx.SetInterval(wait);
    Timer_Rx.SetEnabled(true);
}

bool TransactionEngine::ReplyCrcValid() const
{
    if (s_.RxLength < 2)
        return false;
    return CrcMatches(s_.FrameBuffer.data(), s_.RxLength);
}

void TransactionEngine::TraceReply()
{
    trace_.ShowReply(ReplyTraceLines(s_.FrameBuffer.data(), s_.RxLength));
    ShowEchoNotice();
    client_.DispatchReply();
}

void TransactionEngine::CloseReportingErrors()
{
    try {
        port_.Close();
    } catch (const std::exception& error) {
        client_.ShowGeneralError(error.what());
    }
}

void TransactionEngine::ReleasePortIfIdle()
{
    if (s_.OperationState != opstate::Idle || TransactionInFlight())
        return;
    port_.SetHeld(false);
    CloseReportingErrors();
}

void TransactionEngine::Timer_RxTimer()
{
    if (connecting_) {
        ConnectingTick();
        return;
    }
    Timer_Rx.SetEnabled(false);
    if (!opstate::HoldsPort(s_.OperationState))
        CloseReportingErrors();
    if (s_.RxLength == 0)
        ReleaseHeldEcho();

    if (s_.RxLength != 0) {
        if (client_.TakeReply()) {
            if (s_.OperationState != opstate::Idle)
                ShowEchoNotice();
            // The upgrade sent its next frame, or it is over: then a command that waited for
            // this transaction goes out now, at the speed the port has again.
            if (s_.OperationState == opstate::Idle) {
                ReleasePortIfIdle();
                ReleaseDeferredCommand();
            }
            return;
        }
        if (ReplyCrcValid()) {
            TraceReply();
        } else {
            if (s_.OperationState != opstate::Idle)
                ShowEchoNotice();
            if (!client_.TransactionFailed()) {
                s_.ReplyKind = replykind::BadCrc;
                TraceReply();
                trace_.ShowLine(kCrcErrorLine);
            }
        }
    } else {
        ShowEchoNotice();
        if (!client_.TransactionFailed())
            trace_.ShowLine(kTimeOutLine);
    }

    if (s_.OperationState == opstate::Idle)
        port_.SetHeld(false);  // the operation is over: the close below lets go of the port
    if (!opstate::HoldsPort(s_.OperationState))
        CloseReportingErrors();
    s_.RxLength = 0;
    s_.ReplyKind = replykind::None;

    if (s_.CommandDeferred == 1)
        ReleaseDeferredCommand();
    else if (s_.OperationState != opstate::Idle)
        Timer_Programm.SetEnabled(true);
}

void TransactionEngine::ReleaseDeferredCommand()
{
    if (s_.CommandDeferred != 1)
        return;
    s_.CommandDeferred = 0;
    Timer_Wait.SetEnabled(true);
}

bool TransactionEngine::DeferCommandIfBusy(std::function<void()> handler)
{
    if (s_.OperationState != opstate::Idle) {
        Timer_Programm.SetEnabled(false);
        Timer_Programm.SetInterval(kSequencerMs);
    }
    // A transaction in flight postpones the command also when no operation runs, so two
    // requests never share the line.
    if (TransactionInFlight()) {
        Timer_Wait.OnTimer = std::move(handler);
        s_.CommandDeferred = 1;
        return true;
    }
    Timer_Wait.SetEnabled(false);
    s_.CommandDeferred = 0;
    Timer_Programm.SetInterval(kAfterCommandMs);
    return false;
}

}  // namespace imconf
