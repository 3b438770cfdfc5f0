#pragma once
// The tool as it runs: the main window over the real serial component, the machine's port
// list and the Qt dialogs, created, started and shown. The imconf program and the user
// guide's picture tool both run exactly this.

#include "app/Form1.h"
#include "config/ConfigModel.h"
#include "modbus/ProgramState.h"
#include "qt/MainWindow.h"
#include "qt/QtDialogs.h"
#include "qt/QtEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"
#include "serial/SystemPorts.h"

#include <memory>
#include <optional>
#include <string>

namespace imconf::qtui {

class ToolWindow {
public:
    // `executableDir`: where the file dialogs start.
    explicit ToolWindow(const std::string& executableDir);
    ToolWindow(const ToolWindow&) = delete;
    ToolWindow& operator=(const ToolWindow&) = delete;

    MainWindow& Window() { return *window_; }

    ProgramState state;
    ConfigModel config;
    QtEventLoop loop;
    TComPort port;
    ComPortLine line{port, loop};
    std::unique_ptr<ISystemPortList> systemPorts = MakeSystemPortList();
    QtDialogs dialogs;
    QtScreen screen;
    TForm1 form;

private:
    // Made once the form has run its start-up.
    std::optional<MainWindow> window_;
};

}  // namespace imconf::qtui
