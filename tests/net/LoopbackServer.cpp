#include "LoopbackServer.h"

#include <algorithm>

namespace imconf::nettest {

namespace {
// The longest the server's thread goes without looking at the stop flag.
constexpr int kSliceMs = 20;
}  // namespace

LoopbackServer::LoopbackServer(std::uint16_t port, int backlog)
{
    listen_ = ListenOnLoopback(port, backlog < 0 ? 0 : backlog, port_);
    if (listen_ == netsock::kNoSocket)
        return;
    thread_ = std::thread([this, backlog] { Run(backlog >= 0); });
}

LoopbackServer::~LoopbackServer()
{
    Stop();
}

void LoopbackServer::Stop()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    netsock::Close(listen_);
    listen_ = netsock::kNoSocket;
}

void LoopbackServer::SetAnswer(Answer answer)
{
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
}

void LoopbackServer::Run(bool accept)
{
    Handle client = netsock::kNoSocket;
    while (!stop_.load()) {
        // One client at a time: the listener waits while a client is served.
        if (client == netsock::kNoSocket) {
            if (!accept || netsock::Wait(listen_, true, false, kSliceMs) <= 0)
                continue;
            client = AcceptClient(listen_);
            if (client != netsock::kNoSocket)
                ++accepted_;
            continue;
        }
        const int ready = netsock::Wait(client, true, false, kSliceMs);
        if (ready == 0)
            continue;
        std::uint8_t chunk[1024];
        const long n = ready < 0 ? -1 : netsock::Receive(client, chunk, sizeof chunk);
        if (n <= 0) {
            netsock::Close(client);
            client = netsock::kNoSocket;
            ++closed_;
            continue;
        }
        Answer answer;
        {
            std::lock_guard lock(mutex_);
            answer = answer_;
        }
        if (answer && !answer(client, {chunk, chunk + n}))
            client = netsock::kNoSocket;
    }
    netsock::Close(client);
}

LoopbackServer::Answer LoopbackServer::Echo(std::chrono::milliseconds gap)
{
    return [gap](Handle client, const std::vector<std::uint8_t>& request) {
        const std::size_t first = gap.count() > 0 ? request.size() / 2 : request.size();
        netsock::Send(client, request.data(), first);
        if (first < request.size()) {
            std::this_thread::sleep_for(gap);  // the server's own pace, not the test's
            netsock::Send(client, request.data() + first, request.size() - first);
        }
        return true;
    };
}

LoopbackServer::Answer LoopbackServer::CloseAfter(std::size_t bytes)
{
    return [bytes](Handle client, const std::vector<std::uint8_t>& request) {
        netsock::Send(client, request.data(), std::min(bytes, request.size()));
        netsock::Close(client);
        return false;
    };
}

LoopbackServer::Answer LoopbackServer::Silent()
{
    return [](Handle, const std::vector<std::uint8_t>&) { return true; };
}

BacklogFiller::BacklogFiller(std::uint16_t port)
{
    int error = 0;
    const auto addresses = netsock::Resolve("127.0.0.1", port, error);
    if (addresses.empty())
        return;
    // A listener that never accepts takes backlog + 1 connections; later SYNs are dropped.
    for (int i = 0; i < 8; ++i) {
        const Handle socket = netsock::OpenStream(addresses.front());
        if (socket == netsock::kNoSocket)
            return;
        sockets_.push_back(socket);
        if (netsock::StartConnect(socket, addresses.front()) != netsock::kInProgress)
            continue;
        if (netsock::Wait(socket, false, true, 200) == 0)
            return;  // this one waits: the backlog is full
    }
}

BacklogFiller::~BacklogFiller()
{
    for (const Handle socket : sockets_)
        netsock::Close(socket);
}

}  // namespace imconf::nettest
