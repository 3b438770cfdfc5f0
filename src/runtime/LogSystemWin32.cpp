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

LocalTime ToLocalTime(std::time_t seconds)
{
    LocalTime local;
    ::localtime_s(&local.fields, &seconds);
    std::tm asUtc = local.fields;
    // The local fields read as UTC, less the moment itself: the offset east of UTC.
    local.offsetMinutes = static_cast<long>(::_mkgmtime(&asUtc) - seconds) / 60;
    return local;
}

}  // namespace imconf
