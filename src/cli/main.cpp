// imconf-cli: the configuration tool's operations from the command line, for scripts,
// backups and provisioning. The window's handlers run headless: every request, time-out,
// retry and message is the window's own.

#include "app/ExecutableDir.h"
#include "cli/Commands.h"
#include "cli/Interrupted.h"
#include "cli/RealTool.h"
#include "runtime/Interrupt.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <cstdio>
#define IMCONF_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define IMCONF_ISATTY(fd) ::isatty(fd)
#endif

namespace {

std::string UtcNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    imconf::cli::CliIo io{std::cout, std::cerr, IMCONF_ISATTY(2) != 0, UtcNow};
    try {
        const std::string folder = imconf::ExecutableFolder().value_or(".");
        return imconf::cli::RunCli(args, io,
                                   [&folder] { return imconf::cli::MakeRealTool(folder); });
    } catch (const imconf::cli::Interrupted& interrupted) {
        // The port and its marks are released by now: the next command can use it at once.
        std::cerr << "imconf-cli: " << interrupted.report << "\n";
        return imconf::kInterruptedStatus;
    } catch (const std::exception& error) {
        std::cerr << "imconf-cli: " << error.what() << "\n";
        return imconf::cli::status::Port;
    }
}
