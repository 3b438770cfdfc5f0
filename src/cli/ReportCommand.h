#pragma once
// imconf-cli report: a configuration file as a printable page (or CSV) for the commissioning
// papers. Needs no port and no module.

#include "cli/Commands.h"

#include <string>

namespace CLI {
class App;
}

namespace imconf::cli {

class ReportCommand {
public:
    // Adds the "report" command to `app`.
    explicit ReportCommand(CLI::App& app);

    bool Parsed() const;
    // Writes the report; the exit status.
    int Run(CliIo& io) const;

private:
    CLI::App* command_ = nullptr;
    std::string file_;
    std::string output_;
    std::string format_ = "html";
};

}  // namespace imconf::cli
