#include "runtime/FileAccess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cwctype>
#include <string_view>
#include <vector>

#include <windows.h>

namespace imconf::files {

namespace {

constexpr DWORD kMaxIo = 1u << 30;  // bytes per ReadFile/WriteFile call

// The nearest errno of a system error, so that the texts of the Linux build apply.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EIO;
    }
}

int LastErrno()
{
    return ErrnoOf(::GetLastError());
}

HANDLE Handle(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

// UTF-8 to UTF-16; `strict` refuses bytes that are not UTF-8 instead of replacing them.
std::optional<std::wstring> Widen(const std::string& utf8, bool strict)
{
    if (utf8.empty())
        return std::wstring();
    if (utf8.size() > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
    if (n <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, wide.data(), n) != n)
        return std::nullopt;
    return wide;
}

std::string Narrow(std::wstring_view wide)
{
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int size = static_cast<int>(wide.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towupper(static_cast<std::wint_t>(x)) ==
                      std::towupper(static_cast<std::wint_t>(y));
           });
}

// A name that Windows resolves to a device rather than a file: the device namespace
// ("\\.\COM1", "\\.\pipe\x") or a reserved name in any folder ("COM1", "nul.txt", "CON ").
// Opening a serial port moves its modem lines and reading a pipe can block, so such a name
// is refused without being opened.
bool IsDeviceName(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    const std::wstring_view p = path;
    if (p.substr(0, 4) == L"\\\\.\\")
        return true;
    if (p.substr(0, 4) == L"\\\\?\\") {
        // Long-path form of a file: "\\?\C:\..." or "\\?\UNC\..."; anything else is a device.
        const std::wstring_view rest = p.substr(4);
        const bool drive = rest.size() >= 2 && rest[1] == L':';
        if (!drive && !EqualsNoCase(rest.substr(0, 4), L"UNC\\"))
            return true;
    }
    // The last part of the name, without a drive ("C:COM1"), an extension or a stream ("COM1:").
    const std::size_t slash = p.find_last_of(L'\\');
    std::wstring_view name = slash == std::wstring_view::npos ? p : p.substr(slash + 1);
    if (slash == std::wstring_view::npos && name.size() >= 2 && name[1] == L':')
        name.remove_prefix(2);
    name = name.substr(0, name.find_first_of(L".:"));
    while (!name.empty() && name.back() == L' ')
        name.remove_suffix(1);
    static constexpr std::array<std::wstring_view, 6> kReserved = {L"CON", L"PRN",    L"AUX",
                                                                   L"NUL", L"CONIN$", L"CONOUT$"};
    for (const std::wstring_view reserved : kReserved)
        if (EqualsNoCase(name, reserved))
            return true;
    if (name.size() == 4 &&
        (EqualsNoCase(name.substr(0, 3), L"COM") || EqualsNoCase(name.substr(0, 3), L"LPT"))) {
        const wchar_t digit = name[3];
        return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

// The name of a file to open as the wide functions take it: ENOENT for a name that is empty
// or no valid UTF-8, EACCES for a device name.
int FileName(const std::string& path, std::wstring& wide)
{
    const auto converted = Widen(path, true);
    if (!converted || converted->empty())
        return ENOENT;
    if (IsDeviceName(*converted))
        return EACCES;
    wide = *converted;
    return 0;
}

}  // namespace

int OpenForReading(const std::string& path, FileHandle& file)
{
    file = kNoFile;
    std::wstring wide;
    if (const int error = FileName(path, wide); error != 0)
        return error;
    // Look before opening, as for any name that may not be a file.
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &info))
        return LastErrno();
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return EISDIR;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return EACCES;
    const HANDLE handle = ::CreateFileW(
        wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrno();
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        return EACCES;
    }
    file = reinterpret_cast<FileHandle>(handle);
    return 0;
}

int Size(FileHandle file, std::uint64_t& size)
{
    LARGE_INTEGER value{};
    if (!::GetFileSizeEx(Handle(file), &value))
        return LastErrno();
    size = static_cast<std::uint64_t>(value.QuadPart);
    return 0;
}

int Read(FileHandle file, void* into, std::size_t count, std::size_t& got)
{
    got = 0;
    DWORD n = 0;
    if (!::ReadFile(Handle(file), into, static_cast<DWORD>(std::min<std::size_t>(count, kMaxIo)),
                    &n, nullptr)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE ? 0 : ErrnoOf(error);
    }
    got = n;
    return 0;
}

int CreateForWriting(const std::string& path, FileHandle& file)
{
    file = kNoFile;
    std::wstring wide;
    if (const int error = FileName(path, wide); error != 0)
        return error;
    const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrno();
    file = reinterpret_cast<FileHandle>(handle);
    return 0;
}

int WriteAll(FileHandle file, const void* bytes, std::size_t count)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, kMaxIo));
        if (!::WriteFile(Handle(file), from + done, chunk, &n, nullptr))
            return LastErrno();
        if (n == 0)
            return EIO;  // no progress: never loop on it
        done += n;
    }
    return 0;
}

int Close(FileHandle file)
{
    return ::CloseHandle(Handle(file)) ? 0 : LastErrno();
}

int Remove(const std::string& path)
{
    const auto wide = Widen(path, true);
    if (!wide || wide->empty())
        return ENOENT;
    return ::DeleteFileW(wide->c_str()) ? 0 : LastErrno();
}

std::optional<std::string> ExecutablePath()
{
    // The path can be longer than MAX_PATH; a full buffer means it was cut.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::nullopt;
        if (n < buffer.size())
            return Narrow(std::wstring_view(buffer.data(), n));
        if (buffer.size() >= 32768)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

std::filesystem::path PathFromUtf8(const std::string& utf8)
{
    return std::filesystem::path(Widen(utf8, false).value_or(std::wstring()));
}

std::string Utf8FromPath(const std::filesystem::path& path)
{
    return Narrow(path.native());
}

}  // namespace imconf::files
