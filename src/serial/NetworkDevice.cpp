// The network port: a raw TCP connection to a serial device server, behind the same device
// seam as the serial ports, so that reads keep their rule (up to the expected length, ended by
// that count or by silence) whatever way the bytes came over the network.
//
// Open never waits for the network: the connection is made on the monitoring thread, whose
// first wait connects (within the connect limit) before it waits for bytes. Until then the
// device is Connecting; a refused, unreachable or timed-out connection makes it Failed, as
// does a connection lost later. Every wait is cut into short slices that look at the abort
// flags, so Close never waits long for a thread that waits for the network.

#include "serial/ComDevice.h"
#include "serial/NetworkPortName.h"
#include "serial/NetworkSocket.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace imconf {

namespace {

using Clock = std::chrono::steady_clock;
using netsock::Handle;

// The longest a wait goes without looking at the abort flags.
constexpr int kSliceMs = 20;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), INT_MAX));
}

class NetworkComDevice final : public ComDevice {
public:
    NetworkComDevice(NetworkPortName name, int connectLimitMs)
        : name_(std::move(name)),
          connectLimitMs_(connectLimitMs)
    {
    }
    ~NetworkComDevice() override { netsock::Close(socket_.load()); }
    NetworkComDevice(const NetworkComDevice&) = delete;
    NetworkComDevice& operator=(const NetworkComDevice&) = delete;

    int LibraryError() const { return library_.Error(); }

    void SetBuffers(const TComBuffer& buffer) override
    {
        if (buffer.InputSize <= 0 || buffer.OutputSize <= 0)
            throw EComPort(comerr::SetupComm, netsock::BadNameError());
    }
    // The speed is the device server's setting on its serial side; nothing to apply here.
    void SetLine(const ComLineSettings& /*line*/) override {}
    void SetTimeouts(const TComTimeouts& t) override
    {
        if (t.ReadInterval < -1 || t.ReadTotalMultiplier < 0 || t.ReadTotalConstant < 0 ||
            t.WriteTotalMultiplier < 0 || t.WriteTotalConstant < 0)
            throw EComPort(comerr::SetCommTimeouts, netsock::BadNameError());
        timeouts_ = t;
    }

    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int InputCount() override
    {
        const int waiting =
            state_.load() == ComLinkState::Ready ? netsock::BytesWaiting(socket_.load()) : -1;
        if (waiting < 0)
            throw EComPort(comerr::ClearCommError, netsock::NotConnectedError());
        return waiting;
    }
    int InputCountNoThrow() override
    {
        if (state_.load() != ComLinkState::Ready)
            return 0;
        return std::max(0, netsock::BytesWaiting(socket_.load()));
    }

    int Cancel() override
    {
        cancelled_.store(true);
        return 0;
    }
    void Purge() override {}
    // Kept between two uses of one operation: the connection goes on serving, unless it was
    // lost (the next Open of the line then makes it again).
    int Resume() override
    {
        if (state_.load() == ComLinkState::Failed)
            return netsock::NotConnectedError();
        cancelled_.store(false);
        stopMonitoring_.store(false);
        return 0;
    }

    void StartMonitoring(TComEvents mask) override { watchRx_ = (mask & evRxChar) != 0; }
    TComEvents WaitEvents() override;
    void EndMonitoring() override {}
    void StopMonitoring() override { stopMonitoring_.store(true); }

    ComLinkState LinkState() const override { return state_.load(); }

private:
    bool Stopping() const { return cancelled_.load() || stopMonitoring_.load(); }
    // Monitoring thread: makes the connection; false when it could not be made.
    bool Connect();
    // Tries one address until the deadline; the socket when connected.
    std::optional<Handle> ConnectTo(const netsock::Address& address, Clock::time_point deadline);
    void Lost() { state_.store(ComLinkState::Failed); }

    const NetworkPortName name_;
    const int connectLimitMs_;
    netsock::Library library_;
    std::atomic<Handle> socket_{netsock::kNoSocket};
    std::atomic<ComLinkState> state_{ComLinkState::Connecting};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> stopMonitoring_{false};
    // Set before the monitoring thread starts, constant afterwards.
    TComTimeouts timeouts_;
    bool watchRx_ = true;
};

std::optional<Handle> NetworkComDevice::ConnectTo(const netsock::Address& address,
                                                  Clock::time_point deadline)
{
    const Handle socket = netsock::OpenStream(address);
    if (socket == netsock::kNoSocket)
        return std::nullopt;
    int result = netsock::StartConnect(socket, address);
    while (result == netsock::kInProgress) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0 || Stopping())
            break;
        const int ready = netsock::Wait(socket, false, true, std::min(left, kSliceMs));
        if (ready < 0)
            break;
        if (ready != 0)
            result = netsock::ConnectResult(socket);
    }
    if (result == 0)
        return socket;
    netsock::Close(socket);
    return std::nullopt;
}

// The addresses of the device server. The system's name service may take long and cannot be
// interrupted, so it runs on a thread of its own that nobody waits for: a Close (or the
// connect limit) leaves it behind, and it ends by itself with its own share of the result.
std::optional<std::vector<netsock::Address>> LookUp(const NetworkPortName& name,
                                                    Clock::time_point deadline,
                                                    const std::function<bool()>& stopping)
{
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<std::vector<netsock::Address>> addresses;
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host = name.host, port = name.port] {
            const netsock::Library library;  // started for as long as this thread needs it
            int error = 0;
            auto addresses = netsock::Resolve(host, port, error);
            const std::lock_guard lock(lookup->mutex);
            lookup->addresses = std::move(addresses);
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock lock(lookup->mutex);
    while (!lookup->addresses) {
        if (stopping() || MillisecondsLeft(deadline) == 0)
            return std::nullopt;
        lookup->done.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    }
    return std::move(lookup->addresses);
}

bool NetworkComDevice::Connect()
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(connectLimitMs_);
    const auto addresses = LookUp(name_, deadline, [this] { return Stopping(); });
    for (const netsock::Address& address :
         addresses ? *addresses : std::vector<netsock::Address>{}) {
        if (Stopping() || MillisecondsLeft(deadline) == 0)
            break;
        if (const auto socket = ConnectTo(address, deadline)) {
            socket_.store(*socket);
            state_.store(ComLinkState::Ready);
            return true;
        }
    }
    state_.store(ComLinkState::Failed);
    return false;
}

TComEvents NetworkComDevice::WaitEvents()
{
    if (state_.load() == ComLinkState::Connecting && !Connect())
        return 0;
    const Handle socket = socket_.load();
    for (;;) {
        if (Stopping() || state_.load() != ComLinkState::Ready)
            return 0;
        const int ready = netsock::Wait(socket, true, false, kSliceMs);
        if (ready < 0) {
            Lost();
            return 0;
        }
        if (ready == 0)
            continue;
        if (netsock::BytesWaiting(socket) > 0) {
            if (watchRx_)
                return evRxChar;
            continue;  // nobody listens; the bytes wait for a read
        }
        // Readable with nothing to read: the far end closed the connection, or it broke.
        unsigned char probe = 0;
        const long n = netsock::Receive(socket, &probe, 1, true);
        if (n == 0 || (n < 0 && !netsock::WouldBlock(netsock::LastError()))) {
            Lost();
            return 0;
        }
    }
}

int NetworkComDevice::Read(void* buffer, int count)
{
    if (count == 0)
        return 0;
    if (count < 0 || buffer == nullptr)
        throw EComPort(comerr::ReadFile, netsock::BadNameError());
    if (state_.load() != ComLinkState::Ready)
        throw EComPort(comerr::ReadFile, netsock::NotConnectedError());

    const Handle socket = socket_.load();
    auto* out = static_cast<unsigned char*>(buffer);
    const TComTimeouts t = timeouts_;
    const long long totalMs =
        static_cast<long long>(t.ReadTotalMultiplier) * count + t.ReadTotalConstant;
    const std::optional<Clock::time_point> total =
        totalMs > 0 ? std::optional(Clock::now() + std::chrono::milliseconds(totalMs))
                    : std::nullopt;
    Clock::time_point lastByte{};
    int got = 0;
    for (;;) {
        if (cancelled_.load())
            throw EComPort(comerr::ReadFile, ComOsError().aborted);
        const long n =
            netsock::Receive(socket, out + got, static_cast<std::size_t>(count - got), false);
        if (n > 0) {
            got += static_cast<int>(n);
            lastByte = Clock::now();
            if (got == count)
                return got;
            continue;
        }
        const int error = n < 0 ? netsock::LastError() : 0;
        if (n == 0 || !netsock::WouldBlock(error)) {
            Lost();  // the bytes that came before the connection went are still a reply
            if (got > 0)
                return got;
            throw EComPort(comerr::ReadFile, n == 0 ? netsock::NotConnectedError() : error);
        }
        if (got > 0 && t.ReadInterval < 0)
            return got;
        int waitMs = kSliceMs;
        if (got > 0 && t.ReadInterval > 0) {
            const int left = MillisecondsLeft(lastByte + std::chrono::milliseconds(t.ReadInterval));
            if (left == 0)
                return got;
            waitMs = std::min(waitMs, left);
        }
        if (total) {
            const int left = MillisecondsLeft(*total);
            if (left == 0)
                return got;
            waitMs = std::min(waitMs, left);
        }
        if (netsock::Wait(socket, true, false, waitMs) < 0) {
            Lost();
            if (got > 0)
                return got;
            throw EComPort(comerr::ReadFile, netsock::LastError());
        }
    }
}

int NetworkComDevice::Write(const void* buffer, int count)
{
    if (count == 0)
        return 0;
    if (count < 0 || buffer == nullptr)
        throw EComPort(comerr::WriteFile, netsock::BadNameError());
    if (state_.load() != ComLinkState::Ready)
        throw EComPort(comerr::WriteFile, netsock::NotConnectedError());

    const Handle socket = socket_.load();
    const auto* in = static_cast<const unsigned char*>(buffer);
    const TComTimeouts t = timeouts_;
    const long long totalMs =
        static_cast<long long>(t.WriteTotalMultiplier) * count + t.WriteTotalConstant;
    const std::optional<Clock::time_point> total =
        totalMs > 0 ? std::optional(Clock::now() + std::chrono::milliseconds(totalMs))
                    : std::nullopt;
    int done = 0;
    for (;;) {
        if (cancelled_.load())
            throw EComPort(comerr::WriteFile, ComOsError().aborted);
        const long n = netsock::Send(socket, in + done, static_cast<std::size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            if (done == count)
                return count;
            continue;
        }
        const int error = netsock::LastError();
        if (n < 0 && !netsock::WouldBlock(error)) {
            Lost();
            throw EComPort(comerr::WriteFile, error);
        }
        int waitMs = kSliceMs;
        if (total) {
            const int left = MillisecondsLeft(*total);
            if (left == 0)
                throw EComPort(comerr::WriteFile, netsock::TimedOutError());
            waitMs = std::min(waitMs, left);
        }
        netsock::Wait(socket, false, true, waitMs);
    }
}

}  // namespace

std::unique_ptr<ComDevice> OpenNetworkDevice(const std::string& name, int connectLimitMs)
{
    auto parsed = ParseNetworkPortName(name);
    if (!parsed)
        throw EComPort(comerr::Open, netsock::BadNameError());
    auto device = std::make_unique<NetworkComDevice>(std::move(*parsed), connectLimitMs);
    if (const int error = device->LibraryError(); error != 0)
        throw EComPort(comerr::Open, error);
    return device;
}

}  // namespace imconf
