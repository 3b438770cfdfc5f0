#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace imconf::nettest {

namespace {
sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}
}  // namespace

LoopbackServer::LoopbackServer(std::uint16_t port, int backlog)
{
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = Loopback(port);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, backlog < 0 ? 0 : backlog) != 0)
        return;
    socklen_t length = sizeof address;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    thread_ = std::thread([this, backlog] { Run(backlog >= 0); });
}

LoopbackServer::~LoopbackServer()
{
    Stop();
}

void LoopbackServer::Stop()
{
    if (thread_.joinable()) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
        thread_.join();
    }
    for (int* fd : {&listen_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void LoopbackServer::SetAnswer(Answer answer)
{
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
}

void LoopbackServer::Run(bool accept)
{
    int client = -1;
    for (;;) {
        pollfd fds[3] = {{wake_[0], POLLIN, 0},
                         {accept && client < 0 ? listen_ : -1, POLLIN, 0},
                         {client, POLLIN, 0}};
        if (::poll(fds, 3, 1000) < 0 && errno != EINTR)
            break;
        if (fds[0].revents != 0)
            break;
        if ((fds[1].revents & POLLIN) != 0) {
            client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                ++accepted_;
        }
        if (client >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            std::uint8_t chunk[1024];
            const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
            if (n <= 0) {
                ::close(client);
                client = -1;
                ++closed_;
                continue;
            }
            Answer answer;
            {
                std::lock_guard lock(mutex_);
                answer = answer_;
            }
            if (answer && !answer(client, {chunk, chunk + n}))
                client = -1;
        }
    }
    if (client >= 0)
        ::close(client);
}

LoopbackServer::Answer LoopbackServer::Echo(std::chrono::milliseconds gap)
{
    return [gap](int client, const std::vector<std::uint8_t>& request) {
        const std::size_t first = gap.count() > 0 ? request.size() / 2 : request.size();
        ::send(client, request.data(), first, MSG_NOSIGNAL);
        if (first < request.size()) {
            std::this_thread::sleep_for(gap);  // the server's own pace, not the test's
            ::send(client, request.data() + first, request.size() - first, MSG_NOSIGNAL);
        }
        return true;
    };
}

LoopbackServer::Answer LoopbackServer::CloseAfter(std::size_t bytes)
{
    return [bytes](int client, const std::vector<std::uint8_t>& request) {
        ::send(client, request.data(), std::min(bytes, request.size()), MSG_NOSIGNAL);
        ::close(client);
        return false;
    };
}

LoopbackServer::Answer LoopbackServer::Silent()
{
    return [](int, const std::vector<std::uint8_t>&) { return true; };
}

BacklogFiller::BacklogFiller(std::uint16_t port)
{
    // A listener that never accepts takes backlog + 1 connections; later SYNs are dropped.
    for (int i = 0; i < 8; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address = Loopback(port);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        sockets_.push_back(fd);
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 200) == 0)
            return;  // this one waits: the backlog is full
    }
}

BacklogFiller::~BacklogFiller()
{
    for (int fd : sockets_)
        ::close(fd);
}

}  // namespace imconf::nettest
