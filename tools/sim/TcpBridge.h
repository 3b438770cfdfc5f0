#pragma once
// imconf-sim --tcp: the simulated module behind a serial device server. The bridge carries
// the bytes between one TCP client and the simulator's own end of its pseudo-terminal,
// unchanged, as a device server in "TCP server" mode does, with an optional network delay and
// replies split over two TCP segments. One client at a time: a second one is closed at once.

#include <optional>
#include <string>
#include <thread>

namespace imconf::sim {

class TTcpBridge {
public:
    TTcpBridge() = default;
    ~TTcpBridge();
    TTcpBridge(const TTcpBridge&) = delete;
    TTcpBridge& operator=(const TTcpBridge&) = delete;

    // Listens on "[HOST:]PORT" (HOST 127.0.0.1 when not given, "[::1]" for IPv6; PORT 0 picks
    // a free port). An error text, empty when listening.
    std::string Listen(const std::string& where);
    // "tcp://HOST:PORT" of the listening socket, as the tool names it.
    std::string Url() const { return url_; }

    // Carries bytes between the client and `lineFd` (the terminal's end the tool would have
    // opened) on a thread of its own until Stop. Each direction waits `delayMs`; with
    // `splitMs` every block of reply bytes leaves as two segments, the second `splitMs` later.
    std::string Start(int lineFd, unsigned delayMs, std::optional<unsigned> splitMs, bool verbose);
    void Stop();

private:
    void Run();

    int listenFd_ = -1;
    int lineFd_ = -1;
    int wake_[2] = {-1, -1};
    unsigned delayMs_ = 0;
    std::optional<unsigned> splitMs_;
    bool verbose_ = false;
    std::string url_;
    std::thread thread_;
};

}  // namespace imconf::sim
