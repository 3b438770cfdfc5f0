#include "serial/NetworkPortFile.h"

#include <cstdlib>
#include <string>

namespace imconf {

std::string UserNetworkPortsFile()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        return std::string(config) + "/imconf/" + kNetworkPortsFileName;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return std::string(home) + "/.config/imconf/" + kNetworkPortsFileName;
    return {};
}

}  // namespace imconf
