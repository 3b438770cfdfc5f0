#include "serial/PortMarks.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
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

// A lock file without a readable process id counts as held this long after it was written.
constexpr std::int64_t kFreshNs = 5'000'000'000;

std::int64_t Nanoseconds(const timespec& t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t NowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

struct LockFileText {
    bool exists = false;
    struct stat st {};        // of the name itself (a link is not followed)
    std::optional<long> pid;  // none when the file holds no readable process id
};

std::optional<long> ParsePid(const char* text, ssize_t n)
{
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(text, &end, 10);
    const char* last = text + n;
    if (errno != 0 || end == text || pid <= 0 || pid > INT_MAX ||
        !std::all_of(static_cast<const char*>(end), last,
                     [](char c) { return c == ' ' || c == '\n' || c == '\r'; }))
        return std::nullopt;
    return pid;
}

// What the lock file says. A name that cannot be looked at (a folder that cannot be searched,
// or is no folder) counts as no file: no lock file can be made there either.
LockFileText ReadLockFile(const std::string& file)
{
    LockFileText lock;
    if (::lstat(file.c_str(), &lock.st) != 0)
        return lock;
    lock.exists = true;
    if (!S_ISREG(lock.st.st_mode))
        return lock;  // a link, a FIFO, a device: no process id to read
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return lock;
    struct stat opened {};
    char text[32];
    ssize_t n = -1;
    if (::fstat(fd, &opened) == 0 && opened.st_ino == lock.st.st_ino) {
        do {
            n = ::read(fd, text, sizeof text - 1);
        } while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n > 0) {
        text[n] = '\0';
        lock.pid = ParsePid(text, n);
    }
    return lock;
}

// When process `pid` started, in nanoseconds of the real-time clock; none when unknown.
std::optional<std::int64_t> ProcessStartNs(long pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return std::nullopt;
    const std::size_t paren = line.rfind(')');
    if (paren == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(paren + 1));
    std::string field;
    // After the name: state is field 3, the start time (clock ticks after boot) field 22.
    for (int i = 3; i < 22; ++i)
        fields >> field;
    unsigned long long ticks = 0;
    if (!(fields >> ticks))
        return std::nullopt;
    timespec boot{};  // how long ago the machine started, on the clock the ticks count on
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    const long hz = ::sysconf(_SC_CLK_TCK);
    if (hz <= 0)
        return std::nullopt;
    const auto sinceBootNs = static_cast<std::int64_t>(ticks) * (1'000'000'000 / hz);
    return NowNs() - Nanoseconds(boot) + sinceBootNs;
}

enum class Holder { None, Live, Stale };

// Who the lock file names: None when there is no such file; Live when its process runs and
// already ran when the file was written, or when the file holds no readable process id and is
// fresh (it may be being written right now); Stale otherwise, also when it names this process
// (a crashed program's file whose number came round again: this process holds the terminal's
// advisory lock, so no port of ours has it open).
Holder LockFileHolder(const LockFileText& lock)
{
    if (!lock.exists)
        return Holder::None;
    const std::int64_t written = Nanoseconds(lock.st.st_mtim);
    if (!lock.pid) {
        const std::int64_t age = NowNs() - written;
        return age > -1'000'000'000 && age < kFreshNs ? Holder::Live : Holder::Stale;
    }
    if (*lock.pid == ::getpid())
        return Holder::Stale;
    if (::kill(static_cast<pid_t>(*lock.pid), 0) != 0 && errno != EPERM)
        return Holder::Stale;
    // A process that started after the file was written cannot have written it. A second of
    // slack for clocks and the file system's time stamps.
    const std::optional<std::int64_t> started = ProcessStartNs(*lock.pid);
    return started && *started > written + 1'000'000'000 ? Holder::Stale : Holder::Live;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           Nanoseconds(a.st_mtim) == Nanoseconds(b.st_mtim);
}

// Writes our process id into a private file beside the lock file; its name, or none when no
// file can be made there.
std::optional<std::string> WritePrivateFile(const std::string& file)
{
    const std::size_t slash = file.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::string own = folder + "/.tmp" + std::to_string(::getpid()) + "." + name;
    ::unlink(own.c_str());  // a crashed run's of the same process id
    const int fd = ::open(own.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::nullopt;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {  // a full disk: no lock file rather than an empty one
        ::unlink(own.c_str());
        return std::nullopt;
    }
    return own;
}

std::string RefusalText(const std::string& file, const LockFileText& lock)
{
    return "lock file " + file +
           (lock.pid ? " names process " + std::to_string(*lock.pid)
                     : std::string(" holds no process number"));
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
    // Our file appears whole under the lock name (a link cannot replace a name that exists),
    // so of two programs only one gets it and nobody ever reads it half-written. A stale one
    // is removed, if it is still the one read, and the link made again; a program that makes
    // it in between wins.
    const std::optional<std::string> own = WritePrivateFile(file);
    struct Cleanup {
        const std::optional<std::string>& own;
        ~Cleanup()
        {
            if (own)
                ::unlink(own->c_str());
        }
    } cleanup{own};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (own && ::link(own->c_str(), file.c_str()) == 0) {
            lockFile_ = file;
            return 0;
        }
        const LockFileText lock = ReadLockFile(file);
        switch (LockFileHolder(lock)) {
        case Holder::Live: refusal_ = RefusalText(file, lock); return EBUSY;
        case Holder::None:
            // None there and none can be made (no folder, no right to write or link in it):
            // the port is used without one.
            if (!own)
                return 0;
            break;  // gone meanwhile
        case Holder::Stale: {
            struct stat now {};
            if (::lstat(file.c_str(), &now) == 0 && SameFile(now, lock.st) &&
                ::unlink(file.c_str()) != 0 && errno != ENOENT)
                return 0;  // one we may not remove: it names no one
            if (!own)
                return 0;
            break;
        }
        }
    }
    refusal_ = RefusalText(file, ReadLockFile(file));
    return EBUSY;
}

int PortMarks::Take(int fd, const std::string& path)
{
    refusal_.clear();
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
