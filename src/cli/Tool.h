#pragma once
// The window as the command line runs it: TForm1 over a serial line, a port list and an event
// loop that someone else owns, with headless dialogs and a watch on the trace pane. Created,
// started (FormCreate) and activated like the window, so the port chosen at start is the
// window's choice.

#include "app/Form1.h"
#include "cli/Headless.h"
#include "config/ConfigModel.h"
#include "modbus/ProgramState.h"

#include <functional>
#include <memory>
#include <string>

namespace imconf::cli {

// Runs the loop until `done` holds or `limit` has passed; true when `done` held.
using RunLoop = std::function<bool(const std::function<bool()>& done, Micros limit)>;

struct ToolParts {
    EventLoop& Loop;
    ISerialLine& Line;
    ISystemPortList& Ports;
    RunLoop Run;
    std::string ExecutableDir = ".";
    std::string NetworkPortsFile = {};  // the user's network ports; none when empty
    std::string PortFileName = "comports.txt";
};

class Tool {
public:
    explicit Tool(ToolParts parts);
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // Runs the loop; an error that escapes an event reaches the window's general error report,
    // as in the window, and the loop goes on.
    bool RunUntil(const std::function<bool()>& done, Micros limit);
    // No operation, no transaction and no command waiting.
    bool Idle() const;

    ProgramState state;
    ConfigModel config;
    DiagnosingLine line;
    HeadlessDialogs dialogs;
    HeadlessScreen screen;
    TForm1 form;

private:
    EventLoop& loop_;
    RunLoop run_;
};

// Who owns the loop, the line and the port list, and the tool over them.
class ToolHost {
public:
    virtual ~ToolHost() = default;
    virtual Tool& Get() = 0;
};
using ToolFactory = std::function<std::unique_ptr<ToolHost>()>;

}  // namespace imconf::cli
