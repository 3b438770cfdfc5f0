#include "serial/SystemPorts.h"

#include <algorithm>
#include <climits>
#include <type_traits>

#include <windows.h>

namespace imconf {

namespace {

constexpr DWORD kMaxValueName = 32767;  // bytes of a value name in the ANSI code page
constexpr DWORD kMaxData = 1u << 20;    // bytes of a value's data worth reading

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// A text of the A functions (the ANSI code page) as UTF-8.
std::string AnsiToUtf8(const std::string& text)
{
    if (std::all_of(text.begin(), text.end(),
                    [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }))
        return text;
    if (text.size() > static_cast<std::size_t>(INT_MAX / 2))
        return {};
    const int size = static_cast<int>(text.size());
    const int wideSize = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (wideSize <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), wideSize);
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

// The names of the key's values in the registry's order; nullopt when enumerating fails.
std::optional<std::vector<std::string>> ValueNames(HKEY key, DWORD longestName)
{
    std::vector<char> name(std::min(longestName, kMaxValueName) + 1);
    std::vector<std::string> names;
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG rc =
            ::RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return names;
        if (rc == ERROR_MORE_DATA && name.size() <= kMaxValueName) {
            name.resize(kMaxValueName + 1);  // a longer name came in since the count
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        names.emplace_back(name.data(), std::min<std::size_t>(length, name.size()));
        ++index;
    }
}

// A value's data as text, up to its first NUL whether or not the data carries one; nullopt
// when the value is not text or cannot be read.
std::optional<std::string> ReadText(HKEY key, const std::string& name, DWORD longestData)
{
    // One byte beyond what the registry fills, so the text always ends.
    std::vector<char> data(std::min(longestData, kMaxData) + 1, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size() - 1);
        const LONG rc = ::RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc == ERROR_MORE_DATA && size < kMaxData) {
            data.assign(size + 1, '\0');  // the value grew since the count
            continue;
        }
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        std::string text(data.data(), std::min<std::size_t>(size, data.size() - 1));
        text.resize(std::min(text.find('\0'), text.size()));
        return AnsiToUtf8(text);
    }
    return std::nullopt;
}

}  // namespace

Win32SystemPortList::Win32SystemPortList(std::string subKey, RegistryRoot root)
    : subKey_(std::move(subKey)),
      root_(root)
{
}

std::optional<std::vector<SystemPort>> Win32SystemPortList::Read()
{
    const HKEY root = root_ == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(root, subKey_.c_str(), 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const KeyPtr key(opened);

    DWORD values = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                           &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    const auto names = ValueNames(key.get(), longestName);
    if (!names)
        return std::nullopt;

    std::vector<SystemPort> ports;
    ports.reserve(names->size());
    for (const std::string& name : *names) {
        auto data = ReadText(key.get(), name, longestData);
        if (data && IsUsablePortName(*data))
            ports.push_back({std::move(*data), AnsiToUtf8(name)});
    }
    return ports;
}

std::unique_ptr<ISystemPortList> MakeSystemPortList()
{
    return std::make_unique<Win32SystemPortList>();
}

}  // namespace imconf
