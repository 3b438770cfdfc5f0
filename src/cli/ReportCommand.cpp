#include "cli/ReportCommand.h"

#include "app/Report.h"
#include "config/ConfigFile.h"
#include "runtime/TextFiles.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>

namespace imconf::cli {

ReportCommand::ReportCommand(CLI::App& app)
{
    command_ = app.add_subcommand(
        "report", "make a printable report of a configuration file for the commissioning papers "
                  "(HTML for A4, or CSV)");
    command_->add_option("FILE", file_, "the configuration file")->required();
    command_->add_option("-o,--output", output_,
                         "write the report to this file (default: standard output)");
    command_->add_option("--format", format_, "html (default) or csv")
        ->check(CLI::IsMember({"html", "csv"}));
}

bool ReportCommand::Parsed() const
{
    return command_->parsed();
}

int ReportCommand::Run(CliIo& io) const
{
    const LoadedConfig file = LoadConfigFile(file_);
    if (!file.Ok()) {
        io.err << "imconf-cli: " << file_ << ": " << file.Error << "\n";
        return status::Usage;
    }
    const std::string name = std::filesystem::path(file_).filename().string();
    const std::string text = format_ == "csv" ? ReportCsv(file, name) : ReportHtml(file, name);
    if (output_.empty()) {
        io.out << text;
        return status::Done;
    }
    if (const auto error = WriteTextFile(output_, text)) {
        io.err << "imconf-cli: " << output_ << ": " << *error << "\n";
        return status::Usage;
    }
    return status::Done;
}

}  // namespace imconf::cli
