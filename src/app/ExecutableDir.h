#pragma once
// The folder of the running program's executable, where the file dialogs start.

#include <optional>
#include <string>

namespace imconf {

// The folder of the running program's executable (UTF-8), links resolved: the same whether
// the program runs from its build folder or its install folder, and whatever the working
// folder is. Nothing when the system cannot say.
std::optional<std::string> ExecutableFolder();

// The folder of the file that `selfLink` names, symbolic links resolved (on Linux the
// executable is the kernel's link /proc/self/exe). Nothing when the name leads nowhere.
std::optional<std::string> ExecutableFolder(const std::string& selfLink);

}  // namespace imconf
