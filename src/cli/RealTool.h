#pragma once
// The tool as imconf-cli runs it: the window over the real serial component, the machine's port
// list and a real-time event loop, without a display.

#include "cli/Tool.h"

#include <memory>

namespace imconf::cli {

// `executableDir`: the folder of the running program.
std::unique_ptr<ToolHost> MakeRealTool(const std::string& executableDir);

}  // namespace imconf::cli
