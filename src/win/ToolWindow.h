#pragma once
// The tool as it runs on Windows: the running tool with the Win32 loop, the system's dialogs
// and the monitor's measures, and its main window, created and started. The imconf program
// and the window tests both run exactly this.

#include "app/RunningTool.h"
#include "win/MainWindow.h"
#include "win/Win32Dialogs.h"
#include "win/Win32EventLoop.h"

#include <memory>
#include <optional>
#include <string>

namespace imconf::win {

class ToolWindow : public RunningTool<Win32EventLoop, Win32Dialogs, Win32Screen> {
public:
    // `executableDir`: where the file dialogs start; `systemPorts`: the machine's port list
    // (tests give a fixed one).
    explicit ToolWindow(const std::string& executableDir,
                        std::unique_ptr<ISystemPortList> systemPorts = MakeSystemPortList());

    MainWindow& Window() { return *window_; }

private:
    std::optional<MainWindow> window_;
};

}  // namespace imconf::win
