#pragma once
// Files by name: the few operations the tool needs, the same on every platform.
//
// Paths are UTF-8. Errors are errno numbers (ENOENT, EACCES, EISDIR, ENOSPC, EIO, ...): on
// Linux the system's own, on Windows the system error mapped to the nearest errno, so that
// one table turns them into the texts the user reads. Every call returns 0 or such a number.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace imconf::files {

// An open file: a descriptor on Linux, a handle on Windows. kNoFile is none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Opens an existing regular file for reading. A folder gives EISDIR, anything else that is
// not a regular file (FIFO, device, socket) EACCES; such a name is looked at, never opened,
// so it cannot block the caller or touch a device.
int OpenForReading(const std::string& path, FileHandle& file);

// The size in bytes of an open file.
int Size(FileHandle file, std::uint64_t& size);

// Reads up to `count` bytes; `got` is 0 at the end of the file.
int Read(FileHandle file, void* into, std::size_t count, std::size_t& got);

// Creates the file, or empties an existing one, for writing.
int CreateForWriting(const std::string& path, FileHandle& file);

// Writes all `count` bytes.
int WriteAll(FileHandle file, const void* bytes, std::size_t count);

// Closes the file; the result counts for a file written (a late write error shows here).
int Close(FileHandle file);

// Deletes the file by name.
int Remove(const std::string& path);

// The full path of the running program's executable (on Linux with links resolved); nothing
// when the system cannot say.
std::optional<std::string> ExecutablePath();

// A UTF-8 path as std::filesystem takes it, and back.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace imconf::files
