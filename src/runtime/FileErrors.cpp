#include "runtime/FileErrors.h"

#include <cerrno>

namespace imconf {

std::string FileErrorText(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT: return "File not found";
    case EACCES:
    case EPERM:
    case EISDIR: return "File access denied";
    case ENOSPC: return "Disk full";
    default: return "I/O error " + std::to_string(errnoValue);
    }
}

}  // namespace imconf
