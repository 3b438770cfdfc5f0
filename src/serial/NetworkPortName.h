#pragma once
// Network port names: a serial device server that carries the RTU frames unchanged over a
// raw TCP connection is named "tcp://HOST:PORT" wherever a port name is taken.
//
// HOST is a host name, an IPv4 address or an IPv6 address in brackets ("[::1]"); PORT is
// 1..65535. An optional suffix "?latency=MS" (0..10000) sets the network allowance that every
// response time-out gets on such a port. The name is shown everywhere as it is written.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace imconf {

inline constexpr std::string_view kNetworkPortPrefix = "tcp://";
// The allowance a network port gives every response time-out when nothing else says.
inline constexpr std::uint32_t kDefaultNetworkLatencyMs = 100;
inline constexpr std::uint32_t kMaxNetworkLatencyMs = 10000;

struct NetworkPortName {
    std::string host;  // without the brackets of an IPv6 address
    std::uint16_t port = 0;
    std::optional<std::uint32_t> latencyMs;
};

// True for a name in the network port's form ("tcp://..."), well formed or not: such a name
// never names a serial device.
bool IsNetworkPortName(std::string_view name);

// The parts of a well-formed network port name; nothing for a name that is not one.
std::optional<NetworkPortName> ParseNetworkPortName(std::string_view name);

}  // namespace imconf
