#include "cli/RealTool.h"

#include "cli/Interrupted.h"
#include "runtime/Interrupt.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"
#include "serial/NetworkPortFile.h"
#include "serial/SystemPorts.h"

#include <optional>

namespace imconf::cli {

namespace {

class RealToolHost : public ToolHost {
public:
    explicit RealToolHost(const std::string& executableDir)
    {
        ApplyToolPortSettings(port_);
        tool_.emplace(ToolParts{
            .Loop = loop_,
            .Line = line_,
            .Ports = *ports_,
            .Run = [this](const std::function<bool()>& done,
                          Micros limit) { return RunUntilDoneOrInterrupted(done, limit); },
            .ExecutableDir = executableDir,
            .NetworkPortsFile = UserNetworkPortsFile(),
        });
    }
    ~RealToolHost() override
    {
        // The window goes first, then the port (its monitoring thread) and the loop.
        tool_.reset();
        port_.Close();
    }

    Tool& Get() override { return *tool_; }

private:
    // An interrupt ends the wait of the running command: its operation is stopped cleanly and
    // the command does not go on (Interrupted is thrown to main()).
    bool RunUntilDoneOrInterrupted(const std::function<bool()>& done, Micros limit)
    {
        const bool held = loop_.RunUntil([&] { return interrupt_.Requested() || done(); }, limit);
        if (!interrupt_.Requested())
            return held;
        std::string report =
            StopOnInterrupt(*tool_, [this](const std::function<bool()>& until, Micros most) {
                return loop_.RunUntil(until, most);
            });
        interrupt_.Released();
        throw Interrupted{std::move(report)};
    }

    StdEventLoop loop_;
    // Made before the port's monitoring thread, which then leaves the signals to it.
    InterruptWatch interrupt_{[this] { loop_.Post([] {}); }};
    TComPort port_;
    ComPortLine line_{port_, loop_};
    std::unique_ptr<ISystemPortList> ports_ = MakeSystemPortList();
    std::optional<Tool> tool_;
};

}  // namespace

std::unique_ptr<ToolHost> MakeRealTool(const std::string& executableDir)
{
    return std::make_unique<RealToolHost>(executableDir);
}

}  // namespace imconf::cli
