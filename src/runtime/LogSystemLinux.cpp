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

std::string LocalTimeStamp(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(
        time_point_cast<system_clock::duration>(floor<std::chrono::seconds>(time)));
    const auto millis = duration_cast<milliseconds>(time - floor<std::chrono::seconds>(time));
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff / 60;  // minutes east of UTC
    return FormatTimeStamp(local, static_cast<int>(millis.count()), offset);
}

}  // namespace imconf
