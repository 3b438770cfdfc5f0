#pragma once
// The folder of the running program's executable, where the file dialogs start.

#include <optional>
#include <string>

namespace imconf {

// The folder of the file the link `selfLink` names (the kernel's link to the running
// executable by default), symbolic links resolved: the same whether the program runs from
// its build folder or its install folder, and whatever the working folder is. Nothing when
// the link cannot be read.
std::optional<std::string> ExecutableFolder(const std::string& selfLink = "/proc/self/exe");

}  // namespace imconf
