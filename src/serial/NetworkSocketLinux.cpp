#include "serial/NetworkSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace imconf::netsock {

namespace {
int Fd(Handle socket)
{
    return static_cast<int>(static_cast<std::intptr_t>(socket));
}
}  // namespace

Library::Library() = default;
Library::~Library() = default;

std::vector<Address> Resolve(const std::string& host, std::uint16_t port, int& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (result == EAI_NONAME || result == EAI_ADDRFAMILY) {
        // AI_ADDRCONFIG drops loopback addresses on a machine without other addresses.
        hints.ai_flags = AI_NUMERICSERV;
        result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    }
    std::vector<Address> addresses;
    if (result != 0) {
        error = result == EAI_SYSTEM ? errno : EHOSTUNREACH;
        return addresses;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(a->ai_addr);
        addresses.push_back(Address{a->ai_family, {bytes, bytes + a->ai_addrlen}});
    }
    ::freeaddrinfo(found);
    error = addresses.empty() ? EHOSTUNREACH : 0;
    return addresses;
}

int TimedOutError()
{
    return ETIMEDOUT;
}

int NotConnectedError()
{
    return ENOTCONN;
}

int BadNameError()
{
    return EINVAL;
}

int LastError()
{
    return errno;
}

Handle OpenStream(const Address& address)
{
    const int fd =
        ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return kNoSocket;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return static_cast<Handle>(fd);
}

void Close(Handle socket)
{
    if (socket != kNoSocket)
        ::close(Fd(socket));
}

int StartConnect(Handle socket, const Address& address)
{
    const int result =
        ::connect(Fd(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<socklen_t>(address.bytes.size()));
    if (result == 0)
        return 0;
    return errno == EINPROGRESS || errno == EINTR ? kInProgress : errno;
}

int ConnectResult(Handle socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

int Wait(Handle socket, bool read, bool write, int timeoutMs)
{
    pollfd fd{Fd(socket), static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0)), 0};
    const int r = ::poll(&fd, 1, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    if (r == 0)
        return 0;
    int flags = 0;
    if ((fd.revents & POLLIN) != 0)
        flags |= kReadable;
    if ((fd.revents & POLLOUT) != 0)
        flags |= kWritable;
    if ((fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
        flags |= kBroken;
    return flags;
}

long Receive(Handle socket, void* into, std::size_t count, bool peek)
{
    for (;;) {
        const ssize_t n = ::recv(Fd(socket), into, count, peek ? MSG_PEEK : 0);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

long Send(Handle socket, const void* bytes, std::size_t count)
{
    for (;;) {
        const ssize_t n = ::send(Fd(socket), bytes, count, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

bool WouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

int BytesWaiting(Handle socket)
{
    int waiting = 0;
    if (::ioctl(Fd(socket), FIONREAD, &waiting) != 0)
        return -1;
    return waiting;
}

}  // namespace imconf::netsock
