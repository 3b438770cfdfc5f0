#include "win/ToolWindow.h"

namespace imconf::win {

ToolWindow::ToolWindow(const std::string& executableDir, std::unique_ptr<ISystemPortList> ports)
    : RunningTool(executableDir, std::move(ports))
{
    window_.emplace(form);
    dialogs.SetOwner(window_->Handle());
    screen.SetWindow(window_->Handle(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    window_->Show(SW_SHOWNORMAL);
    ::SetForegroundWindow(window_->Handle());
}

}  // namespace imconf::win
