#include "serial/NetworkPortFile.h"

#include "serial/NetworkPortName.h"
#include "serial/PortFile.h"

#include <algorithm>

namespace imconf {

namespace {
// Lines read at most: comments count, so more than the entries kept.
constexpr std::size_t kMaxLinesRead = 256;

std::string_view Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}
}  // namespace

std::vector<std::string> NetworkPortsFromLines(const std::vector<std::string>& lines)
{
    std::vector<std::string> ports;
    for (const std::string& line : lines) {
        const std::string_view name = Trimmed(line);
        if (name.empty() || name.front() == '#' || !ParseNetworkPortName(name))
            continue;
        if (std::find(ports.begin(), ports.end(), name) != ports.end())
            continue;
        ports.emplace_back(name);
        if (ports.size() == kMaxNetworkPorts)
            break;
    }
    return ports;
}

std::vector<std::string> ReadNetworkPortsFile(const std::string& path)
{
    if (path.empty())
        return {};
    return NetworkPortsFromLines(ReadPortFile(path, kMaxLinesRead).lines);
}

}  // namespace imconf
