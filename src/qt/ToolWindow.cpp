#include "qt/ToolWindow.h"

namespace imconf::qtui {

ToolWindow::ToolWindow(const std::string& executableDir) : RunningTool(executableDir)
{
    window_.emplace(form);
    dialogs.SetParentWindow(&*window_);
    screen.SetWindow(&*window_);
    window_->show();
    window_->activateWindow();
}

}  // namespace imconf::qtui
