#pragma once
// imconf-cli's commands: the command line, and each command driving the window's handlers.

#include "cli/Tool.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace imconf::cli {

// Exit statuses.
namespace status {
constexpr int Done = 0;
constexpr int Module = 1;  // the module refused, did not answer or was not found
constexpr int Usage = 2;   // bad usage or a bad file
constexpr int Port = 3;    // the port could not be used
}  // namespace status

struct CliIo {
    std::ostream& out;
    std::ostream& err;
    // A progress bar is drawn on `err` only when it is a terminal.
    bool errIsTerminal = false;
    // The clock for the "time" of a configuration read (UTC, ISO 8601).
    std::function<std::string()> now;
};

// Runs the command line `args` (without the program name). `makeTool` is called once, only by
// the commands that need the window.
int RunCli(const std::vector<std::string>& args, CliIo io, const ToolFactory& makeTool);

}  // namespace imconf::cli
