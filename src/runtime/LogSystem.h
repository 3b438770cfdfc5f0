#pragma once
// What the session log asks of the system: where its folder is by default and what the local
// time is. The stamp is made in LogSystem.cpp; the system's part has one implementation per
// platform (LogSystemLinux.cpp, LogSystemWin32.cpp).

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

namespace imconf {

// The user's log folder (UTF-8): $XDG_STATE_HOME/imconf/log, by default
// ~/.local/state/imconf/log, on Linux; %LOCALAPPDATA%\imconf\log on Windows. Nothing when the
// system names no such place (no home folder).
std::optional<std::string> DefaultLogFolder();

// The local time in ISO 8601 with milliseconds and the offset from UTC:
// "2026-12-10T13:03:41.123+01:00".
std::string LocalTimeStamp(std::chrono::system_clock::time_point time);

// A moment in the local time zone: its fields, and the zone's offset east of UTC then.
struct LocalTime {
    std::tm fields{};
    long offsetMinutes = 0;
};
LocalTime ToLocalTime(std::time_t seconds);

}  // namespace imconf
