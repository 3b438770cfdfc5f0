#include "cli/Options.h"

#include <algorithm>

namespace imconf::cli {

CLI::Validator IntegerText()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const bool sign = !text.empty() && (text[0] == '-' || text[0] == '+');
            const auto digits = text.begin() + (sign ? 1 : 0);
            const bool integer =
                digits != text.end() &&
                std::all_of(digits, text.end(), [](char c) { return c >= '0' && c <= '9'; });
            return integer ? std::string() : "'" + text + "' must be an integer";
        },
        "INTEGER");
}

void AddCommonOptions(CLI::App& app, CommonOptions& o)
{
    app.add_option("--port", o.port,
                   "the serial port: a name of 'imconf-cli ports', a device path or a network "
                   "port tcp://HOST:PORT (default: the port the window chooses)");
    app.add_option("--latency", o.latency,
                   "milliseconds every response time-out gets on a network port "
                   "(tcp://HOST:PORT) whose name sets none (default 100)")
        ->check(CLI::Range(0, 10000));
    app.add_option("--baud", o.baud, "the PC port's speed (default 9600)")
        ->check(IntegerText())
        ->check(CLI::IsMember(kSpeeds));
    app.add_option("--address", o.address, "the module's address (default 247)")
        ->check(IntegerText())
        ->check(CLI::Range(1, 247));
    app.add_flag("--trace", o.trace,
                 "print the requests and replies (TX/RX lines) as the trace pane shows them, on "
                 "standard error");
    app.add_flag("--json", o.json, "machine-readable output (JSON) on standard output");
    app.add_flag("--quiet", o.quiet, "print only errors and the data asked for");
    app.add_flag("--force", o.force,
                 "write also into a device whose identification is not the indication module's");
    app.add_option("--log", o.log,
                   "append the session log (every request, reply and outcome) to this file");
}

bool AsksForJson(const std::vector<std::string>& args)
{
    return std::find(args.begin(), args.end(), "--json") != args.end();
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

}  // namespace imconf::cli
