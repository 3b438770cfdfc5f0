// Preloaded into wine for the Windows serial tests: gives pseudo-terminals the modem lines
// they lack. wine's serial driver reads the modem status for every line-event wait and gives
// up the wait when it cannot, so a pseudo-terminal standing in for a COM port would never
// report received characters. Here the modem-line requests on a pseudo-terminal's slave side
// succeed: the status reads CTS, DSR and carrier on, constant, and setting DTR or RTS does
// nothing. Every other request, and every other device, goes to the C library unchanged.

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <cerrno>
#include <cstdarg>

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);

IoctlFn RealIoctl()
{
    static const IoctlFn real = reinterpret_cast<IoctlFn>(::dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

// Unix98 pseudo-terminal slaves have the majors 136..143.
bool IsPtySlave(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned int major = ::major(st.st_rdev);
    return major >= 136 && major <= 143;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    const IoctlFn real = RealIoctl();
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    const int saved = errno;
    const int result = real(fd, request, argument);
    if (result != -1 || !IsPtySlave(fd))
        return result;
    switch (request) {
    case TIOCMGET:
        if (argument == nullptr)
            return result;
        *static_cast<int*>(argument) = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        errno = saved;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC: errno = saved; return 0;
    default: return result;
    }
}
