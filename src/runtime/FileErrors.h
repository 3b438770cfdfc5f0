#pragma once
// The text of a file error as the tool reports it: "File not found", "File access denied",
// "Disk full", otherwise "I/O error N" with the error number.

#include <string>

namespace imconf {

std::string FileErrorText(int errnoValue);

}  // namespace imconf
