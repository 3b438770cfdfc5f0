#include "cli/Session.h"

#include "config/RegisterMap.h"
#include "modbus/ProgramState.h"
#include "serial/NetworkPortName.h"

#include <algorithm>
#include <ostream>

namespace imconf::cli {

// Keeps the endings the window's operations report.
class Session::Follower : public OperationObserver {
public:
    void OperationStarted(OperationKind /*operation*/, const std::string& /*detail*/) override
    {
        started = true;
    }
    void OperationEnded(const OperationOutcome& outcome) override
    {
        endings.push_back(outcome);
        if (each)
            each(outcome);
    }

    // The first ending of `operation` since the last Clear.
    std::optional<OperationOutcome> EndingOf(OperationKind operation) const
    {
        for (const OperationOutcome& ending : endings)
            if (ending.operation == operation)
                return ending;
        return std::nullopt;
    }
    void Clear()
    {
        started = false;
        endings.clear();
    }

    bool started = false;
    std::vector<OperationOutcome> endings;
    std::function<void(const OperationOutcome&)> each;
};

Session::Session(const CommonOptions& options, CliIo& io, const ToolFactory& makeTool,
                 std::vector<ToolSetup> setups)
    : o_(options),
      io_(io),
      makeTool_(makeTool),
      setups_(std::move(setups)),
      follower_(std::make_unique<Follower>())
{
}

Session::~Session()
{
    if (tool_ != nullptr)
        tool_->form.Observers.Remove(*follower_);
}

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

void Session::ChoosePort(const std::string& name)
{
    TForm1& f = tool_->form;
    for (std::size_t i = 0; i < f.PORT1->Count(); ++i) {
        if (f.PORT1->Item(i).Caption() == name) {
            f.HandleEvent([&f, i] { f.PORT1->Item(i).Click(); });
            return;
        }
    }
    // A device path, or a port the list does not show.
    f.HandleEvent([&f, &name] { f.ComPort1.SetPort(name); });
}

void Session::ChooseSpeed(unsigned baud)
{
    TForm1& f = tool_->form;
    const std::string caption = std::to_string(baud);
    for (std::size_t i = 0; i < f.CustomItem3->Count(); ++i) {
        TMenuItem& item = f.CustomItem3->Item(i);
        if (item.Caption() == caption && !item.Checked())
            f.HandleEvent([&item] { item.Click(); });
    }
}

void Session::ChooseAddress(int address)
{
    TForm1& f = tool_->form;
    f.HandleEvent([&f, address] {
        f.TeSpinEdit1.SetValue(address);
        f.TeSpinEdit1Change();
    });
}

void Session::FollowEndings(std::function<void(const OperationOutcome&)> each)
{
    follower_->each = std::move(each);
}

void Session::ChooseSearchDelay(int delayMs)
{
    TForm1& f = tool_->form;
    const std::string caption = std::to_string(delayMs) + "ms";
    for (std::size_t i = 0; i < f.CustomItem6->Count(); ++i)
        if (TMenuItem& item = f.CustomItem6->Item(i); item.Caption() == caption)
            f.HandleEvent([&item] { item.Click(); });
}

Tool& Session::Start(bool forModule)
{
    host_ = makeTool_();
    Tool& t = host_->Get();
    tool_ = &t;
    if (!o_.log.empty())
        log_.emplace(t.form, SessionLogFile::Single(o_.log, [this](const std::string& text) {
                         io_.err << "imconf-cli: " << text << "\n";
                     }));
    t.form.Observers.Add(*follower_);
    if (o_.latency)
        t.line.SetNetworkLatency(*o_.latency);
    t.dialogs.onError = [this](const std::string& text) {
        io_.err << "imconf-cli: error: " << text << "\n";
    };
    watcher_.emplace(t.form.TeMemo1, [this](const std::string& line) {
        if (o_.trace)
            io_.err << line << "\n";
    });
    t.form.TeProgressBar1.Subscribe([this] { Progress(); });
    if (!forModule)
        return t;

    if (!o_.port.empty())
        ChoosePort(o_.port);
    ChooseSpeed(o_.baud);
    ChooseAddress(o_.address);
    for (const ToolSetup& setup : setups_)
        setup(*this);
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

std::optional<OperationOutcome> Session::WriteConfig(const ConfigModel& model)
{
    Tool& t = *tool_;
    TForm1& f = t.form;
    t.config = model;
    f.ShowNodeList();
    f.ShowZoneList();
    for (std::size_t i = 0; i < kIndicatorCount; ++i)
        f.ShowLinkEntry(i);
    return Run(
        OperationKind::Write, [&f] { f.TeButton2Click(); }, kSequenceGuard);
}

std::optional<OperationOutcome> Session::Run(OperationKind operation,
                                             const std::function<void()>& start, Micros guard)
{
    Tool& t = *tool_;
    follower_->Clear();
    // Only this operation's messages are its outcome's.
    t.form.TeMemo1.Lines.Clear();
    t.form.HandleEvent(start);
    auto searchStands = [&t] {
        return t.state.OperationState == opstate::Search && t.form.Search.PortFailed();
    };
    const bool ended = t.RunUntil(
        [&] {
            const bool idle = t.Idle() && !t.form.Timer_Programm.Enabled();
            return (follower_->EndingOf(operation) && idle) || (!follower_->started && idle) ||
                   searchStands();
        },
        guard);
    if (t.state.OperationState == opstate::Search)
        t.form.HandleEvent([&t] { t.form.CustomItem5Click(); });
    if (progressShown_) {
        io_.err << "\n";
        progressShown_ = false;
    }
    if (!ended)
        return std::nullopt;
    return follower_->EndingOf(operation);
}

void Session::Messages()
{
    const auto messages = watcher_->Messages();
    result["messages"] = messages;
    if (!o_.trace && Chatty())
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

int Session::Status(const std::optional<OperationOutcome>& ending, const std::string& what)
{
    Messages();
    if (ending && ending->result == OutcomeKind::Done)
        return status::Done;
    if (!ending)
        return Fail(status::Module, what + ": no outcome in time; giving up");
    const std::string check = " (check the address with 'imconf-cli search', the speed with "
                              "--baud, and the cable)";
    switch (ending->result) {
    case OutcomeKind::Done: break;
    case OutcomeKind::PortError: return PortError();
    case OutcomeKind::BadFile: return Fail(status::Usage, ending->detail + "; nothing was sent");
    case OutcomeKind::Refused:
        return Fail(status::Module,
                    what + " failed: the device " + Where() + " refused it" + check);
    case OutcomeKind::NoAnswer:
        return Fail(status::Module,
                    what + " failed: the module " + Where() + " did not answer" + check);
    case OutcomeKind::BadLine:
        return Fail(status::Module, what + " failed: the replies from " + Where() +
                                        " came damaged or cut short: the line is poor (check the "
                                        "cable, its termination and the speed)");
    case OutcomeKind::Stopped: return Fail(status::Module, what + " was stopped");
    case OutcomeKind::NotFound:
        return Fail(status::Module, "no module answered on port " + tool_->line.Port() + " at " +
                                        std::to_string(o_.baud) +
                                        " baud; try another speed (--baud) or a longer --delay");
    }
    return status::Done;
}

std::optional<OperationOutcome> Session::Identify()
{
    TForm1& f = tool_->form;
    return Run(
        OperationKind::Identify, [&f] { f.Commands.SendIdentify(); }, kCommandGuard);
}

std::string Session::ForeignDevice(const OperationOutcome& identified) const
{
    const std::string address = std::to_string(identified.address);
    if (identified.result != OutcomeKind::Done)
        return "the device at address " + address +
               " refused to tell its identification: it is no indication module";
    return "the device at address " + address + " is no indication module: its identification is " +
           std::to_string(identified.value) + ", the module's is " +
           std::to_string(regmap::ModuleId);
}

Session::Identity Session::ReadIdentity()
{
    Identity identity{Identify()};
    const auto& ending = identity.ending;
    identity.answered =
        ending && (ending->result == OutcomeKind::Done || ending->result == OutcomeKind::Refused);
    identity.foreign = identity.answered &&
                       (ending->result != OutcomeKind::Done || ending->value != regmap::ModuleId);
    identity.taken = identity.answered && (!identity.foreign || o_.force);
    if (identity.foreign && o_.force && Chatty())
        io_.err << "imconf-cli: " << ForeignDevice(*ending) << "; written anyway (--force)\n";
    return identity;
}

int Session::CheckIsModule(const std::string& what)
{
    const Identity identity = ReadIdentity();
    if (!identity.answered)
        return Status(identity.ending, what);
    if (!identity.foreign)
        return status::Done;
    result["identification"] = identity.ending->value;
    if (identity.taken)
        return status::Done;
    return Fail(status::Module, ForeignDevice(*identity.ending) + "; " + what +
                                    " not sent (--force sends it all the same)");
}

}  // namespace imconf::cli
