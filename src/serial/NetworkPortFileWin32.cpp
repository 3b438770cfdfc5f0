#include "serial/NetworkPortFile.h"

#include <string>
#include <windows.h>

namespace imconf {

std::string UserNetworkPortsFile()
{
    // The roaming application-data folder, as UTF-8 (the file functions take UTF-8 paths).
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (length == 0)
        return {};
    std::wstring wide(length, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(L"APPDATA", wide.data(), length);
    if (got == 0 || got >= length)
        return {};
    wide.resize(got);
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                            nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string folder(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), folder.data(),
                          bytes, nullptr, nullptr);
    return folder + "\\imconf\\" + kNetworkPortsFileName;
}

}  // namespace imconf
