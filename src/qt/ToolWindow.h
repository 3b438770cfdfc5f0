#pragma once
// The tool as it runs on Qt: the running tool with the Qt loop, dialogs and screen, and its
// main window, created, shown and activated. The imconf program and the user guide's picture
// tool both run exactly this.

#include "app/RunningTool.h"
#include "qt/MainWindow.h"
#include "qt/QtDialogs.h"
#include "qt/QtEventLoop.h"

#include <optional>
#include <string>

namespace imconf::qtui {

class ToolWindow : public RunningTool<QtEventLoop, QtDialogs, QtScreen> {
public:
    // `executableDir`: where the file dialogs start.
    explicit ToolWindow(const std::string& executableDir);

    MainWindow& Window() { return *window_; }

private:
    // Made once the form has run its start-up.
    std::optional<MainWindow> window_;
};

}  // namespace imconf::qtui
