#include "win/ToolWindow.h"

#include "serial/NetworkPortFile.h"

namespace imconf::win {

ToolWindow::ToolWindow(const std::string& executableDir, std::unique_ptr<ISystemPortList> ports)
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
    form.SetNetworkPortsFile(UserNetworkPortsFile());
    loop.SetErrorHandler([this](const std::string& text) { form.ShowGeneralError(text); });
    form.HandleEvent([this] { form.FormCreate(); });
    window_.emplace(form);
    dialogs.SetOwner(window_->Handle());
    screen.SetWindow(window_->Handle(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    window_->Show(SW_SHOWNORMAL);
    ::SetForegroundWindow(window_->Handle());
}

}  // namespace imconf::win
