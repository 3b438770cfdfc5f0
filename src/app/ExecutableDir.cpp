#include "app/ExecutableDir.h"

#include <filesystem>
#include <system_error>

namespace imconf {

std::optional<std::string> ExecutableFolder(const std::string& selfLink)
{
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical(selfLink, error);
    if (error || !file.is_absolute() || !file.has_parent_path())
        return std::nullopt;
    return file.parent_path().string();
}

}  // namespace imconf
