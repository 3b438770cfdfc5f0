#include "serial/NetworkPortName.h"

#include <charconv>

namespace imconf {

namespace {

// Decimal digits only, no sign, no blanks, within [0, max].
std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t max)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

bool IsHostNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool IsIpv6Char(char c)
{
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' ||
           c == '.' || c == '%';
}

}  // namespace

bool IsNetworkPortName(std::string_view name)
{
    return name.substr(0, kNetworkPortPrefix.size()) == kNetworkPortPrefix;
}

std::optional<NetworkPortName> ParseNetworkPortName(std::string_view name)
{
    if (!IsNetworkPortName(name) || name.size() > 300)
        return std::nullopt;
    std::string_view rest = name.substr(kNetworkPortPrefix.size());

    NetworkPortName parsed;
    if (const auto query = rest.find('?'); query != std::string_view::npos) {
        constexpr std::string_view kLatency = "latency=";
        const std::string_view option = rest.substr(query + 1);
        if (option.substr(0, kLatency.size()) != kLatency)
            return std::nullopt;
        parsed.latencyMs = ParseNumber(option.substr(kLatency.size()), kMaxNetworkLatencyMs);
        if (!parsed.latencyMs)
            return std::nullopt;
        rest = rest.substr(0, query);
    }

    std::string_view host;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
        // An address, then optionally '%' and the zone (an interface's name or number).
        const std::string_view address = host.substr(0, host.find('%'));
        const std::string_view zone = host.substr(address.size());
        if (address.find(':') == std::string_view::npos || zone.size() == 1)
            return std::nullopt;
        for (char c : address)
            if (!IsIpv6Char(c))
                return std::nullopt;
        for (char c : zone.substr(zone.empty() ? 0 : 1))
            if (!IsHostNameChar(c))
                return std::nullopt;
    } else {
        const auto colon = rest.find(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.empty() || host.size() > 253)
            return std::nullopt;
        for (char c : host)
            if (!IsHostNameChar(c))
                return std::nullopt;
    }
    const auto number = ParseNumber(port, 65535);
    if (!number || *number == 0)
        return std::nullopt;
    parsed.host = std::string(host);
    parsed.port = static_cast<std::uint16_t>(*number);
    return parsed;
}

}  // namespace imconf
