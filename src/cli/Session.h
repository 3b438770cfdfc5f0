#pragma once
// One run of an imconf-cli command: the window started headless, its operations run until
// they report how they ended, the exit status and the messages that follow from the ending,
// and the result printed with --json.

#include "app/Outcome.h"
#include "app/SessionLogFile.h"
#include "cli/Commands.h"
#include "cli/Options.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace imconf::cli {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

// Overall guards. Every wait inside has the window's own time-outs; these only make sure that
// nothing hangs when an outcome never comes.
constexpr Micros kSequenceGuard = 120s;
constexpr Micros kCommandGuard = 30s;
constexpr Micros kUpgradeGuard = 30min;

class Session;
// Run on the tool of every session right after the window has started (the port, speed and
// address chosen), before the command runs its operations.
using ToolSetup = std::function<void(Session&)>;

class Session {
public:
    Session(const CommonOptions& options, CliIo& io, const ToolFactory& makeTool,
            std::vector<ToolSetup> setups = {});
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    const CommonOptions& Options() const { return o_; }
    CliIo& Io() { return io_; }
    // Messages for people: neither --quiet nor --json.
    bool Chatty() const { return !o_.quiet && !o_.json; }

    // Creates the window; `forModule`: also chooses the port, the speed and the address of
    // the common options, as a user would in the window.
    Tool& Start(bool forModule);
    Tool& T() { return *tool_; }

    // Runs the operation that `start` begins until it reports its ending and the window is
    // idle again. Empty when no ending came within `guard`. A bus search that stands because
    // the port failed is stopped: its ending is the port error.
    std::optional<OperationOutcome> Run(OperationKind operation, const std::function<void()>& start,
                                        Micros guard);
    // Shows `model` in the window's grids, as the user would have edited it, and runs the
    // configuration write.
    std::optional<OperationOutcome> WriteConfig(const ConfigModel& model);
    // The exit status of an ending, after the window's messages; for any ending but Done the
    // reason is printed too. `what` names the operation ("the configuration read").
    int Status(const std::optional<OperationOutcome>& ending, const std::string& what);

    // Reads the identification of the device at --address. Done when it is the indication
    // module (or --force is given); otherwise the failure, printed: a foreign device is
    // refused with its address and identification. `what` names the command that would write.
    int CheckIsModule(const std::string& what);
    // The identification read at the tool's address and what it found, for a command that
    // words the failure itself. A foreign device that --force takes all the same is said on
    // standard error (unless quiet).
    struct Identity {
        std::optional<OperationOutcome> ending;
        bool answered = false;  // it told its identification, or refused to
        bool foreign = false;   // it answered, but is no indication module
        bool taken = false;     // the module, or a foreign device with --force
    };
    Identity ReadIdentity();
    // The identification read's ending (its value is the identification).
    std::optional<OperationOutcome> Identify();
    // "the device at address A is no indication module (identification I, ...)".
    std::string ForeignDevice(const OperationOutcome& identified) const;

    int Fail(int code, const std::string& text);
    int FileError(const std::string& file, const std::string& error);
    int PortError();
    // The trace pane's message lines, into the result and (unless quiet) onto standard error.
    void Messages();
    // "at address A on port P (B baud)".
    std::string Where() const;
    // The progress bar on standard error while operations run.
    void ShowProgress(bool on) { progressOn_ = on; }
    // Told every ending as it comes (the answers of a sweep, say); nothing to stop.
    void FollowEndings(std::function<void(const OperationOutcome&)> each);

    // Menu items and editors by what they are.
    void ChooseSpeed(unsigned baud);
    void ChooseAddress(int address);
    void ChooseSearchDelay(int delayMs);

    Json result;

private:
    class Follower;
    void Progress();
    void ChoosePort(const std::string& name);

    const CommonOptions& o_;
    CliIo& io_;
    const ToolFactory& makeTool_;
    std::vector<ToolSetup> setups_;
    // Declared before the tool, which they watch: the tool goes first.
    std::unique_ptr<Follower> follower_;
    std::optional<TraceWatcher> watcher_;
    std::unique_ptr<ToolHost> host_;
    Tool* tool_ = nullptr;
    // Declared after the tool, which it follows: it goes first.
    std::optional<FormLogFile> log_;
    bool progressShown_ = false;
    bool progressOn_ = false;
};

}  // namespace imconf::cli
