#pragma once
// What the session log asks of the system: where its folder is by default and what the local
// time is. One implementation per platform (LogSystemLinux.cpp, LogSystemWin32.cpp).

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

// The stamp of a broken-down local time, its milliseconds and its offset east of UTC.
std::string FormatTimeStamp(const std::tm& local, int millis, long offsetMinutes);

}  // namespace imconf
