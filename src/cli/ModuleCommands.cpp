// The commands that talk to the module: ports, search, read, write, diff, and the module's
// address, speed, block and sound-off. Each runs the window's operation and takes the
// outcome the operation reports.

#include "cli/CommandSet.h"
#include "cli/ConfigFile.h"
#include "cli/Interrupted.h"
#include "cli/TextFiles.h"
#include "config/Catalogue.h"
#include "config/RegisterMap.h"

#include <algorithm>
#include <memory>
#include <ostream>

namespace imconf::cli {

namespace {

int Ports(Session& s)
{
    Tool& t = s.Start(false);
    const TForm1& f = t.form;
    Json ports = Json::array();
    for (std::size_t i = 0; i < f.PORT1->Count(); ++i) {
        const TMenuItem& item = f.PORT1->Item(i);
        ports.push_back(
            {{"name", item.Caption()}, {"description", item.Hint()}, {"chosen", item.Checked()}});
        if (!s.Options().json)
            s.Io().out << (item.Checked() ? "* " : "  ") << item.Caption()
                       << (item.Hint().empty() ? "" : "  " + item.Hint()) << "\n";
    }
    s.result["ports"] = ports;
    if (s.Chatty()) {
        for (const std::string& line : f.TeMemo1.Lines.Items())
            if (!line.empty() && !TraceWatcher::IsTraceLine(line))
                s.Io().err << line << "\n";
        if (f.PORT1->Count() == 0)
            s.Io().err << "imconf-cli: no serial port found\n";
    }
    return status::Done;
}

int Search(Session& s, int delay)
{
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    s.ChooseSearchDelay(delay);
    s.ShowProgress(true);
    // 247 probes, each the delay, the pacing and the line time at the slowest speed.
    const Micros guard = Micros(247 * (delay + 150) * 1000) + 30s;
    const auto ending = s.Run(
        OperationKind::Search, [&f] { f.CustomItem5Click(); }, guard);
    if (!ending)
        return s.Fail(status::Module, "the search gave no outcome in time");
    if (const int code = s.Status(ending, "the search"); code != status::Done)
        return code;
    s.result["address"] = ending->address;
    if (!s.Options().json)
        s.Io().out << static_cast<int>(ending->address) << "\n";
    return status::Done;
}

// Reads the configuration into the tool's model.
int ReadModule(Session& s, const std::string& what)
{
    TForm1& f = s.T().form;
    return s.Status(s.Run(
                        OperationKind::Read, [&f] { f.TeButton5Click(); }, kSequenceGuard),
                    what);
}

// A device that answered the read, or refused it, says what it is: a foreign one is no module
// whose configuration this is (--force takes it all the same).
int ReadFromModule(Session& s)
{
    TForm1& f = s.T().form;
    const auto ending = s.Run(
        OperationKind::Read, [&f] { f.TeButton5Click(); }, kSequenceGuard);
    const int code = s.Status(ending, "the configuration read");
    const bool answered =
        ending && (ending->result == OutcomeKind::Done || ending->result == OutcomeKind::Refused);
    if (!answered || s.Options().force)
        return code;
    const auto identified = s.Identify();
    const bool foreign =
        identified &&
        (identified->result == OutcomeKind::Refused ||
         (identified->result == OutcomeKind::Done && identified->value != regmap::ModuleId));
    if (!foreign)
        return code;
    s.result["identification"] = identified->value;
    return s.Fail(status::Module,
                  s.ForeignDevice(*identified) + "; its registers are no module configuration");
}

int Read(Session& s, const std::string& output)
{
    // Found out before the module is read, not after.
    if (!output.empty())
        if (const auto error = CheckWritable(output))
            return s.FileError(output, *error + "; the module was not read");
    Tool& t = s.Start(true);
    if (const int code = ReadFromModule(s); code != status::Done)
        return code;
    const ModuleConfig config = FromModel(t.config);
    const ReadOrigin origin{s.Io().now ? s.Io().now() : "", t.line.Port(), t.state.DeviceAddress,
                            BaudRateToInt(t.line.BaudRate())};
    const std::string text = WriteConfigText(config, origin);
    if (!output.empty()) {
        if (const auto error = WriteTextFile(output, text))
            return s.FileError(output, *error);
        s.result["file"] = output;
        if (s.Chatty())
            s.Io().err << "imconf-cli: configuration written to " << output << "\n";
        return status::Done;
    }
    if (s.Options().json)
        s.result = Json::parse(text);
    else
        s.Io().out << DescribeModel(t.config);
    return status::Done;
}

int Write(Session& s, const std::string& path)
{
    const LoadedConfig file = LoadConfigFile(path);
    if (!file.Ok())
        return s.FileError(path, file.Error + "; nothing was sent");
    Tool& t = s.Start(true);
    if (const int code = s.CheckIsModule("the configuration"); code != status::Done)
        return code;
    const auto written = s.WriteConfig(file.Model);
    if (const int code = s.Status(written, "the configuration write"); code != status::Done)
        return code;
    if (const int code = InterruptibleReadBack([&s] { return ReadModule(s, "the read-back"); });
        code != status::Done)
        return code;
    const auto differences = Differences(FromModel(t.config), file.Config, "module", "file");
    s.result["differences"] = differences;
    if (!differences.empty()) {
        s.Io().err << Lines(differences);
        return s.Fail(status::Module, "the module holds another configuration than written (" +
                                          std::to_string(differences.size()) + " differences)");
    }
    if (s.Chatty())
        s.Io().err << "imconf-cli: written and read back: the module holds " << path << "\n";
    return status::Done;
}

int Diff(Session& s, const std::string& path)
{
    const LoadedConfig file = LoadConfigFile(path);
    if (!file.Ok())
        return s.FileError(path, file.Error);
    Tool& t = s.Start(true);
    if (const int code = ReadModule(s, "the configuration read"); code != status::Done)
        return code;
    const auto differences = Differences(FromModel(t.config), file.Config, "module", "file");
    s.result["differences"] = differences;
    if (!s.Options().json)
        s.Io().out << Lines(differences);
    if (differences.empty() && s.Chatty())
        s.Io().out << "no difference: the module holds the configuration of " << path << "\n";
    return differences.empty() ? status::Done : status::Module;
}

int Address(Session& s, int newAddress)
{
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    if (const int code = s.CheckIsModule("the new address"); code != status::Done)
        return code;
    f.HandleEvent([&f, newAddress] { f.TeSpinEdit2.SetValue(newAddress); });
    const auto ending = s.Run(
        OperationKind::AddressChange, [&f] { f.TeButton1Click(); }, kCommandGuard);
    if (const int code = s.Status(ending, "the address command"); code != status::Done)
        return code;
    s.result["address"] = ending->value;
    if (s.Chatty())
        s.Io().out << "the module's address is now " << ending->value << "\n";
    return status::Done;
}

int Speed(Session& s, unsigned speed, bool pcFollows)
{
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    if (const int code = s.CheckIsModule("the new speed"); code != status::Done)
        return code;
    t.dialogs.answerYes = pcFollows;
    const auto item =
        std::find(f.TeSComboBox1.Items.begin(), f.TeSComboBox1.Items.end(), std::to_string(speed));
    const int index = static_cast<int>(item - f.TeSComboBox1.Items.begin());
    const auto ending = s.Run(
        OperationKind::SpeedChange, [&f, index] { f.TeSComboBox1.ChooseByUser(index); },
        kCommandGuard);
    if (const int code = s.Status(ending, "the speed command"); code != status::Done)
        return code;
    const unsigned pc = BaudRateToInt(t.line.BaudRate());
    s.result["speed"] = speed;
    s.result["pc"] = pc;
    if (s.Chatty()) {
        s.Io().out << "the module talks at " << speed << " baud now\n";
        if (pc != speed)
            s.Io().out << "the PC port stays at " << pc << " baud: give --baud " << speed
                       << " from now on\n";
        else if (pcFollows)
            s.Io().out << "the PC port followed for this command only: give --baud " << speed
                       << " to the commands after it\n";
    }
    return status::Done;
}

int Block(Session& s, bool on)
{
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    if (const int code = s.CheckIsModule("the block command"); code != status::Done)
        return code;
    // The box shows the state last acknowledged; the button sends the other one.
    f.TeCheckBox1.SetChecked(!on);
    const auto ending = s.Run(
        OperationKind::Block, [&f] { f.TeButton3Click(); }, kCommandGuard);
    if (const int code = s.Status(ending, "the block command"); code != status::Done)
        return code;
    s.result["block"] = ending->value == 1;
    return status::Done;
}

int SoundOff(Session& s)
{
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    if (const int code = s.CheckIsModule("the sound-off command"); code != status::Done)
        return code;
    return s.Status(s.Run(
                        OperationKind::SoundOff, [&f] { f.Sound_ButtClick(); }, kCommandGuard),
                    "the sound-off command");
}

}  // namespace

void AddModuleCommands(CommandSet& commands)
{
    commands.Add("ports",
                 "list the serial ports as the window lists them, with the adapters' descriptions "
                 "('*': the port chosen at start)",
                 Ports);

    auto delay = std::make_shared<int>(150);
    commands
        .Add("search",
             "search the bus (addresses 1 to 247) for the module; prints the found address",
             [delay](Session& s) { return Search(s, *delay); })
        .add_option("--delay", *delay,
                    "milliseconds to wait at each address: 100, 150, 200, 250, 300 or 350 "
                    "(default 150)")
        ->check(IntegerText())
        ->check(CLI::IsMember(kDelays));

    auto output = std::make_shared<std::string>();
    commands
        .Add("read",
             "read the whole configuration; print it as the window's two tabs show it, or write a "
             "configuration file",
             [output](Session& s) { return Read(s, *output); })
        .add_option("-o,--output", *output, "write the configuration to this file");

    auto file = std::make_shared<std::string>();
    commands
        .Add("write", "write a configuration file to the module, read it back and compare",
             [file](Session& s) { return Write(s, *file); })
        .add_option("FILE", *file, "the configuration file")
        ->required();
    commands
        .Add("diff",
             "compare the module with a configuration file (exit status 1 when they differ)",
             [file](Session& s) { return Diff(s, *file); })
        .add_option("FILE", *file, "the configuration file")
        ->required();

    auto newAddress = std::make_shared<int>(0);
    commands
        .Add("address", "give the module a new address",
             [newAddress](Session& s) { return Address(s, *newAddress); })
        .add_option("NEW", *newAddress, "the new address, 1 to 247")
        ->required()
        ->check(IntegerText())
        ->check(CLI::Range(1, 247));

    auto speed = std::make_shared<unsigned>(0);
    auto pcFollows = std::make_shared<bool>(false);
    CLI::App& speedCommand =
        commands.Add("speed", "give the module a new speed (asks nothing)",
                     [speed, pcFollows](Session& s) { return Speed(s, *speed, *pcFollows); });
    speedCommand.add_option("BAUD", *speed, "1200, 2400, 4800, 9600, 14400, 19200, 38400 or 57600")
        ->required()
        ->check(IntegerText())
        ->check(CLI::IsMember(kSpeeds));
    speedCommand.add_flag("--pc-follows", *pcFollows,
                          "switch the PC port to the new speed too, for this command only: "
                          "later commands need --baud NEW");

    auto block = std::make_shared<std::string>();
    commands
        .Add("block", "block or unblock the module",
             [block](Session& s) { return Block(s, *block == "on"); })
        .add_option("STATE", *block, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));

    commands.Add("sound-off", "switch the module's alarm sound off", SoundOff);
}

}  // namespace imconf::cli
