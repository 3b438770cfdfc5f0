#include "serial/ComPortLine.h"

#include <exception>
#include <vector>

namespace imconf {

void ApplyToolPortSettings(TCustomComPort& port)
{
    port.Timeouts.ReadInterval = 150;
    port.Timeouts.ReadTotalMultiplier = 0;
    port.Timeouts.ReadTotalConstant = 0;
    port.Timeouts.WriteTotalMultiplier = 100;
    port.Timeouts.WriteTotalConstant = 1000;
    port.Buffer.InputSize = 1024;
    port.Buffer.OutputSize = 1024;
    port.SyncMethod = TSyncMethod::smNone;
}

namespace {
// What a read collects when no transaction has said what it expects.
constexpr int kUnexpectedReadLength = 255;
}  // namespace

ComPortLine::ComPortLine(TCustomComPort& port, EventLoop& loop) : port_(port), loop_(loop)
{
    port_.OnRxChar = [this](TCustomComPort& sender, int count) { ReceiveHandler(sender, count); };
    idleClose_.OnTimer = [this] {
        idleClose_.SetEnabled(false);
        try {
            port_.Close();
        } catch (const std::exception&) {
            // Nothing waits for this connection; the next Open makes a new one.
        }
    };
}

ComPortLine::~ComPortLine()
{
    idleClose_.SetEnabled(false);
    port_.Close();
    port_.OnRxChar = nullptr;
}

bool ComPortLine::OnNetworkPort() const
{
    return IsNetworkPortName(port_.Port());
}

void ComPortLine::Open()
{
    idleClose_.SetEnabled(false);
    // A lost connection (the server went away, or was restarted) is made again.
    if (port_.Connected() && port_.LinkState() == ComLinkState::Failed && OnNetworkPort())
        port_.Close();
    port_.Open();
}

void ComPortLine::Close()
{
    if (OnNetworkPort() && port_.LinkState() == ComLinkState::Ready) {
        // Kept for the next transaction; the count of idle time starts again.
        idleClose_.SetEnabled(false);
        idleClose_.SetEnabled(true);
        return;
    }
    idleClose_.SetEnabled(false);
    port_.Close();
}

void ComPortLine::SetPort(const std::string& name)
{
    if (name != port_.Port() && OnNetworkPort()) {
        // The server may take one client only: the connection goes with its port.
        idleClose_.SetEnabled(false);
        port_.Close();
    }
    port_.SetPort(name);
}

std::uint32_t ComPortLine::ResponseAllowanceMs() const
{
    if (!OnNetworkPort())
        return 0;
    const auto parsed = ParseNetworkPortName(port_.Port());
    return parsed && parsed->latencyMs ? *parsed->latencyMs : networkLatency_;
}

bool ComPortLine::SpeedSwitchable() const
{
    return !OnNetworkPort();
}

void ComPortLine::Write(const std::uint8_t* bytes, std::size_t count)
{
    {
        std::lock_guard lock(echoMutex_);
        echoReads_.Written({bytes, count}, echo_.load());
    }
    port_.Write(bytes, static_cast<int>(count));
}

void ComPortLine::ExpectReply(std::uint8_t length, std::uint64_t tag)
{
    expected_.store(length);
    tag_.store(tag);
}

void ComPortLine::SetBlockHandler(BlockHandler handler)
{
    shared_->handler = std::move(handler);
}

void ComPortLine::ReceiveHandler(TCustomComPort& sender, int /*count*/)
{
    // The receive event comes for new bytes only: after the echo, the reply that came with it
    // is read at once.
    while (ReadBlock(sender) && sender.InputCount() > 0) {
    }
}

bool ComPortLine::ReadBlock(TCustomComPort& sender)
{
    const std::uint64_t tag = tag_.load();
    const std::uint8_t expected = expected_.load();
    int length = expected != 0 ? expected : kUnexpectedReadLength;
    bool echoNext = false;
    {
        // The echo of the request just written, when the adapter gives one, is read by its own.
        std::lock_guard lock(echoMutex_);
        length = static_cast<int>(echoReads_.NextLength(static_cast<std::size_t>(length)));
        echoNext = echoReads_.EchoNext();
    }
    if (!echoNext)
        Post(ReceivedBlock{tag, {}});  // bytes are in: the read begins
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    // A read aborted by Close raises; that ends the monitoring thread's loop, as it should.
    const int got = sender.Read(bytes.data(), length);
    if (got <= 0)
        return false;
    bytes.resize(static_cast<std::size_t>(got));
    bool echoRead = false;
    {
        std::lock_guard lock(echoMutex_);
        echoRead = echoReads_.Read(bytes, static_cast<std::size_t>(length));
    }
    Post(ReceivedBlock{tag, std::move(bytes)});
    return echoRead;
}

void ComPortLine::Post(ReceivedBlock block)
{
    loop_.Post([weak = std::weak_ptr<Shared>(shared_), block = std::move(block)]() mutable {
        if (auto shared = weak.lock(); shared && shared->handler)
            shared->handler(std::move(block));
    });
}

}  // namespace imconf
