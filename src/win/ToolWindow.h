#pragma once
// The tool as it runs on Windows: the main window over the Win32 serial component, the
// machine's port list and the system's dialogs, created and started. The imconf program and
// the window tests both run exactly this.

#include "app/Form1.h"
#include "config/ConfigModel.h"
#include "modbus/ProgramState.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"
#include "serial/SystemPorts.h"
#include "win/MainWindow.h"
#include "win/Win32Dialogs.h"
#include "win/Win32EventLoop.h"

#include <memory>
#include <optional>
#include <string>

namespace imconf::win {

class ToolWindow {
public:
    // `executableDir`: where the file dialogs start; `systemPorts`: the machine's port list
    // (tests give a fixed one).
    explicit ToolWindow(const std::string& executableDir,
                        std::unique_ptr<ISystemPortList> systemPorts = MakeSystemPortList());
    ToolWindow(const ToolWindow&) = delete;
    ToolWindow& operator=(const ToolWindow&) = delete;

    MainWindow& Window() { return *window_; }

    ProgramState state;
    ConfigModel config;
    Win32EventLoop loop;
    TComPort port;
    ComPortLine line{port, loop};
    std::unique_ptr<ISystemPortList> systemPorts;
    Win32Dialogs dialogs;
    Win32Screen screen;
    TForm1 form;

private:
    std::optional<MainWindow> window_;
};

}  // namespace imconf::win
