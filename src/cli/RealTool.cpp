#include "cli/RealTool.h"

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
                          Micros limit) { return loop_.RunUntil(done, limit); },
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
    StdEventLoop loop_;
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
