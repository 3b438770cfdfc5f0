#include "LoopbackServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace imconf::nettest {

Handle ListenOnLoopback(std::uint16_t port, int backlog, std::uint16_t& bound)
{
    const SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                  WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return netsock::kNoSocket;
    // A test listens again on the port of a server it stopped, whose connections may linger.
    const BOOL one = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, backlog) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(s);
        return netsock::kNoSocket;
    }
    bound = ::ntohs(address.sin_port);
    return static_cast<Handle>(s);
}

Handle AcceptClient(Handle listener)
{
    const SOCKET s = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? netsock::kNoSocket : static_cast<Handle>(s);
}

}  // namespace imconf::nettest
