#include "runtime/FileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace imconf::files {

namespace {

int ErrorOfType(const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    return S_ISREG(st.st_mode) ? 0 : EACCES;
}

int Fd(FileHandle file)
{
    return static_cast<int>(file);
}

}  // namespace

int OpenForReading(const std::string& path, FileHandle& file)
{
    file = kNoFile;
    // Look before opening: opening a FIFO could block and opening a serial device would move
    // its modem lines, so only a regular file is opened at all.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    if (const int error = ErrorOfType(st))
        return error;
    // Non-blocking all the way: the name may have been replaced since the look above, and some
    // pseudo-files (under /proc) block on read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fstat(fd, &st) != 0 ? errno : ErrorOfType(st);
    if (error != 0) {
        ::close(fd);
        return error;
    }
    file = fd;
    return 0;
}

int Size(FileHandle file, std::uint64_t& size)
{
    struct stat st {};
    if (::fstat(Fd(file), &st) != 0)
        return errno;
    size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

int Read(FileHandle file, void* into, std::size_t count, std::size_t& got)
{
    got = 0;
    for (;;) {
        const ssize_t n = ::read(Fd(file), into, count);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return errno;
    }
}

int CreateForWriting(const std::string& path, FileHandle& file)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
    file = fd < 0 ? kNoFile : fd;
    return fd < 0 ? errno : 0;
}

int WriteAll(FileHandle file, const void* bytes, std::size_t count)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(Fd(file), from + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;  // no progress: never loop on it
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int Close(FileHandle file)
{
    return ::close(Fd(file)) != 0 ? errno : 0;
}

int Remove(const std::string& path)
{
    return ::unlink(path.c_str()) != 0 ? errno : 0;
}

std::optional<std::string> ExecutablePath()
{
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical("/proc/self/exe", error);
    if (error)
        return std::nullopt;
    return file.string();
}

std::filesystem::path PathFromUtf8(const std::string& utf8)
{
    return utf8;
}

std::string Utf8FromPath(const std::filesystem::path& path)
{
    return path.string();
}

}  // namespace imconf::files
