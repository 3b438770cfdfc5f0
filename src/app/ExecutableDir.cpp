#include "app/ExecutableDir.h"

#include "runtime/FileAccess.h"

#include <filesystem>
#include <system_error>

namespace imconf {

std::optional<std::string> ExecutableFolder()
{
    const auto file = files::ExecutablePath();
    if (!file)
        return std::nullopt;
    return ExecutableFolder(*file);
}

std::optional<std::string> ExecutableFolder(const std::string& selfLink)
{
    std::error_code error;
    const std::filesystem::path file =
        std::filesystem::canonical(files::PathFromUtf8(selfLink), error);
    if (error || !file.is_absolute() || !file.has_parent_path())
        return std::nullopt;
    return files::Utf8FromPath(file.parent_path());
}

}  // namespace imconf
