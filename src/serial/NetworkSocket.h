#pragma once
// The few socket calls the network port needs, the same on every platform: BSD sockets on
// Linux (NetworkSocketLinux.cpp), Winsock on Windows (NetworkSocketWin32.cpp). Every socket is
// a non-blocking TCP stream; errors are the system's numbers (errno, WSAGetLastError).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace imconf::netsock {

using Handle = std::uintptr_t;
inline constexpr Handle kNoSocket = ~Handle{0};

// Keeps the system's socket library started while it lives (Winsock); nothing on Linux.
class Library {
public:
    Library();
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    // 0, or the error that kept the library from starting.
    int Error() const { return error_; }

private:
    int error_ = 0;
};

// One address to connect to, as the system gives it.
struct Address {
    int family = 0;
    std::vector<unsigned char> bytes;
};

// The addresses of `host` (a name, an IPv4 or an IPv6 address) with `port`; `error` is set
// when there are none. May wait for the system's name service.
std::vector<Address> Resolve(const std::string& host, std::uint16_t port, int& error);

// Error numbers the device reports of its own.
int TimedOutError();
int NotConnectedError();
int BadNameError();
int LastError();

// A new non-blocking stream socket of `address`'s family, not inherited by child processes,
// with the small writes of a request sent at once (no Nagle delay). kNoSocket on failure.
Handle OpenStream(const Address& address);
void Close(Handle socket);
// Starts connecting: 0 when connected at once, kInProgress while it goes on, else the error.
inline constexpr int kInProgress = -1;
int StartConnect(Handle socket, const Address& address);
// The outcome of a connect that went on: 0 when it was made, else the error.
int ConnectResult(Handle socket);

enum Readiness : unsigned { kReadable = 1, kWritable = 2, kBroken = 4 };
// Waits at most `timeoutMs` until the socket can be read (`read`) or written (`write`), or is
// broken; the Readiness flags, 0 when the time ran out, -1 when the wait failed.
int Wait(Handle socket, bool read, bool write, int timeoutMs);

// Bytes moved (> 0), 0 at the end of the stream (Receive) and -1 on an error (LastError();
// WouldBlock tells whether it only has to wait). Send never raises a signal.
long Receive(Handle socket, void* into, std::size_t count, bool peek = false);
long Send(Handle socket, const void* bytes, std::size_t count);
bool WouldBlock(int error);
// Bytes received and not read yet; -1 on an error.
int BytesWaiting(Handle socket);

}  // namespace imconf::netsock
