#include "serial/NetworkSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace imconf::netsock {

namespace {
SOCKET Sock(Handle socket)
{
    return static_cast<SOCKET>(socket);
}
}  // namespace

Library::Library()
{
    WSADATA data{};
    error_ = ::WSAStartup(MAKEWORD(2, 2), &data);
}

Library::~Library()
{
    if (error_ == 0)
        ::WSACleanup();
}

std::vector<Address> Resolve(const std::string& host, std::uint16_t port, int& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    std::vector<Address> addresses;
    if (result != 0) {
        error = result;
        return addresses;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(a->ai_addr);
        addresses.push_back(Address{a->ai_family, {bytes, bytes + a->ai_addrlen}});
    }
    ::freeaddrinfo(found);
    error = addresses.empty() ? WSAEHOSTUNREACH : 0;
    return addresses;
}

int TimedOutError()
{
    return WSAETIMEDOUT;
}

int NotConnectedError()
{
    return WSAENOTCONN;
}

int BadNameError()
{
    return WSAEINVAL;
}

int LastError()
{
    return ::WSAGetLastError();
}

Handle OpenStream(const Address& address)
{
    // Not inherited: WSA_FLAG_NO_HANDLE_INHERIT.
    const SOCKET s = ::WSASocketW(address.family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                  WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return kNoSocket;
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<Handle>(s);
}

void Close(Handle socket)
{
    if (socket != kNoSocket)
        ::closesocket(Sock(socket));
}

int StartConnect(Handle socket, const Address& address)
{
    const int result =
        ::connect(Sock(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<int>(address.bytes.size()));
    if (result == 0)
        return 0;
    const int error = ::WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS ? kInProgress : error;
}

int ConnectResult(Handle socket)
{
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(Sock(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &length) != 0)
        return ::WSAGetLastError();
    return error;
}

int Wait(Handle socket, bool read, bool write, int timeoutMs)
{
    // select: WSAPoll does not report a refused connect on every Windows version.
    fd_set readSet;
    fd_set writeSet;
    fd_set errorSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&errorSet);
    if (read)
        FD_SET(Sock(socket), &readSet);
    if (write)
        FD_SET(Sock(socket), &writeSet);
    FD_SET(Sock(socket), &errorSet);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int r = ::select(0, &readSet, &writeSet, &errorSet, timeoutMs < 0 ? nullptr : &timeout);
    if (r == SOCKET_ERROR)
        return -1;
    int flags = 0;
    if (FD_ISSET(Sock(socket), &readSet))
        flags |= kReadable;
    if (FD_ISSET(Sock(socket), &writeSet))
        flags |= kWritable;
    if (FD_ISSET(Sock(socket), &errorSet))
        flags |= kBroken;
    return flags;
}

long Receive(Handle socket, void* into, std::size_t count, bool peek)
{
    const int n = ::recv(Sock(socket), static_cast<char*>(into), static_cast<int>(count),
                         peek ? MSG_PEEK : 0);
    return n == SOCKET_ERROR ? -1 : n;
}

long Send(Handle socket, const void* bytes, std::size_t count)
{
    const int n = ::send(Sock(socket), static_cast<const char*>(bytes), static_cast<int>(count), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool WouldBlock(int error)
{
    return error == WSAEWOULDBLOCK;
}

int BytesWaiting(Handle socket)
{
    u_long waiting = 0;
    if (::ioctlsocket(Sock(socket), FIONREAD, &waiting) != 0)
        return -1;
    return waiting > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(waiting);
}

}  // namespace imconf::netsock
