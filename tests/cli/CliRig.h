#pragma once
// imconf-cli in process: the commands over the in-process module simulator in virtual time.

#include "cli/Commands.h"
#include "runtime/VirtualEventLoop.h"

#include "ModuleSimulator.h"
#include "SimulatedLine.h"

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace imconf::testing {

class NamedPorts : public ISystemPortList {
public:
    std::vector<SystemPort> ports{{"COM1", "simulator"}};
    std::optional<std::vector<SystemPort>> Read() override { return ports; }
};

// One module on one line; every Run is one imconf-cli invocation against it.
struct CliRig {
    VirtualEventLoop loop;
    sim::TModuleSimulator module;
    SimulatedLine line{loop, module};
    NamedPorts ports;
    std::string out;
    std::string err;

    explicit CliRig(std::uint8_t address = 247) : module(address) {}

    int Run(const std::vector<std::string>& args);
};

// A scratch folder, removed at the end.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    std::string File(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

}  // namespace imconf::testing
