#include "serial/PortNames.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace imconf {

std::string AnnouncedPortsDir()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0')
        return std::string(runtime) + "/imconf/ports";
    return "/tmp/imconf-" + std::to_string(::getuid()) + "/ports";
}

bool EnsureAnnouncedPortsDir()
{
    const std::string dir = AnnouncedPortsDir();
    for (std::size_t slash = 1; slash != std::string::npos;) {
        slash = dir.find('/', slash + 1);
        const std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ResolvePortPath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const std::string device = "/dev/" + name;
    if (name.empty() || name == "." || name == "..")
        return device;
    struct stat st {};
    if (::lstat(device.c_str(), &st) == 0)
        return device;
    const std::string announced = AnnouncedPortsDir() + "/" + name;
    if (::lstat(announced.c_str(), &st) == 0)
        return announced;
    return device;
}

}  // namespace imconf
