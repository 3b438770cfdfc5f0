#include "cli/Tool.h"

namespace imconf::cli {

Tool::Tool(ToolParts parts)
    : line(parts.Line),
      form(TForm1Environment{
          .Loop = parts.Loop,
          .State = state,
          .Config = config,
          .ComPort1 = line,
          .Dialogs = dialogs,
          .SystemPorts = parts.Ports,
          .Screen = screen,
          .PortFileName = std::move(parts.PortFileName),
          .ExecutableDir = std::move(parts.ExecutableDir),
      }),
      loop_(parts.Loop),
      run_(std::move(parts.Run))
{
    form.SetNetworkPortsFile(std::move(parts.NetworkPortsFile));
    form.HandleEvent([this] { form.FormCreate(); });
    form.HandleEvent([this] { form.FormActivate(); });
}

bool Tool::Idle() const
{
    return state.OperationState == opstate::Idle && !form.Engine.TransactionInFlight() &&
           state.CommandDeferred == 0 && !form.Timer_Wait.Enabled();
}

bool Tool::RunUntil(const std::function<bool()>& done, Micros limit)
{
    const Micros deadline = loop_.Now() + limit;
    for (;;) {
        try {
            return run_(done, deadline > loop_.Now() ? deadline - loop_.Now() : Micros{0});
        } catch (const std::exception& error) {
            form.ShowGeneralError(error.what());
        }
    }
}

}  // namespace imconf::cli
