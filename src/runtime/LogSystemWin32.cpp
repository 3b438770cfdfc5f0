#include "runtime/LogSystem.h"

#include "runtime/FileAccess.h"

#include <windows.h>

#include <ctime>
#include <filesystem>

namespace imconf {

std::optional<std::string> DefaultLogFolder()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return std::nullopt;
    return files::Utf8FromPath(std::filesystem::path(folder) / L"imconf" / L"log");
}

std::string LocalTimeStamp(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(
        time_point_cast<system_clock::duration>(floor<std::chrono::seconds>(time)));
    const auto millis = duration_cast<milliseconds>(time - floor<std::chrono::seconds>(time));
    std::tm local{};
    ::localtime_s(&local, &seconds);
    std::tm asUtc = local;
    // The local fields read as UTC, less the moment itself: the offset east of UTC.
    const long offset = static_cast<long>(::_mkgmtime(&asUtc) - seconds) / 60;
    return FormatTimeStamp(local, static_cast<int>(millis.count()), offset);
}

}  // namespace imconf
