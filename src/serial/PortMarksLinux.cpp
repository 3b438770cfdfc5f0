#include "serial/PortMarks.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace imconf::linuxtty {

namespace {

std::mutex folderMutex;
std::optional<std::string> folderSetting;  // under folderMutex

// The path of the device open as `fd`, as the kernel knows it (a link such as
// /dev/serial/by-id/... or an announced port name leads to the device itself).
std::optional<std::string> DevicePath(int fd)
{
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
        return std::nullopt;
    return std::string(target, static_cast<std::size_t>(n));
}

struct LockFileText {
    bool exists = false;
    std::optional<long> pid;  // none when the file holds no readable process id
};

LockFileText ReadLockFile(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {errno != ENOENT, std::nullopt};
    char text[32];
    ssize_t n;
    do {
        n = ::read(fd, text, sizeof text - 1);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0)
        return {true, std::nullopt};
    text[n] = '\0';
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || pid <= 0 || pid > INT_MAX ||
        !std::all_of(end, text + n, [](char c) { return c == ' ' || c == '\n' || c == '\r'; }))
        return {true, std::nullopt};
    return {true, pid};
}

enum class Holder { None, Live, Stale };

// Who the lock file names: None when there is no such file; Live when its process runs or the
// file holds no readable process id (it may be being written right now); Stale when that
// process is gone, or is this one (a crashed program's file whose number came round again:
// this process holds the terminal's advisory lock, so no port of ours has it open).
Holder LockFileHolder(const std::string& file)
{
    const LockFileText lock = ReadLockFile(file);
    if (!lock.exists)
        return Holder::None;
    if (!lock.pid)
        return Holder::Live;
    if (*lock.pid == ::getpid())
        return Holder::Stale;
    return ::kill(static_cast<pid_t>(*lock.pid), 0) == 0 || errno == EPERM ? Holder::Live
                                                                           : Holder::Stale;
}

}  // namespace

void SetLockFolder(std::string folder)
{
    std::lock_guard lock(folderMutex);
    folderSetting = std::move(folder);
}

std::string LockFolder()
{
    std::lock_guard lock(folderMutex);
    if (!folderSetting) {
        const char* env = std::getenv("IMCONF_LOCK_DIR");
        folderSetting = env != nullptr && env[0] != '\0' ? env : "/var/lock";
    }
    return *folderSetting;
}

std::string LockFileName(const std::string& devicePath)
{
    const std::string dev = "/dev/";
    std::string name;
    if (devicePath.compare(0, dev.size(), dev) == 0) {
        name = devicePath.substr(dev.size());
        std::replace(name.begin(), name.end(), '/', '_');
    } else {
        const std::size_t slash = devicePath.find_last_of('/');
        name = slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
    }
    return "LCK.." + name;
}

int PortMarks::TakeLockFile(const std::string& file)
{
    // Made with O_EXCL, so of two programs only one gets it. A stale one is removed and the
    // file made again; a program that makes it in between wins.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd =
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int length =
                std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
            const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
            ::close(fd);
            if (written)
                lockFile_ = file;
            else
                ::unlink(file.c_str());  // a full disk: no lock file rather than an empty one
            return 0;
        }
        const bool exists = errno == EEXIST;
        switch (LockFileHolder(file)) {
        case Holder::Live: return EBUSY;
        case Holder::None:
            // None there and none can be made (no folder, no right to write in it): the port
            // is used without one.
            if (!exists)
                return 0;
            break;  // gone meanwhile
        case Holder::Stale:
            if (::unlink(file.c_str()) != 0 && errno != ENOENT)
                return 0;  // one we may not remove: it names no one
            break;
        }
    }
    return EBUSY;
}

int PortMarks::Take(int fd, const std::string& path)
{
    // Root opens a terminal whatever its exclusive flag says, so the flag is asked for.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        return EBUSY;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? EBUSY : errno;

    if (TakeLockFile(LockFolder() + "/" + LockFileName(DevicePath(fd).value_or(path))) != 0) {
        ::flock(fd, LOCK_UN);
        return EBUSY;
    }
    exclusive_ = ::ioctl(fd, TIOCEXCL) == 0;
    return 0;
}

void PortMarks::Release(int fd)
{
    if (!lockFile_.empty()) {
        // Still ours: another program may have taken the name meanwhile.
        if (ReadLockFile(lockFile_).pid == ::getpid())
            ::unlink(lockFile_.c_str());
        lockFile_.clear();
    }
    if (exclusive_)
        ::ioctl(fd, TIOCNXCL);
    exclusive_ = false;
}

}  // namespace imconf::linuxtty
