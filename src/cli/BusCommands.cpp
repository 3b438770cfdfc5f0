// imconf-cli's commands over the whole line: the sweep of `search --all-speeds` and
// `search --all`, `backup` (every module into its own configuration file) and `restore`
// (configuration files back into their modules, each read back). Each runs its operations
// through the session, one after the other, as the other commands run theirs.

#include "app/BusSweep.h"
#include "app/Speeds.h"
#include "cli/CommandSet.h"
#include "cli/ConfigFile.h"
#include "cli/Interrupted.h"
#include "cli/TextFiles.h"
#include "runtime/FileAccess.h"

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>

namespace imconf::cli {

namespace {

std::uint8_t SpeedIndexOf(unsigned baud)
{
    for (std::uint8_t i = 0; i < kSpeedCount; ++i)
        if (SpeedName(i) == std::to_string(baud))
            return i;
    return kDefaultBaudIndex;
}

unsigned BaudOf(std::uint8_t baudIndex)
{
    return BaudRateToInt(BaudRateOfIndex(baudIndex));
}

std::string Describe(const SweepAnswer& answer)
{
    if (answer.IsModule())
        return "module";
    if (!answer.identification)
        return "foreign device (refused the identification read)";
    return "foreign device (identification " + std::to_string(*answer.identification) + ")";
}

std::string Describe(OutcomeKind result)
{
    switch (result) {
    case OutcomeKind::Done: return "done";
    case OutcomeKind::Refused: return "refused by the module";
    case OutcomeKind::NoAnswer: return "no answer";
    case OutcomeKind::BadLine: return "replies lost or damaged on the line";
    case OutcomeKind::PortError: return "the port could not be used";
    case OutcomeKind::Stopped: return "stopped";
    case OutcomeKind::NotFound: return "no module at that address";
    case OutcomeKind::BadFile: return "bad file";
    }
    return "failed";
}

// A port's name as part of a file name: its last path component, other characters than
// letters, digits, '-', '_' and '.' replaced.
std::string PortInFileName(const std::string& port)
{
    std::string name = port.substr(port.find_last_of("/\\") + 1);
    for (char& c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!keep)
            c = '_';
    }
    return name.empty() ? "port" : name;
}

// The sweep's speeds: every speed fastest first, or the speed of --baud.
std::vector<std::uint8_t> SweptSpeeds(const Session& s, bool allSpeeds)
{
    return allSpeeds ? BusSweep::FastestFirst()
                     : std::vector<std::uint8_t>{SpeedIndexOf(s.Options().baud)};
}

std::string NoModuleAnswered(Session& s, bool allSpeeds)
{
    return "no module answered on port " + s.T().line.Port() + " at " +
           (allSpeeds ? std::string("any speed")
                      : std::to_string(s.Options().baud) + " baud (--all-speeds tries all)");
}

// Runs the sweep to its ending; none when it did not end in time (it is stopped then).
std::optional<OperationOutcome> Sweep(Session& s, const SweepPlan& plan)
{
    TForm1& f = s.T().form;
    // Each speed's probes with their waits, and room for the answers' pauses and a slow loop.
    Micros guard = 30s;
    for (std::uint8_t speed : plan.speeds)
        guard += Micros((plan.last - plan.first + 1) *
                        (std::max(plan.waitMs, BusSweep::WaitMs(speed)) + 40) * 1000);
    const auto ending = s.Run(
        OperationKind::Sweep, [&f, &plan] { f.Sweep.Start(plan); }, guard);
    if (!ending && f.Sweep.Running())
        f.HandleEvent([&f] { f.Sweep.Stop(); });
    return ending;
}

// Every ending the session is told goes to `each` while this lives.
class Following {
public:
    Following(Session& s, std::function<void(const OperationOutcome&)> each) : s_(s)
    {
        s_.FollowEndings(std::move(each));
    }
    Following(const Following&) = delete;
    Following& operator=(const Following&) = delete;
    ~Following() { s_.FollowEndings(nullptr); }

private:
    Session& s_;
};

int Search(Session& s, bool allSpeeds, bool all)
{
    Tool& t = s.Start(true);
    const bool json = s.Options().json;
    Json devices = Json::array();
    std::optional<OperationOutcome> ending;
    {
        // The answers as they come: a long sweep shows what it found so far.
        Following following(s, [&](const OperationOutcome& outcome) {
            if (outcome.operation != OperationKind::Identify)
                return;
            const SweepAnswer& answer = t.form.Sweep.Answers().back();
            devices.push_back(
                {{"address", answer.address},
                 {"baud", BaudOf(answer.baudIndex)},
                 {"module", answer.IsModule()},
                 {"identification",
                  answer.identification ? Json(*answer.identification) : Json(nullptr)}});
            if (!json)
                s.Io().out << std::setw(3) << int{answer.address} << "  " << std::setw(5)
                           << BaudOf(answer.baudIndex) << "  " << Describe(answer) << std::endl;
        });
        ending = Sweep(s, SweepPlan{SweptSpeeds(s, allSpeeds), all});
    }
    s.result["devices"] = devices;
    if (!ending)
        return s.Fail(status::Module, "the sweep gave no outcome in time");
    if (ending->result == OutcomeKind::PortError)
        return s.PortError();
    if (ending->result != OutcomeKind::Done)
        return s.Fail(status::Module, NoModuleAnswered(s, allSpeeds));
    const auto& answers = t.form.Sweep.Answers();
    const auto module = std::find_if(answers.begin(), answers.end(),
                                     [](const SweepAnswer& a) { return a.IsModule(); });
    s.result["address"] = module->address;
    s.result["baud"] = BaudOf(module->baudIndex);
    return status::Done;
}

std::string FreshFileName(Session& s, const std::string& dir, std::uint8_t address)
{
    const std::string now = s.Io().now ? s.Io().now() : std::string();
    const std::string date = now.size() >= 10 ? now.substr(0, 10) : "undated";
    const std::string stem =
        PortInFileName(s.T().line.Port()) + "-" + std::to_string(address) + "-" + date;
    std::error_code error;
    for (int n = 1;; ++n) {
        const std::string name = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".json";
        const std::filesystem::path path = files::PathFromUtf8(dir) / files::PathFromUtf8(name);
        if (!std::filesystem::exists(path, error))
            return files::Utf8FromPath(path);
    }
}

// What an interrupted command over several modules had done before: the files named.
std::string DoneBefore(const std::vector<std::string>& files, const std::string& what,
                       const std::string& none)
{
    if (files.empty())
        return "; " + none;
    std::string text = "; " + what + " before the interrupt:";
    for (const std::string& file : files)
        text += " " + file;
    return text;
}

int Backup(Session& s, bool allSpeeds, const std::string& dir)
{
    std::error_code error;
    std::filesystem::create_directories(files::PathFromUtf8(dir), error);
    if (error || !std::filesystem::is_directory(files::PathFromUtf8(dir), error))
        return s.Fail(status::Usage, dir + ": no folder to write into (" + error.message() + ")");
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    std::vector<std::string> saved;
    try {
        const auto swept = Sweep(s, SweepPlan{SweptSpeeds(s, allSpeeds), true});
        if (!swept)
            return s.Fail(status::Module, "the sweep gave no outcome in time");
        if (swept->result == OutcomeKind::PortError)
            return s.PortError();
        std::vector<SweepAnswer> modules;
        for (const SweepAnswer& answer : f.Sweep.Answers())
            if (answer.IsModule())
                modules.push_back(answer);
        if (modules.empty())
            return s.Fail(status::Module, NoModuleAnswered(s, allSpeeds));

        Json rows = Json::array();
        int code = status::Done;
        if (!s.Options().json)
            s.Io().out << "address  speed  read  file\n";
        for (const SweepAnswer& module : modules) {
            s.ChooseSpeed(BaudOf(module.baudIndex));
            s.ChooseAddress(module.address);
            const auto read = s.Run(
                OperationKind::Read, [&f] { f.TeButton5Click(); }, kSequenceGuard);
            const OutcomeKind result = read ? read->result : OutcomeKind::NoAnswer;
            Json row{{"address", module.address},
                     {"baud", BaudOf(module.baudIndex)},
                     {"read", Describe(result)}};
            std::string file;
            if (result == OutcomeKind::Done) {
                file = FreshFileName(s, dir, module.address);
                const ReadOrigin origin{s.Io().now ? s.Io().now() : "", t.line.Port(),
                                        module.address};
                if (const auto failed =
                        WriteTextFile(file, WriteConfigText(FromModel(t.config), origin))) {
                    row["error"] = file + ": " + *failed;
                    file.clear();
                } else {
                    row["file"] = file;
                    saved.push_back(file);
                }
            }
            if (file.empty())
                code = status::Module;
            if (!s.Options().json)
                s.Io().out << std::setw(7) << int{module.address} << "  " << std::setw(5)
                           << BaudOf(module.baudIndex) << "  "
                           << (result == OutcomeKind::Done ? "done" : "FAILED") << "  "
                           << (file.empty()
                                   ? (row.contains("error") ? row["error"].get<std::string>()
                                                            : "not written: " + Describe(result))
                                   : file)
                           << "\n";
            rows.push_back(row);
        }
        s.result["modules"] = rows;
        if (code != status::Done)
            return s.Fail(code, "some modules were not saved (the others were)");
        return code;
    } catch (Interrupted& interrupted) {
        interrupted.report += DoneBefore(saved, "saved", "no module was saved");
        throw;
    }
}

// One file into its module; the reason when it failed, with its exit status.
std::optional<std::pair<int, std::string>>
RestoreOne(Session& s, bool addressGiven, const std::string& file, std::uint8_t& address)
{
    const LoadedConfig loaded = LoadConfigFile(file);
    if (!loaded.Ok())
        return std::pair{status::Usage, loaded.Error + "; nothing was sent"};
    if (!addressGiven && !loaded.Origin)
        return std::pair{
            status::Usage,
            std::string("the file tells no address; give --address; nothing was sent")};
    address =
        static_cast<std::uint8_t>(addressGiven ? s.Options().address : loaded.Origin->Address);
    Tool& t = s.T();
    TForm1& f = t.form;
    // Only the indication module gets the configuration (or any device, with --force).
    s.ChooseAddress(address);
    const Session::Identity identity = s.ReadIdentity();
    const std::string none = "no indication module answers at address " + std::to_string(address);
    if (identity.ending && identity.ending->result == OutcomeKind::PortError)
        return std::pair{status::Port, std::string("the port could not be used")};
    if (!identity.answered)
        return std::pair{status::Module, none + "; nothing was sent"};
    if (!identity.taken)
        return std::pair{status::Module,
                         none + " (the device there " +
                             (identity.ending->result == OutcomeKind::Done
                                  ? "tells identification " + std::to_string(identity.ending->value)
                                  : std::string("refuses to tell its identification")) +
                             "); nothing was sent (--force sends it all the same)"};
    const auto written = s.WriteConfig(loaded.Model);
    if (!written || written->result != OutcomeKind::Done)
        return std::pair{
            written && written->result == OutcomeKind::PortError ? status::Port : status::Module,
            "the write failed: " + Describe(written ? written->result : OutcomeKind::NoAnswer)};
    const auto readBack = InterruptibleReadBack([&s, &f] {
        return s.Run(
            OperationKind::Read, [&f] { f.TeButton5Click(); }, kSequenceGuard);
    });
    if (!readBack || readBack->result != OutcomeKind::Done)
        return std::pair{status::Module,
                         "the read-back failed: " +
                             Describe(readBack ? readBack->result : OutcomeKind::NoAnswer)};
    const auto differences = Differences(FromModel(t.config), loaded.Config, "module", "file");
    if (!differences.empty()) {
        std::string text = "the module holds another configuration than written:";
        for (const auto& line : differences)
            text += "\n  " + line;
        return std::pair{status::Module, text};
    }
    return std::nullopt;
}

int Restore(Session& s, bool addressGiven, const std::vector<std::string>& files)
{
    s.Start(true);
    Json rows = Json::array();
    int code = status::Done;
    std::vector<std::string> restored;
    for (const std::string& file : files) {
        std::uint8_t address = 0;
        std::optional<std::pair<int, std::string>> failed;
        try {
            failed = RestoreOne(s, addressGiven, file, address);
        } catch (Interrupted& interrupted) {
            interrupted.report += "; the file being restored: " + file +
                                  DoneBefore(restored, "restored", "no file was restored");
            throw;
        }
        Json row{{"file", file}};
        if (address != 0)
            row["address"] = address;
        if (failed) {
            row["error"] = failed->second;
            s.Io().err << "imconf-cli: " << file << ": " << failed->second << "\n";
            if (code == status::Done)
                code = failed->first;
        } else {
            restored.push_back(file);
            if (s.Chatty())
                s.Io().out << file << ": restored to address " << int{address}
                           << " and read back the same\n";
        }
        rows.push_back(row);
        if (failed && failed->first == status::Port)
            break;  // the port is gone: nothing further would reach a module
    }
    s.result["files"] = rows;
    return code;
}

}  // namespace

void AddBusCommands(CommandSet& commands)
{
    // The sweep is the module group's search with --all-speeds or --all.
    auto allSpeeds = std::make_shared<bool>(false);
    auto all = std::make_shared<bool>(false);
    CLI::App& search = commands.Extend(
        "search", [allSpeeds, all] { return *allSpeeds || *all; },
        [allSpeeds, all](Session& s) { return Search(s, *allSpeeds, *all); });
    search.add_flag("--all-speeds", *allSpeeds,
                    "sweep addresses 1 to 247 at every speed, fastest first, each address waited "
                    "for as long as its speed needs; prints address, speed and what answered");
    search.add_flag("--all", *all,
                    "list every device that answers instead of stopping at the first module");

    auto dir = std::make_shared<std::string>();
    auto backupAllSpeeds = std::make_shared<bool>(false);
    CLI::App& backup = commands.Add(
        "backup", "find every module on the line and save each one's configuration in DIR",
        [dir, backupAllSpeeds](Session& s) { return Backup(s, *backupAllSpeeds, *dir); });
    backup.add_option("--dir", *dir, "the folder for the files (made when missing)")->required();
    backup.add_flag("--all-speeds", *backupAllSpeeds, "look for modules at every speed");

    auto files = std::make_shared<std::vector<std::string>>();
    const CLI::Option* address = commands.App.get_option("--address");
    commands
        .Add("restore",
             "write configuration files to their modules (the address in each file, or "
             "--address), each read back and compared",
             [files, address](Session& s) { return Restore(s, address->count() > 0, *files); })
        .add_option("FILE", *files, "the configuration files")
        ->required();
}

}  // namespace imconf::cli
