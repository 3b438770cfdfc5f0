#pragma once
// A device server stand-in on 127.0.0.1 for the network port's tests: it accepts clients one
// after the other and answers each block of request bytes as the test says, on a thread of
// its own. Everything it waits for is bounded. The same on every platform: it talks through
// the network port's own socket calls (serial/NetworkSocket.h), and only listening and
// accepting are the platform's (LoopbackListenLinux.cpp, LoopbackListenWin32.cpp).

#include "serial/NetworkSocket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace imconf::nettest {

using netsock::Handle;

// A socket listening on 127.0.0.1:`port` (0: a free one), blocking, with room for `backlog`
// waiting connections; `bound` is set to the port it got. kNoSocket on failure.
Handle ListenOnLoopback(std::uint16_t port, int backlog, std::uint16_t& bound);
// The next waiting client of `listener`, blocking, not inherited; kNoSocket on failure.
Handle AcceptClient(Handle listener);

class LoopbackServer {
public:
    // What the server does with one request (the client's socket, the bytes received); false
    // when it has closed the connection.
    using Answer = std::function<bool(Handle client, const std::vector<std::uint8_t>& request)>;

    // Listens on `port` (0: a free one) with room for `backlog` waiting connections; a
    // backlog of -1 listens without accepting anybody (connections stay in the backlog).
    explicit LoopbackServer(std::uint16_t port = 0, int backlog = 4);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Name() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    void SetAnswer(Answer answer);
    int Accepted() const { return accepted_.load(); }
    // Clients that closed their connection.
    int Closed() const { return closed_.load(); }
    // Stops serving and closes every socket.
    void Stop();

    // Answers: the request itself (a valid reply to a function-6 request), optionally in two
    // segments `gap` apart; the first `bytes` bytes and then the connection closed; nothing.
    static Answer Echo(std::chrono::milliseconds gap = std::chrono::milliseconds(0));
    static Answer CloseAfter(std::size_t bytes);
    static Answer Silent();

private:
    void Run(bool accept);

    const netsock::Library library_;
    Handle listen_ = netsock::kNoSocket;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    Answer answer_;
    std::atomic<int> accepted_{0};
    std::atomic<int> closed_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Fills the backlog of a server listening with backlog -1 until a further connect waits.
// The sockets made are closed with the object.
class BacklogFiller {
public:
    explicit BacklogFiller(std::uint16_t port);
    ~BacklogFiller();
    BacklogFiller(const BacklogFiller&) = delete;
    BacklogFiller& operator=(const BacklogFiller&) = delete;

private:
    const netsock::Library library_;
    std::vector<Handle> sockets_;
};

}  // namespace imconf::nettest
