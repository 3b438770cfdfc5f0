// The command line: the common options, the groups of commands, parsing and the exit status.

#include "cli/Commands.h"

#include "cli/CommandSet.h"

#include <ostream>

namespace imconf::cli {

int RunCli(const std::vector<std::string>& args, CliIo io, const ToolFactory& makeTool)
{
    CommonOptions o;
    CLI::App app{"Configures the indication module over a serial port: the window's operations "
                 "from the command line.",
                 "imconf-cli"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(
        "Exit status: 0 done; 1 the module refused, did not answer or was not found (or differs, "
        "for\n"
        "write and diff; or is no indication module); 2 bad usage or a bad file; 3 the port could "
        "not be used;\n"
        "130 interrupted (Ctrl-C): the port is released and what reached the module is said.\n"
        "The common options (--port, --baud, --address, --trace, --json, --quiet, --force) go "
        "before or\n"
        "after the command. 'imconf-cli COMMAND --help' describes a command.");
    AddCommonOptions(app, o);

    CommandSet commands(app, o);
    AddModuleCommands(commands);
    AddFileCommands(commands);
    AddFirmwareCommands(commands);
    AddReportCommand(commands);
    AddBusCommands(commands);

    Json usage;
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0 || !AsksForJson(args))
            return app.exit(error, io.out, io.err) == 0 ? status::Done : status::Usage;
        // A usage error is an error like the others: with --json, a JSON object says it.
        io.err << "imconf-cli: " << error.what() << "\n";
        usage["error"] = error.what();
        usage["status"] = status::Usage;
        io.out << usage.dump(2) << "\n";
        return status::Usage;
    }

    Session session(o, io, makeTool, commands.Setups());
    std::string name;
    const CommandRun* run = commands.Parsed(name);
    session.result["command"] = name;
    const int code = run != nullptr ? (*run)(session) : status::Usage;
    if (o.json) {
        if (!session.result.contains("format"))
            session.result["status"] = code;
        io.out << session.result.dump(2) << "\n";
    }
    return code;
}

}  // namespace imconf::cli
