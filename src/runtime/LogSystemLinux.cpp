#include "runtime/LogSystem.h"

#include <cstdlib>
#include <ctime>

namespace imconf {

std::optional<std::string> DefaultLogFolder()
{
    // As the XDG base directories have it: a relative XDG_STATE_HOME is to be ignored.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
        return std::string(state) + "/imconf/log";
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return std::string(home) + "/.local/state/imconf/log";
    return std::nullopt;
}

LocalTime ToLocalTime(std::time_t seconds)
{
    LocalTime local;
    ::localtime_r(&seconds, &local.fields);
    local.offsetMinutes = local.fields.tm_gmtoff / 60;
    return local;
}

}  // namespace imconf
