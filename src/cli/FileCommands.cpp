// The commands on configuration files alone: show and check.

#include "cli/CommandSet.h"
#include "cli/ConfigFile.h"
#include "config/Catalogue.h"

#include <memory>
#include <ostream>

namespace imconf::cli {

namespace {

int Show(Session& s, const std::string& path)
{
    const LoadedConfig file = LoadConfigFile(path);
    if (!file.Ok())
        return s.FileError(path, file.Error);
    if (s.Options().json) {
        s.result = Json::parse(WriteConfigText(file.Config, file.Origin));
        return status::Done;
    }
    if (file.Origin)
        s.Io().out << "read " << file.Origin->Time << " from port " << file.Origin->Port
                   << ", address " << file.Origin->Address << "\n";
    s.Io().out << DescribeModel(file.Model);
    return status::Done;
}

int Check(Session& s, const std::string& path)
{
    const LoadedConfig file = LoadConfigFile(path);
    if (!file.Ok())
        return s.FileError(path, file.Error);
    std::size_t loops = 0;
    for (const auto& node : file.Config.Nodes)
        loops += LoopCountOf(node.Type);
    s.result["nodes"] = file.Config.Nodes.size();
    s.result["loops"] = loops;
    // The module takes two nodes at one address, but the bus cannot tell them apart.
    Json warnings = Json::array();
    const auto& nodes = file.Config.Nodes;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        for (std::size_t j = i + 1; j < nodes.size(); ++j)
            if (nodes[i].Address == nodes[j].Address)
                warnings.push_back("nodes[" + std::to_string(i) + "] and nodes[" +
                                   std::to_string(j) + "] are both at address " +
                                   std::to_string(nodes[i].Address));
    s.result["warnings"] = warnings;
    if (!s.Options().json)
        for (const auto& warning : warnings)
            s.Io().err << "imconf-cli: warning: " << warning.get<std::string>() << "\n";
    if (s.Chatty())
        s.Io().out << path << ": good (" << file.Config.Nodes.size() << " nodes, " << loops
                   << " loops)\n";
    return status::Done;
}

}  // namespace

void AddFileCommands(CommandSet& commands)
{
    auto file = std::make_shared<std::string>();
    commands
        .Add("show", "print a configuration file as the window's two tabs would show it",
             [file](Session& s) { return Show(s, *file); })
        .add_option("FILE", *file, "the configuration file")
        ->required();
    commands
        .Add("check", "check a configuration file", [file](Session& s) { return Check(s, *file); })
        .add_option("FILE", *file, "the configuration file")
        ->required();
}

}  // namespace imconf::cli
