#pragma once
// The commands imconf-cli knows. Each group of commands lives in a file of its own and adds
// itself with one line in RunCli (Commands.cpp): its subcommands with their options, what
// each runs, and setups for the tool of every session (for an option that changes how the
// window talks, say).

#include "cli/Options.h"
#include "cli/Session.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace imconf::cli {

using CommandRun = std::function<int(Session&)>;

class CommandSet {
public:
    CommandSet(CLI::App& app, CommonOptions& options) : App(app), Options(options) {}

    // A command: its options go on the subcommand returned. A command's own option values
    // live where `run` can reach them (a shared_ptr it captures, say).
    CLI::App& Add(const std::string& name, const std::string& description, CommandRun run)
    {
        CLI::App* command = App.add_subcommand(name, description);
        commands_.push_back({command, std::move(run)});
        return *command;
    }
    // Another way to run the command `name`, which another group has added before: when
    // `applies` holds once the command line is parsed (an option of its own was given), `run`
    // runs instead of the command's own. Its options go on the subcommand returned.
    CLI::App& Extend(const std::string& name, std::function<bool()> applies, CommandRun run)
    {
        CLI::App* command = App.get_subcommand(name);
        variants_.push_back({command, std::move(applies), std::move(run)});
        return *command;
    }
    void AddSetup(ToolSetup setup) { setups_.push_back(std::move(setup)); }

    // The command the command line named, or nothing.
    const CommandRun* Parsed(std::string& name) const
    {
        for (const auto& [command, run] : commands_) {
            if (!command->parsed())
                continue;
            name = command->get_name();
            for (const Variant& variant : variants_)
                if (variant.command == command && variant.applies())
                    return &variant.run;
            return &run;
        }
        return nullptr;
    }
    const std::vector<ToolSetup>& Setups() const { return setups_; }

    CLI::App& App;
    CommonOptions& Options;

private:
    struct Variant {
        CLI::App* command;
        std::function<bool()> applies;
        CommandRun run;
    };
    std::vector<std::pair<CLI::App*, CommandRun>> commands_;
    std::vector<Variant> variants_;
    std::vector<ToolSetup> setups_;
};

// The groups of commands.
void AddModuleCommands(CommandSet& commands);    // ports, search, read, write, diff, the module's
                                                 // address, speed, block and sound-off
void AddFileCommands(CommandSet& commands);      // show, check
void AddFirmwareCommands(CommandSet& commands);  // upgrade, build-image
void AddReportCommand(CommandSet& commands);     // report
void AddBusCommands(CommandSet& commands);       // backup, restore, and search --all-speeds /
                                                 // --all (after the module group)

}  // namespace imconf::cli
