#pragma once
// The tool as it runs in a window: the core over the real serial component and the machine's
// port list, with a window shell's event loop, dialogs and screen, the form created and its
// start-up run. Each shell's ToolWindow adds its window on top; the programs, the window
// tests and the guide's picture tool all run this. What the running tool gains later (a log
// of the session, say) is one more member here and one more line in the constructor.

#include "app/Form1.h"
#include "config/ConfigModel.h"
#include "modbus/ProgramState.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"
#include "serial/NetworkPortFile.h"
#include "serial/SystemPorts.h"

#include <memory>
#include <string>
#include <utility>

namespace imconf {

// `Loop` is an EventLoop with SetErrorHandler, `Dialogs` an IDialogs, `Screen` an IScreen;
// all three are made on the window's thread before anything else of the tool.
template <typename Loop, typename Dialogs, typename Screen>
class RunningTool {
public:
    // `executableDir`: where the file dialogs start; `systemPorts`: the machine's port list
    // (tests give a fixed one).
    explicit RunningTool(const std::string& executableDir,
                         std::unique_ptr<ISystemPortList> ports = MakeSystemPortList())
        : systemPorts(std::move(ports)),
          form(TForm1Environment{
              .Loop = loop,
              .State = state,
              .Config = config,
              .ComPort1 = line,
              .Dialogs = dialogs,
              .SystemPorts = *systemPorts,
              .Screen = screen,
              .PortFileName = "comports.txt",
              .ExecutableDir = executableDir,
          })
    {
        ApplyToolPortSettings(port);
        loop.SetErrorHandler([this](const std::string& text) { form.ShowGeneralError(text); });
        form.SetNetworkPortsFile(UserNetworkPortsFile());
        form.HandleEvent([this] { form.FormCreate(); });
    }
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    ProgramState state;
    ConfigModel config;
    Loop loop;
    TComPort port;
    ComPortLine line{port, loop};
    std::unique_ptr<ISystemPortList> systemPorts;
    Dialogs dialogs;
    Screen screen;
    TForm1 form;
};

}  // namespace imconf
