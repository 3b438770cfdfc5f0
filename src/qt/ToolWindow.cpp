#include "qt/ToolWindow.h"

#include "serial/NetworkPortFile.h"

namespace imconf::qtui {

ToolWindow::ToolWindow(const std::string& executableDir)
    : form(TForm1Environment{
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
    dialogs.SetParentWindow(&*window_);
    screen.SetWindow(&*window_);
    window_->show();
    window_->activateWindow();
}

}  // namespace imconf::qtui
