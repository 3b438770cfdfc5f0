#pragma once
// imconf-cli's commands over the whole line: the sweep of `search --all-speeds` and
// `search --all`, `backup` (every module into its own configuration file) and `restore`
// (configuration files back into their modules, each read back).

#include "cli/Commands.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace imconf::cli {

// The common options, as the command line gave them.
struct BusCommon {
    std::string port;
    unsigned baud = 9600;
    int address = 247;
    bool addressGiven = false;
    bool trace = false;
    bool json = false;
    bool quiet = false;
};

class BusCommands {
public:
    // Adds --all-speeds and --all to `search`, and the commands backup and restore to `app`.
    void Add(CLI::App& app, CLI::App& search);
    // Runs the parsed command when it is one of these (the search only with --all-speeds or
    // --all); nothing when it is another.
    std::optional<int> Run(const BusCommon& common, CliIo& io, const ToolFactory& makeTool,
                           nlohmann::ordered_json& result) const;

private:
    CLI::App* search_ = nullptr;
    CLI::App* backup_ = nullptr;
    CLI::App* restore_ = nullptr;
    bool allSpeeds_ = false;
    bool all_ = false;
    std::string dir_;
    std::vector<std::string> files_;
};

}  // namespace imconf::cli
