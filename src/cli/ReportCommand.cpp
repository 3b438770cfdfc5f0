// imconf-cli report: a configuration file as a printable page (or CSV) for the commissioning
// papers. Needs no port and no module.

#include "app/Report.h"
#include "cli/CommandSet.h"
#include "config/ConfigFile.h"
#include "runtime/TextFiles.h"

#include <filesystem>
#include <memory>
#include <ostream>

namespace imconf::cli {

namespace {

struct ReportOptions {
    std::string file;
    std::string output;
    std::string format = "html";
};

int Report(Session& s, const ReportOptions& o)
{
    const LoadedConfig file = LoadConfigFile(o.file);
    if (!file.Ok())
        return s.FileError(o.file, file.Error);
    const std::string name = std::filesystem::path(o.file).filename().string();
    const std::string text = o.format == "csv" ? ReportCsv(file, name) : ReportHtml(file, name);
    if (o.output.empty()) {
        s.Io().out << text;
        return status::Done;
    }
    if (const auto error = WriteTextFile(o.output, text))
        return s.FileError(o.output, *error);
    s.result["file"] = o.output;
    return status::Done;
}

}  // namespace

void AddReportCommand(CommandSet& commands)
{
    auto o = std::make_shared<ReportOptions>();
    CLI::App& report = commands.Add(
        "report",
        "make a printable report of a configuration file for the commissioning papers (HTML for "
        "A4, or CSV)",
        [o](Session& s) { return Report(s, *o); });
    report.add_option("FILE", o->file, "the configuration file")->required();
    report.add_option("-o,--output", o->output,
                      "write the report to this file (default: standard output)");
    report.add_option("--format", o->format, "html (default) or csv")
        ->check(CLI::IsMember({"html", "csv"}));
}

}  // namespace imconf::cli
