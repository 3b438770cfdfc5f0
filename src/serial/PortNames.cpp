#include "serial/PortNames.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
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

namespace {

std::string ParentOf(const std::string& dir)
{
    const std::size_t slash = dir.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : dir.substr(0, slash);
}

// One folder, not followed if it is a link; empty when it is fit or missing.
std::string FolderProblem(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : path + ": " + std::strerror(errno);
    if (S_ISLNK(st.st_mode))
        return path + ": a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return path + ": not a folder";
    if (st.st_uid != ::geteuid())
        return path + ": not owned by you";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return path + ": writable by group or others";
    return {};
}

std::mutex reportMutex;
std::string lastReport;  // under reportMutex

}  // namespace

std::string AnnouncedDirProblem(const std::string& dir)
{
    std::string problem = FolderProblem(ParentOf(dir));
    if (problem.empty())
        problem = FolderProblem(dir);
    return problem;
}

bool UseAnnouncedDir(const std::string& dir)
{
    const std::string problem = AnnouncedDirProblem(dir);
    std::lock_guard lock(reportMutex);
    if (!problem.empty() && problem != lastReport)
        std::fprintf(stderr, "imconf: ignoring %s\n", problem.c_str());
    lastReport = problem;
    return problem.empty();
}

std::string EnsureAnnouncedPortsDir()
{
    const std::string dir = AnnouncedPortsDir();
    for (std::size_t slash = 1; slash != std::string::npos;) {
        slash = dir.find('/', slash + 1);
        const std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return part + ": cannot create the folder: " + std::strerror(errno);
        // The folder above the ports is checked before anything is made inside it.
        if (part == ParentOf(dir))
            if (std::string problem = FolderProblem(part); !problem.empty())
                return problem;
    }
    return AnnouncedDirProblem(dir);
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
    const std::string dir = AnnouncedPortsDir();
    const std::string announced = dir + "/" + name;
    if (::lstat(announced.c_str(), &st) == 0 && UseAnnouncedDir(dir))
        return announced;
    return device;
}

}  // namespace imconf
