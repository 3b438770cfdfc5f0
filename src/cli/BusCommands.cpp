#include "cli/BusCommands.h"

#include "app/BusSweep.h"
#include "app/Speeds.h"
#include "cli/ConfigFile.h"
#include "cli/Headless.h"
#include "cli/TextFiles.h"
#include "runtime/FileAccess.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>

namespace imconf::cli {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

namespace {

constexpr Micros kSequenceGuard = 120s;

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

// What the operations of the tool tell: every ending, in order.
class Outcomes : public OperationObserver {
public:
    std::function<void(const OperationOutcome&)> onEnded;
    std::vector<OperationOutcome> ended;

    void OperationEnded(const OperationOutcome& outcome) override
    {
        ended.push_back(outcome);
        if (onEnded)
            onEnded(outcome);
    }
    const OperationOutcome* Last(OperationKind operation) const
    {
        for (auto it = ended.rbegin(); it != ended.rend(); ++it)
            if (it->operation == operation)
                return &*it;
        return nullptr;
    }
};

class BusSession {
public:
    BusSession(const BusCommon& common, CliIo& io, const ToolFactory& makeTool, Json& result)
        : c_(common),
          io_(io),
          makeTool_(makeTool),
          result_(result)
    {
    }

    int Search(bool allSpeeds, bool all);
    int Backup(bool allSpeeds, const std::string& dir);
    int Restore(const std::vector<std::string>& files);

private:
    Tool& Start();
    // Starts an operation and runs the loop until it has ended and its transaction is over;
    // its outcome, none when it did not end in time.
    std::optional<OperationOutcome> RunOperation(OperationKind operation,
                                                 const std::function<void()>& start, Micros guard);
    std::optional<OperationOutcome> Sweep(const SweepPlan& plan);
    // The window's speed and module address, as the BaudRate menu and the address editor set
    // them.
    void Choose(std::uint8_t baudIndex, int address);
    int Fail(int code, const std::string& text);
    int PortError();
    bool Talk() const { return !c_.quiet && !c_.json; }
    std::string FreshFileName(const std::string& dir, std::uint8_t address) const;
    // One file into its module; the reason when it failed, with its exit status.
    std::optional<std::pair<int, std::string>> RestoreOne(const std::string& file,
                                                          std::uint8_t& address);

    const BusCommon& c_;
    CliIo& io_;
    const ToolFactory& makeTool_;
    Json& result_;
    // Declared before the tool, which they watch: the tool goes first.
    Outcomes outcomes_;
    std::optional<TraceWatcher> watcher_;
    std::unique_ptr<ToolHost> host_;
    Tool* tool_ = nullptr;
};

int BusSession::Fail(int code, const std::string& text)
{
    io_.err << "imconf-cli: " << text << "\n";
    result_["error"] = text;
    return code;
}

int BusSession::PortError()
{
    const auto& failure = tool_->line.LastOpenFailure();
    if (tool_->line.Port().empty())
        return Fail(status::Port, "no serial port: none was found on this PC; plug the adapter in, "
                                  "or name the port with --port");
    return Fail(status::Port, failure ? DescribeOpenFailure(*failure)
                                      : "port " + tool_->line.Port() + " could not be used");
}

Tool& BusSession::Start()
{
    host_ = makeTool_();
    Tool& t = host_->Get();
    tool_ = &t;
    t.dialogs.onError = [this](const std::string& text) {
        io_.err << "imconf-cli: error: " << text << "\n";
    };
    watcher_.emplace(t.form.TeMemo1, [this](const std::string& line) {
        if (c_.trace)
            io_.err << line << "\n";
    });
    t.form.Observers.Add(outcomes_);
    TForm1& f = t.form;
    if (!c_.port.empty()) {
        bool listed = false;
        for (std::size_t i = 0; i < f.PORT1->Count() && !listed; ++i) {
            if (f.PORT1->Item(i).Caption() == c_.port) {
                f.HandleEvent([&f, i] { f.PORT1->Item(i).Click(); });
                listed = true;
            }
        }
        if (!listed)  // a device path, or a port the list does not show
            f.HandleEvent([&f, this] { f.ComPort1.SetPort(c_.port); });
    }
    Choose(SpeedIndexOf(c_.baud), c_.address);
    return t;
}

void BusSession::Choose(std::uint8_t baudIndex, int address)
{
    TForm1& f = tool_->form;
    if (baudIndex != f.State.BaudIndex || !f.BaudItems[baudIndex]->Checked())
        f.HandleEvent([&f, baudIndex] { f.BaudItems[baudIndex]->Click(); });
    f.HandleEvent([&f, address] {
        f.TeSpinEdit1.SetValue(address);
        f.TeSpinEdit1Change();
    });
}

std::optional<OperationOutcome>
BusSession::RunOperation(OperationKind operation, const std::function<void()>& start, Micros guard)
{
    Tool& t = *tool_;
    outcomes_.ended.clear();
    t.form.HandleEvent(start);
    t.RunUntil(
        [&] {
            return outcomes_.Last(operation) != nullptr && !t.form.Engine.TransactionInFlight();
        },
        guard);
    const OperationOutcome* outcome = outcomes_.Last(operation);
    return outcome ? std::optional<OperationOutcome>(*outcome) : std::nullopt;
}

std::optional<OperationOutcome> BusSession::Sweep(const SweepPlan& plan)
{
    TForm1& f = tool_->form;
    // Each speed's probes with their waits, and room for the answers' pauses and a slow loop.
    Micros guard = 30s;
    for (std::uint8_t speed : plan.speeds)
        guard += Micros((plan.last - plan.first + 1) *
                        (std::max(plan.waitMs, BusSweep::WaitMs(speed)) + 40) * 1000);
    bool started = false;
    auto outcome = RunOperation(
        OperationKind::Sweep, [&] { started = f.Sweep.Start(plan); }, guard);
    if (!outcome && started)
        f.HandleEvent([&f] { f.Sweep.Stop(); });
    return outcome;
}

int BusSession::Search(bool allSpeeds, bool all)
{
    Tool& t = Start();
    SweepPlan plan;
    plan.speeds =
        allSpeeds ? BusSweep::FastestFirst() : std::vector<std::uint8_t>{SpeedIndexOf(c_.baud)};
    plan.all = all;
    Json devices = Json::array();
    outcomes_.onEnded = [&](const OperationOutcome& outcome) {
        if (outcome.operation != OperationKind::Identify)
            return;
        const SweepAnswer& answer = t.form.Sweep.Answers().back();
        devices.push_back({{"address", answer.address},
                           {"baud", BaudOf(answer.baudIndex)},
                           {"module", answer.IsModule()},
                           {"identification",
                            answer.identification ? Json(*answer.identification) : Json(nullptr)}});
        if (!c_.json)
            io_.out << std::setw(3) << int{answer.address} << "  " << std::setw(5)
                    << BaudOf(answer.baudIndex) << "  " << Describe(answer) << std::endl;
    };
    const auto outcome = Sweep(plan);
    outcomes_.onEnded = nullptr;
    result_["devices"] = devices;
    if (!outcome)
        return Fail(status::Module, "the sweep gave no outcome in time");
    if (outcome->result == OutcomeKind::PortError)
        return PortError();
    if (outcome->result != OutcomeKind::Done)
        return Fail(status::Module,
                    "no module answered on port " + t.line.Port() + " at " +
                        (allSpeeds ? std::string("any speed")
                                   : std::to_string(c_.baud) + " baud (--all-speeds tries all)"));
    const auto& answers = t.form.Sweep.Answers();
    const auto module = std::find_if(answers.begin(), answers.end(),
                                     [](const SweepAnswer& a) { return a.IsModule(); });
    result_["address"] = module->address;
    result_["baud"] = BaudOf(module->baudIndex);
    return status::Done;
}

std::string BusSession::FreshFileName(const std::string& dir, std::uint8_t address) const
{
    const std::string now = io_.now ? io_.now() : std::string();
    const std::string date = now.size() >= 10 ? now.substr(0, 10) : "undated";
    const std::string stem =
        PortInFileName(tool_->line.Port()) + "-" + std::to_string(address) + "-" + date;
    std::error_code error;
    for (int n = 1;; ++n) {
        const std::string name = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".json";
        const std::filesystem::path path = files::PathFromUtf8(dir) / files::PathFromUtf8(name);
        if (!std::filesystem::exists(path, error))
            return files::Utf8FromPath(path);
    }
}

int BusSession::Backup(bool allSpeeds, const std::string& dir)
{
    std::error_code error;
    std::filesystem::create_directories(files::PathFromUtf8(dir), error);
    if (error || !std::filesystem::is_directory(files::PathFromUtf8(dir), error))
        return Fail(status::Usage, dir + ": no folder to write into (" + error.message() + ")");
    Tool& t = Start();
    SweepPlan plan;
    plan.speeds =
        allSpeeds ? BusSweep::FastestFirst() : std::vector<std::uint8_t>{SpeedIndexOf(c_.baud)};
    plan.all = true;
    const auto swept = Sweep(plan);
    if (!swept)
        return Fail(status::Module, "the sweep gave no outcome in time");
    if (swept->result == OutcomeKind::PortError)
        return PortError();
    std::vector<SweepAnswer> modules;
    for (const SweepAnswer& answer : t.form.Sweep.Answers())
        if (answer.IsModule())
            modules.push_back(answer);
    if (modules.empty())
        return Fail(status::Module, "no module answered on port " + t.line.Port() +
                                        (allSpeeds ? " at any speed"
                                                   : " at " + std::to_string(c_.baud) +
                                                         " baud (--all-speeds tries all)"));

    Json rows = Json::array();
    int code = status::Done;
    if (!c_.json)
        io_.out << "address  speed  read  file\n";
    for (const SweepAnswer& module : modules) {
        Choose(module.baudIndex, module.address);
        TForm1& f = t.form;
        const auto read = RunOperation(
            OperationKind::Read, [&f] { f.TeButton5Click(); }, kSequenceGuard);
        const OutcomeKind result = read ? read->result : OutcomeKind::NoAnswer;
        Json row{{"address", module.address},
                 {"baud", BaudOf(module.baudIndex)},
                 {"read", Describe(result)}};
        std::string file;
        if (result == OutcomeKind::Done) {
            file = FreshFileName(dir, module.address);
            const ReadOrigin origin{io_.now ? io_.now() : "", t.line.Port(), module.address};
            if (const auto failed =
                    WriteTextFile(file, WriteConfigText(FromModel(t.config), origin))) {
                row["error"] = file + ": " + *failed;
                file.clear();
            } else {
                row["file"] = file;
            }
        }
        if (file.empty())
            code = status::Module;
        if (!c_.json)
            io_.out << std::setw(7) << int{module.address} << "  " << std::setw(5)
                    << BaudOf(module.baudIndex) << "  "
                    << (result == OutcomeKind::Done ? "done" : "FAILED") << "  "
                    << (file.empty() ? (row.contains("error") ? row["error"].get<std::string>()
                                                              : "not written: " + Describe(result))
                                     : file)
                    << "\n";
        rows.push_back(row);
    }
    result_["modules"] = rows;
    if (code != status::Done)
        return Fail(code, "some modules were not saved (the others were)");
    return code;
}

std::optional<std::pair<int, std::string>> BusSession::RestoreOne(const std::string& file,
                                                                  std::uint8_t& address)
{
    const LoadedConfig loaded = LoadConfigFile(file);
    if (!loaded.Ok())
        return std::pair{status::Usage, loaded.Error + "; nothing was sent"};
    if (!c_.addressGiven && !loaded.Origin)
        return std::pair{
            status::Usage,
            std::string("the file tells no address; give --address; nothing was sent")};
    address = static_cast<std::uint8_t>(c_.addressGiven ? c_.address : loaded.Origin->Address);
    Tool& t = *tool_;
    TForm1& f = t.form;
    // Only the indication module gets the configuration: a one-address sweep asks who is there.
    SweepPlan check{{f.State.BaudIndex}, false, address, address, f.Engine.ReadTimeoutMs()};
    const auto identified = Sweep(check);
    if (identified && identified->result == OutcomeKind::PortError)
        return std::pair{status::Port, std::string("the port could not be used")};
    if (!identified || identified->result != OutcomeKind::Done)
        return std::pair{status::Module, "no indication module answers at address " +
                                             std::to_string(address) + "; nothing was sent"};
    Choose(f.State.BaudIndex, address);
    t.config = loaded.Model;
    f.ShowNodeList();
    f.ShowZoneList();
    for (std::size_t i = 0; i < kIndicatorCount; ++i)
        f.ShowLinkEntry(i);
    const auto written = RunOperation(
        OperationKind::Write, [&f] { f.TeButton2Click(); }, kSequenceGuard);
    if (!written || written->result != OutcomeKind::Done)
        return std::pair{
            written && written->result == OutcomeKind::PortError ? status::Port : status::Module,
            "the write failed: " + Describe(written ? written->result : OutcomeKind::NoAnswer)};
    const auto readBack = RunOperation(
        OperationKind::Read, [&f] { f.TeButton5Click(); }, kSequenceGuard);
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

int BusSession::Restore(const std::vector<std::string>& files)
{
    Start();
    Json rows = Json::array();
    int code = status::Done;
    for (const std::string& file : files) {
        std::uint8_t address = 0;
        const auto failed = RestoreOne(file, address);
        Json row{{"file", file}};
        if (address != 0)
            row["address"] = address;
        if (failed) {
            row["error"] = failed->second;
            io_.err << "imconf-cli: " << file << ": " << failed->second << "\n";
            if (code == status::Done)
                code = failed->first;
        } else if (Talk()) {
            io_.out << file << ": restored to address " << int{address}
                    << " and read back the same\n";
        }
        rows.push_back(row);
        if (failed && failed->first == status::Port)
            break;  // the port is gone: nothing further would reach a module
    }
    result_["files"] = rows;
    return code;
}

}  // namespace

void BusCommands::Add(CLI::App& app, CLI::App& search)
{
    search_ = &search;
    search.add_flag("--all-speeds", allSpeeds_,
                    "sweep addresses 1 to 247 at every speed, fastest first, each address waited "
                    "for as long as its speed needs; prints address, speed and what answered");
    search.add_flag("--all", all_,
                    "list every device that answers instead of stopping at the first module");
    backup_ = app.add_subcommand(
        "backup", "find every module on the line and save each one's configuration in DIR");
    backup_->add_option("--dir", dir_, "the folder for the files (made when missing)")->required();
    backup_->add_flag("--all-speeds", allSpeeds_, "look for modules at every speed");
    restore_ = app.add_subcommand(
        "restore", "write configuration files to their modules (the address in each file, or "
                   "--address), each read back and compared");
    restore_->add_option("FILE", files_, "the configuration files")->required();
}

std::optional<int> BusCommands::Run(const BusCommon& common, CliIo& io, const ToolFactory& makeTool,
                                    Json& result) const
{
    BusSession session(common, io, makeTool, result);
    if (search_ != nullptr && search_->parsed() && (allSpeeds_ || all_)) {
        result["command"] = "search";
        return session.Search(allSpeeds_, all_);
    }
    if (backup_ != nullptr && backup_->parsed()) {
        result["command"] = "backup";
        return session.Backup(allSpeeds_, dir_);
    }
    if (restore_ != nullptr && restore_->parsed()) {
        result["command"] = "restore";
        return session.Restore(files_);
    }
    return std::nullopt;
}

}  // namespace imconf::cli
