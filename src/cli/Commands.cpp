#include "cli/Commands.h"

#include "cli/ConfigFile.h"
#include "cli/TextFiles.h"
#include "config/Catalogue.h"
#include "firmware/Firmware.h"
#include "modbus/Engine.h"
#include "runtime/FileAccess.h"
#include "serial/NetworkPortName.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>

namespace imconf::cli {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

namespace {

constexpr const char* kOkLine = "   : ОК.";
constexpr const char* kUpgradeOkLine = "   : OK.";
constexpr const char* kFoundLine = "   : ОБНАРУЖЕН ПРИБОР";
constexpr const char* kFileErrorLine = "   : ERROR - ";
constexpr const char* kSizeErrorLine = "   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА.";
constexpr std::array<unsigned, kSpeedCount> kSpeeds{1200,  2400,  4800,  9600,
                                                    14400, 19200, 38400, 57600};
constexpr std::array<int, 6> kDelays{100, 150, 200, 250, 300, 350};

// Overall guards. Every wait inside has the window's own time-outs; these only make sure that
// nothing hangs when an outcome never comes.
constexpr Micros kSequenceGuard = 120s;
constexpr Micros kCommandGuard = 30s;
constexpr Micros kUpgradeGuard = 30min;

struct Options {
    std::string port;
    unsigned baud = 9600;
    int address = 247;
    bool trace = false;
    bool json = false;
    bool quiet = false;
    std::optional<unsigned> latency;

    int delay = 150;
    std::string output;
    std::string file;
    int newAddress = 0;
    unsigned speed = 0;
    bool pcFollows = false;
    std::string block;
    std::string flash;
    std::string eeprom;
};

std::size_t SpeedIndex(unsigned baud)
{
    return static_cast<std::size_t>(std::find(kSpeeds.begin(), kSpeeds.end(), baud) -
                                    kSpeeds.begin());
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

// One run of a command: options, output and the result for --json.
class Session {
public:
    Session(const Options& o, CliIo& io, const ToolFactory& makeTool)
        : o_(o),
          io_(io),
          makeTool_(makeTool)
    {
    }

    int Ports();
    int Search();
    int Read();
    int Write();
    int Diff();
    int Show();
    int Check();
    int Address();
    int Speed();
    int Block();
    int SoundOff();
    int Upgrade();
    int BuildImage();

    Json result;

private:
    Tool& Start(bool forModule);
    // Runs one operation that `start` begins, until the window is idle again (or `done`).
    bool RunOperation(const std::function<void()>& start, Micros guard,
                      const std::function<bool()>& done = nullptr);
    // The exit status of the operation just run: Done when the pane's last line is `okLine`.
    int Outcome(const std::string& what, const char* okLine = kOkLine);
    int PortError();
    int Fail(int code, const std::string& text);
    int FileError(const std::string& file, const std::string& error);
    void Messages();
    void ReadModule();
    std::string Where() const;
    void Progress();

    const Options& o_;
    CliIo& io_;
    const ToolFactory& makeTool_;
    // Declared before the tool, which it watches: the tool goes first.
    std::optional<TraceWatcher> watcher_;
    std::unique_ptr<ToolHost> host_;
    Tool* tool_ = nullptr;
    bool timedOut_ = false;
    bool progressShown_ = false;
    bool progressOn_ = false;
};

int Session::Fail(int code, const std::string& text)
{
    io_.err << "imconf-cli: " << text << "\n";
    result["error"] = text;
    return code;
}

int Session::FileError(const std::string& file, const std::string& error)
{
    return Fail(status::Usage, file + ": " + error);
}

Tool& Session::Start(bool forModule)
{
    host_ = makeTool_();
    Tool& t = host_->Get();
    tool_ = &t;
    t.dialogs.onError = [this](const std::string& text) {
        io_.err << "imconf-cli: error: " << text << "\n";
    };
    watcher_.emplace(t.form.TeMemo1, [this](const std::string& line) {
        if (o_.trace)
            io_.err << line << "\n";
    });
    TForm1& f = t.form;
    t.form.TeProgressBar1.Subscribe([this] { Progress(); });
    if (!forModule)
        return t;

    if (!o_.port.empty()) {
        bool listed = false;
        for (std::size_t i = 0; i < f.PORT1->Count() && !listed; ++i) {
            if (f.PORT1->Item(i).Caption() == o_.port) {
                f.HandleEvent([&f, i] { f.PORT1->Item(i).Click(); });
                listed = true;
            }
        }
        if (!listed)  // a device path, or a port the list does not show
            f.HandleEvent([&f, this] { f.ComPort1.SetPort(o_.port); });
    }
    if (o_.latency)
        t.line.SetNetworkLatency(*o_.latency);
    const std::size_t speed = SpeedIndex(o_.baud);
    if (speed != f.State.BaudIndex || !f.BaudItems[speed]->Checked())
        f.HandleEvent([&f, speed] { f.BaudItems[speed]->Click(); });
    f.HandleEvent([&f, this] {
        f.TeSpinEdit1.SetValue(o_.address);
        f.TeSpinEdit1Change();
    });
    // Port-list messages of the start-up are no outcome of the command.
    watcher_->Reset();
    return t;
}

std::string Session::Where() const
{
    return "at address " + std::to_string(tool_->state.DeviceAddress) + " on port " +
           tool_->line.Port() + " (" + std::to_string(BaudRateToInt(tool_->line.BaudRate())) +
           " baud)";
}

void Session::Progress()
{
    if (!progressOn_ || !io_.errIsTerminal || o_.quiet || o_.trace)
        return;
    const TProgressBar& bar = tool_->form.TeProgressBar1;
    if (!bar.Visible()) {
        if (progressShown_)
            io_.err << "\n" << std::flush;
        progressShown_ = false;
        return;
    }
    constexpr int kWidth = 40;
    const int span = std::max(1, bar.Max() - bar.Min());
    const int at = std::clamp(bar.Position() - bar.Min(), 0, span);
    const int filled = at * kWidth / span;
    io_.err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << at << "/"
            << span << std::flush;
    progressShown_ = true;
}

bool Session::RunOperation(const std::function<void()>& start, Micros guard,
                           const std::function<bool()>& done)
{
    Tool& t = *tool_;
    watcher_->Reset();
    t.form.HandleEvent(start);
    const bool ended = t.RunUntil(
        [&] {
            return (done && done()) || (t.Idle() && !t.form.Timer_Programm.Enabled()) ||
                   watcher_->PortFailed();
        },
        guard);
    if (progressShown_) {
        io_.err << "\n";
        progressShown_ = false;
    }
    timedOut_ = !ended;
    return ended;
}

void Session::Messages()
{
    const auto messages = watcher_->Messages();
    result["messages"] = messages;
    if (!o_.quiet && !o_.trace && !o_.json)
        io_.err << Lines(messages);
}

int Session::PortError()
{
    const auto& failure = tool_->line.LastOpenFailure();
    if (tool_->line.Port().empty())
        return Fail(status::Port, "no serial port: none was found on this PC; plug the adapter in, "
                                  "or name the port with --port");
    if (IsNetworkPortName(tool_->line.Port()))
        return Fail(status::Port, "network port " + tool_->line.Port() +
                                      ": no connection (a malformed name, or the device server "
                                      "refused, is unreachable or did not answer in 3 s)");
    return Fail(status::Port, failure ? DescribeOpenFailure(*failure)
                                      : "port " + tool_->line.Port() + " could not be opened");
}

int Session::Outcome(const std::string& what, const char* okLine)
{
    Messages();
    if (watcher_->PortFailed() || tool_->line.LastOpenFailure())
        return PortError();
    if (timedOut_)
        return Fail(status::Module, what + ": no outcome in time; giving up");
    const TLines& lines = tool_->form.TeMemo1.Lines;
    if (!lines.Empty() && lines.Last() == okLine)
        return status::Done;
    return Fail(status::Module,
                what + " failed: the module " + Where() +
                    " did not answer or refused (check the address with 'imconf-cli search', "
                    "the speed with --baud, and the cable)");
}

int Session::Ports()
{
    Tool& t = Start(false);
    const TForm1& f = t.form;
    Json ports = Json::array();
    for (std::size_t i = 0; i < f.PORT1->Count(); ++i) {
        const TMenuItem& item = f.PORT1->Item(i);
        ports.push_back(
            {{"name", item.Caption()}, {"description", item.Hint()}, {"chosen", item.Checked()}});
        if (!o_.json)
            io_.out << (item.Checked() ? "* " : "  ") << item.Caption()
                    << (item.Hint().empty() ? "" : "  " + item.Hint()) << "\n";
    }
    result["ports"] = ports;
    const auto messages = watcher_->Messages();
    if (!o_.quiet && !o_.json) {
        for (const auto& line : messages)
            if (!line.empty())
                io_.err << line << "\n";
    }
    if (f.PORT1->Count() == 0 && !o_.quiet && !o_.json)
        io_.err << "imconf-cli: no serial port found\n";
    return status::Done;
}

int Session::Search()
{
    Tool& t = Start(true);
    TForm1& f = t.form;
    const std::size_t delay = static_cast<std::size_t>(
        std::find(kDelays.begin(), kDelays.end(), o_.delay) - kDelays.begin());
    std::array<TMenuItem*, 6> items{f.CustomItem7,  f.CustomItem8,  f.CustomItem9,
                                    f.CustomItem10, f.CustomItem11, f.CustomItem12};
    f.HandleEvent([&] { items[delay]->Click(); });
    progressOn_ = true;
    // 247 probes, each the delay, the pacing and the line time at the slowest speed.
    const Micros guard = Micros(247 * (o_.delay + 150) * 1000) + 30s;
    RunOperation([&f] { f.CustomItem5Click(); }, guard,
                 [&t] {
                     return t.state.OperationState != opstate::Search &&
                            !t.form.Engine.TransactionInFlight();
                 });
    if (t.state.OperationState == opstate::Search)  // a port error leaves the search standing
        f.HandleEvent([&f] { f.CustomItem5Click(); });
    Messages();
    if (watcher_->PortFailed())
        return PortError();
    if (timedOut_)
        return Fail(status::Module, "the search gave no outcome in time");
    const auto& lines = f.TeMemo1.Lines.Items();
    const bool found = std::any_of(lines.begin(), lines.end(),
                                   [](const std::string& l) { return l.starts_with(kFoundLine); });
    if (!found)
        return Fail(status::Module, "no module answered on port " + t.line.Port() + " at " +
                                        std::to_string(o_.baud) +
                                        " baud; try another speed (--baud) or a longer --delay");
    result["address"] = t.state.DeviceAddress;
    if (!o_.json)
        io_.out << static_cast<int>(t.state.DeviceAddress) << "\n";
    return status::Done;
}

void Session::ReadModule()
{
    TForm1& f = tool_->form;
    RunOperation([&f] { f.TeButton5Click(); }, kSequenceGuard);
}

int Session::Read()
{
    Tool& t = Start(true);
    ReadModule();
    if (const int code = Outcome("the configuration read"); code != status::Done)
        return code;
    const ModuleConfig config = FromModel(t.config);
    const ReadOrigin origin{io_.now ? io_.now() : "", t.line.Port(), t.state.DeviceAddress};
    const std::string text = WriteConfigText(config, origin);
    if (!o_.output.empty()) {
        if (const auto error = WriteTextFile(o_.output, text))
            return FileError(o_.output, *error);
        result["file"] = o_.output;
        if (!o_.quiet && !o_.json)
            io_.err << "imconf-cli: configuration written to " << o_.output << "\n";
        return status::Done;
    }
    if (o_.json)
        result = Json::parse(text);
    else
        io_.out << DescribeModel(t.config);
    return status::Done;
}

int Session::Write()
{
    const LoadedConfig file = LoadConfigFile(o_.file);
    if (!file.Ok())
        return FileError(o_.file, file.Error + "; nothing was sent");
    Tool& t = Start(true);
    TForm1& f = t.form;
    t.config = file.Model;
    f.ShowNodeList();
    f.ShowZoneList();
    for (std::size_t i = 0; i < kIndicatorCount; ++i)
        f.ShowLinkEntry(i);
    RunOperation([&f] { f.TeButton2Click(); }, kSequenceGuard);
    if (const int code = Outcome("the configuration write"); code != status::Done)
        return code;
    ReadModule();
    if (const int code = Outcome("the read-back"); code != status::Done)
        return code;
    const auto differences = Differences(FromModel(t.config), file.Config, "module", "file");
    result["differences"] = differences;
    if (!differences.empty()) {
        io_.err << Lines(differences);
        return Fail(status::Module, "the module holds another configuration than written (" +
                                        std::to_string(differences.size()) + " differences)");
    }
    if (!o_.quiet && !o_.json)
        io_.err << "imconf-cli: written and read back: the module holds " << o_.file << "\n";
    return status::Done;
}

int Session::Diff()
{
    const LoadedConfig file = LoadConfigFile(o_.file);
    if (!file.Ok())
        return FileError(o_.file, file.Error);
    Tool& t = Start(true);
    ReadModule();
    if (const int code = Outcome("the configuration read"); code != status::Done)
        return code;
    const auto differences = Differences(FromModel(t.config), file.Config, "module", "file");
    result["differences"] = differences;
    if (!o_.json)
        io_.out << Lines(differences);
    return differences.empty() ? status::Done : status::Module;
}

int Session::Show()
{
    const LoadedConfig file = LoadConfigFile(o_.file);
    if (!file.Ok())
        return FileError(o_.file, file.Error);
    if (o_.json) {
        result = Json::parse(WriteConfigText(file.Config, file.Origin));
        return status::Done;
    }
    if (file.Origin)
        io_.out << "read " << file.Origin->Time << " from port " << file.Origin->Port
                << ", address " << file.Origin->Address << "\n";
    io_.out << DescribeModel(file.Model);
    return status::Done;
}

int Session::Check()
{
    const LoadedConfig file = LoadConfigFile(o_.file);
    if (!file.Ok())
        return FileError(o_.file, file.Error);
    std::size_t loops = 0;
    for (const auto& node : file.Config.Nodes)
        loops += LoopCountOf(node.Type);
    result["nodes"] = file.Config.Nodes.size();
    result["loops"] = loops;
    if (!o_.quiet && !o_.json)
        io_.out << o_.file << ": good (" << file.Config.Nodes.size() << " nodes, " << loops
                << " loops)\n";
    return status::Done;
}

int Session::Address()
{
    Tool& t = Start(true);
    TForm1& f = t.form;
    f.HandleEvent([&f, this] { f.TeSpinEdit2.SetValue(o_.newAddress); });
    RunOperation([&f] { f.TeButton1Click(); }, kCommandGuard);
    if (const int code = Outcome("the address command"); code != status::Done)
        return code;
    result["address"] = t.state.DeviceAddress;
    if (!o_.quiet && !o_.json)
        io_.out << "the module's address is now " << static_cast<int>(t.state.DeviceAddress)
                << "\n";
    return status::Done;
}

int Session::Speed()
{
    Tool& t = Start(true);
    TForm1& f = t.form;
    t.dialogs.answerYes = o_.pcFollows;
    const int index = static_cast<int>(SpeedIndex(o_.speed));
    RunOperation([&f, index] { f.TeSComboBox1.ChooseByUser(index); }, kCommandGuard);
    if (const int code = Outcome("the speed command"); code != status::Done)
        return code;
    const unsigned pc = BaudRateToInt(t.line.BaudRate());
    result["speed"] = o_.speed;
    result["pc"] = pc;
    if (!o_.quiet && !o_.json) {
        io_.out << "the module talks at " << o_.speed << " baud now\n";
        if (pc != o_.speed)
            io_.out << "the PC port stays at " << pc << " baud: give --baud " << o_.speed
                    << " from now on\n";
    }
    return status::Done;
}

int Session::Block()
{
    Tool& t = Start(true);
    TForm1& f = t.form;
    const bool on = o_.block == "on";
    // The box shows the state last acknowledged; the button sends the other one.
    f.TeCheckBox1.SetChecked(!on);
    RunOperation([&f] { f.TeButton3Click(); }, kCommandGuard);
    if (const int code = Outcome("the block command"); code != status::Done)
        return code;
    result["block"] = f.TeCheckBox1.Checked();
    return status::Done;
}

int Session::SoundOff()
{
    Tool& t = Start(true);
    TForm1& f = t.form;
    RunOperation([&f] { f.Sound_ButtClick(); }, kCommandGuard);
    return Outcome("the sound-off command");
}

int Session::Upgrade()
{
    Tool& t = Start(true);
    TForm1& f = t.form;
    if (!t.line.SpeedSwitchable())
        return Fail(status::Port, "port " + t.line.Port() +
                                      ": the upgrade switches the line to 19200 baud, which a "
                                      "network port cannot (its speed is the device server's "
                                      "setting); nothing was sent");
    t.dialogs.fileAnswers = {o_.file};
    progressOn_ = true;
    RunOperation([&f] { f.CustomItem24Click(); }, kUpgradeGuard);
    const TLines& lines = f.TeMemo1.Lines;
    const bool badFile = !lines.Empty() && (lines.Last() == kSizeErrorLine ||
                                            lines.Last().starts_with(kFileErrorLine));
    if (badFile) {
        Messages();
        return FileError(o_.file, lines.Last() == kSizeErrorLine
                                      ? "no upgrade image (" + std::to_string(kImageHeaderSize) +
                                            " to " + std::to_string(kMaxImageFileSize) +
                                            " bytes); nothing was sent"
                                      : lines.Last().substr(std::string(kFileErrorLine).size()));
    }
    return Outcome("the firmware upgrade", kUpgradeOkLine);
}

int Session::BuildImage()
{
    Tool& t = Start(false);
    TForm1& f = t.form;
    const std::string made = BuilderOutputName(o_.flash);
    t.dialogs.fileAnswers = {o_.flash, o_.eeprom};
    f.HandleEvent([&f] { f.CustomItem27Click(); });
    const TLines& lines = f.TeMemo1.Lines;
    if (!lines.Empty() && lines.Last().starts_with(kFileErrorLine))
        return FileError(o_.flash + ", " + o_.eeprom,
                         lines.Last().substr(std::string(kFileErrorLine).size()));
    std::error_code error;
    if (!std::filesystem::exists(files::PathFromUtf8(made), error))
        return Fail(status::Usage,
                    "no image made: the FLASH file must hold 1 to " + std::to_string(kFlashSize) +
                        " bytes and the EEPROM file 1 to " + std::to_string(kMaxBuilderEeprom));
    std::string output = made;
    if (!o_.output.empty() && o_.output != made) {
        std::filesystem::rename(files::PathFromUtf8(made), files::PathFromUtf8(o_.output), error);
        if (error) {
            std::filesystem::copy_file(files::PathFromUtf8(made), files::PathFromUtf8(o_.output),
                                       std::filesystem::copy_options::overwrite_existing, error);
            if (error)
                return FileError(o_.output, error.message());
            std::filesystem::remove(files::PathFromUtf8(made), error);
        }
        output = o_.output;
    }
    result["file"] = output;
    if (!o_.quiet && !o_.json)
        io_.out << output << "\n";
    return status::Done;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliIo io, const ToolFactory& makeTool)
{
    Options o;
    CLI::App app{"Configures the indication module over a serial port: the window's operations "
                 "from the command line.",
                 "imconf-cli"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(
        "Exit status: 0 done; 1 the module refused, did not answer or was not found (or differs, "
        "for\n"
        "write and diff); 2 bad usage or a bad file; 3 the port could not be used.\n"
        "The common options (--port, --baud, --address, --trace, --json, --quiet) go before or\n"
        "after the command. 'imconf-cli COMMAND --help' describes a command.");
    std::vector<std::string> speedNames;
    for (unsigned s : kSpeeds)
        speedNames.push_back(std::to_string(s));

    app.add_option("--port", o.port,
                   "the serial port: a name of 'imconf-cli ports', a device path or a network "
                   "port tcp://HOST:PORT (default: the port the window chooses)");
    app.add_option("--latency", o.latency,
                   "milliseconds every response time-out gets on a network port "
                   "(tcp://HOST:PORT) whose name sets none (default 100)")
        ->check(CLI::Range(0, 10000));
    app.add_option("--baud", o.baud, "the PC port's speed (default 9600)")
        ->check(CLI::IsMember(kSpeeds));
    app.add_option("--address", o.address, "the module's address (default 247)")
        ->check(CLI::Range(1, 247));
    app.add_flag("--trace", o.trace,
                 "print the requests and replies (TX/RX lines) as the trace pane shows them, on "
                 "standard error");
    app.add_flag("--json", o.json, "machine-readable output (JSON) on standard output");
    app.add_flag("--quiet", o.quiet, "print only errors and the data asked for");

    auto* ports =
        app.add_subcommand("ports", "list the serial ports as the window lists them, with the "
                                    "adapters' descriptions ('*': the port chosen at start)");
    auto* search = app.add_subcommand(
        "search", "search the bus (addresses 1 to 247) for the module; prints the found address");
    search
        ->add_option(
            "--delay", o.delay,
            "milliseconds to wait at each address: 100, 150, 200, 250, 300 or 350 (default 150)")
        ->check(CLI::IsMember(kDelays));
    auto* read =
        app.add_subcommand("read", "read the whole configuration; print it as the window's two "
                                   "tabs show it, or write a configuration file");
    read->add_option("-o,--output", o.output, "write the configuration to this file");
    auto* write = app.add_subcommand(
        "write", "write a configuration file to the module, read it back and compare");
    write->add_option("FILE", o.file, "the configuration file")->required();
    auto* diff = app.add_subcommand(
        "diff", "compare the module with a configuration file (exit status 1 when they differ)");
    diff->add_option("FILE", o.file, "the configuration file")->required();
    auto* show = app.add_subcommand(
        "show", "print a configuration file as the window's two tabs would show it");
    show->add_option("FILE", o.file, "the configuration file")->required();
    auto* check = app.add_subcommand("check", "check a configuration file");
    check->add_option("FILE", o.file, "the configuration file")->required();
    auto* address = app.add_subcommand("address", "give the module a new address");
    address->add_option("NEW", o.newAddress, "the new address, 1 to 247")
        ->required()
        ->check(CLI::Range(1, 247));
    auto* speed = app.add_subcommand("speed", "give the module a new speed (asks nothing)");
    speed->add_option("BAUD", o.speed, "1200, 2400, 4800, 9600, 14400, 19200, 38400 or 57600")
        ->required()
        ->check(CLI::IsMember(kSpeeds));
    speed->add_flag("--pc-follows", o.pcFollows, "switch the PC port to the new speed too");
    auto* block = app.add_subcommand("block", "block or unblock the module");
    block->add_option("STATE", o.block, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    auto* soundOff = app.add_subcommand("sound-off", "switch the module's alarm sound off");
    auto* upgrade =
        app.add_subcommand("upgrade", "upgrade the firmware through the bootloader (the module "
                                      "must run its bootloader, at 19200 baud)");
    upgrade->add_option("IMAGE", o.file, "the upgrade image (.hex)")->required();
    auto* build = app.add_subcommand("build-image",
                                     "make an upgrade image from a FLASH file and an EEPROM file");
    build->add_option("FLASH", o.flash, "the FLASH file, 1 to 14336 bytes")->required();
    build->add_option("EEPROM", o.eeprom, "the EEPROM file, 1 to 512 bytes")->required();
    build->add_option("-o,--output", o.output,
                      "the image file (default: the FLASH file's name without its last four "
                      "characters, followed by _Crypt.hex)");

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, io.out, io.err);
        return code == 0 ? status::Done : status::Usage;
    }

    Session session(o, io, makeTool);
    const std::vector<std::pair<CLI::App*, int (Session::*)()>> commands{
        {ports, &Session::Ports},      {search, &Session::Search},     {read, &Session::Read},
        {write, &Session::Write},      {diff, &Session::Diff},         {show, &Session::Show},
        {check, &Session::Check},      {address, &Session::Address},   {speed, &Session::Speed},
        {block, &Session::Block},      {soundOff, &Session::SoundOff}, {upgrade, &Session::Upgrade},
        {build, &Session::BuildImage},
    };
    int code = status::Usage;
    for (const auto& [command, run] : commands) {
        if (command->parsed()) {
            session.result["command"] = command->get_name();
            code = (session.*run)();
            break;
        }
    }
    if (o.json) {
        if (!session.result.contains("format"))
            session.result["status"] = code;
        io.out << session.result.dump(2) << "\n";
    }
    return code;
}

}  // namespace imconf::cli
