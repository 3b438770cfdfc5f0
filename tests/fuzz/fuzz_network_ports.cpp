// The user's network-port list file and the network port names on arbitrary bytes. Besides no
// crash: never more than kMaxNetworkPorts entries, no entry twice, every entry a well-formed
// network port name without blanks at its ends, and the parts of a name always within their
// ranges.

#include "FuzzCheck.h"
#include "FuzzTempFile.h"

#include "serial/NetworkPortFile.h"
#include "serial/NetworkPortName.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace imconf;

namespace {

void CheckName(std::string_view name)
{
    const auto parsed = ParseNetworkPortName(name);
    if (!parsed)
        return;
    FUZZ_CHECK(IsNetworkPortName(name));
    FUZZ_CHECK(!parsed->host.empty() && parsed->host.size() < name.size());
    FUZZ_CHECK(parsed->port != 0);
    FUZZ_CHECK(!parsed->latencyMs || *parsed->latencyMs <= kMaxNetworkLatencyMs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::ScratchFolder().Write(kNetworkPortsFileName, data, size);
    const auto ports = ReadNetworkPortsFile(path);
    FUZZ_CHECK(ports.size() <= kMaxNetworkPorts);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& name = ports[i];
        FUZZ_CHECK(ParseNetworkPortName(name).has_value());
        FUZZ_CHECK(name.front() != ' ' && name.back() != ' ' && name.back() != '\t');
        FUZZ_CHECK(std::count(ports.begin(), ports.end(), name) == 1);
    }
    ::unlink(path.c_str());

    CheckName(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
