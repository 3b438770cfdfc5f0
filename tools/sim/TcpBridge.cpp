#include "TcpBridge.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace imconf::sim {

namespace {

using Clock = std::chrono::steady_clock;

void SetNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Bytes due at a time, to the client or to the line.
struct TDue {
    Clock::time_point at;
    std::vector<unsigned char> bytes;
};

// Writes all bytes (the peer reads them promptly; a short wait covers a full buffer).
void WriteAll(int fd, const std::vector<unsigned char>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                continue;
            }
        } else if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno != EAGAIN && errno != EINTR && errno != ENOTSOCK)
            return;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0)
            return;
    }
}

}  // namespace

TTcpBridge::~TTcpBridge()
{
    Stop();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

std::string TTcpBridge::Listen(const std::string& where)
{
    std::string host = "127.0.0.1";
    std::string port = where;
    if (const auto colon = where.rfind(':'); colon != std::string::npos) {
        host = where.substr(0, colon);
        port = where.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || number > 65535)
        return "--tcp: '" + where + "' is no [HOST:]PORT";

    sockaddr_storage address{};
    socklen_t length = 0;
    const bool v6 = host.find(':') != std::string::npos;
    if (v6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<std::uint16_t>(number));
        if (::inet_pton(AF_INET6, host.c_str(), &a->sin6_addr) != 1)
            return "--tcp: '" + host + "' is no IPv6 address";
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&address);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<std::uint16_t>(number));
        if (::inet_pton(AF_INET, host.c_str(), &a->sin_addr) != 1)
            return "--tcp: '" + host + "' is no IPv4 address";
        length = sizeof *a;
    }
    listenFd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        return std::string("--tcp: socket: ") + std::strerror(errno);
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listenFd_, 4) != 0)
        return "--tcp: " + where + ": " + std::strerror(errno);
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    const unsigned boundPort = v6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                  : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    url_ = "tcp://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(boundPort);
    SetNonBlocking(listenFd_);
    return {};
}

std::string TTcpBridge::Start(int lineFd, unsigned delayMs, std::optional<unsigned> splitMs,
                              bool verbose)
{
    lineFd_ = lineFd;
    delayMs_ = delayMs;
    splitMs_ = splitMs;
    verbose_ = verbose;
    SetNonBlocking(lineFd_);
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
        return std::string("pipe: ") + std::strerror(errno);
    thread_ = std::thread([this] { Run(); });
    return {};
}

void TTcpBridge::Stop()
{
    if (!thread_.joinable())
        return;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void TTcpBridge::Run()
{
    int client = -1;
    std::deque<TDue> toClient;
    std::deque<TDue> toLine;
    const auto delay = std::chrono::milliseconds(delayMs_);
    auto drop = [&] {
        if (client >= 0)
            ::close(client);
        client = -1;
        toClient.clear();
        toLine.clear();
    };
    for (;;) {
        const auto now = Clock::now();
        for (auto* queue : {&toClient, &toLine}) {
            while (!queue->empty() && queue->front().at <= now) {
                if (client >= 0)
                    WriteAll(queue == &toClient ? client : lineFd_, queue->front().bytes);
                queue->pop_front();
            }
        }
        int timeout = -1;
        for (auto* queue : {&toClient, &toLine}) {
            if (queue->empty())
                continue;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(queue->front().at - now);
            const int ms = static_cast<int>(std::max<long long>(0, left.count()));
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        }
        pollfd fds[4] = {{wake_[0], POLLIN, 0},
                         {listenFd_, POLLIN, 0},
                         {lineFd_, POLLIN, 0},
                         {client, POLLIN, 0}};
        if (::poll(fds, client >= 0 ? 4 : 3, timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents != 0)
            break;
        if ((fds[1].revents & POLLIN) != 0) {
            const int accepted = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0 && client >= 0) {
                ::close(accepted);  // one client at a time
            } else if (accepted >= 0) {
                client = accepted;
                SetNonBlocking(client);
                const int one = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                if (verbose_)
                    std::cerr << "imconf-sim: client connected" << std::endl;
            }
        }
        unsigned char chunk[4096];
        if ((fds[2].revents & POLLIN) != 0) {
            const ssize_t n = ::read(lineFd_, chunk, sizeof chunk);
            if (n > 0 && client >= 0) {
                const auto at = Clock::now() + delay;
                const std::size_t first = splitMs_ ? static_cast<std::size_t>(n) / 2 : 0;
                if (first > 0) {
                    toClient.push_back({at, {chunk, chunk + first}});
                    toClient.push_back(
                        {at + std::chrono::milliseconds(*splitMs_), {chunk + first, chunk + n}});
                } else {
                    toClient.push_back({at, {chunk, chunk + n}});
                }
            }
        }
        if (client >= 0 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
            if (n > 0) {
                toLine.push_back({Clock::now() + delay, {chunk, chunk + n}});
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                if (verbose_)
                    std::cerr << "imconf-sim: client gone" << std::endl;
                drop();
            }
        }
    }
    drop();
}

}  // namespace imconf::sim
