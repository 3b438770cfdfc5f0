#include "runtime/TextFiles.h"

#include "runtime/FileErrors.h"
#include "runtime/FileAccess.h"

#include <filesystem>
#include <fstream>

namespace imconf {

namespace {
// Configuration files are small; anything larger is no configuration.
constexpr std::uint64_t kMaxTextFile = 1u << 20;
}  // namespace

std::optional<std::string> ReadTextFile(const std::string& path, std::string& text)
{
    files::FileHandle file = files::kNoFile;
    if (const int error = files::OpenForReading(path, file))
        return FileErrorText(error);
    std::uint64_t size = 0;
    int error = files::Size(file, size);
    if (error == 0 && size > kMaxTextFile) {
        files::Close(file);
        return "larger than " + std::to_string(kMaxTextFile) + " bytes";
    }
    text.assign(static_cast<std::size_t>(size), '\0');
    std::size_t done = 0;
    while (error == 0 && done < text.size()) {
        std::size_t got = 0;
        error = files::Read(file, text.data() + done, text.size() - done, got);
        if (got == 0)
            break;
        done += got;
    }
    text.resize(done);
    files::Close(file);
    if (error != 0)
        return FileErrorText(error);
    return std::nullopt;
}

std::optional<std::string> WriteTextFile(const std::string& path, const std::string& text)
{
    files::FileHandle file = files::kNoFile;
    if (const int error = files::CreateForWriting(path, file))
        return FileErrorText(error);
    const int written = files::WriteAll(file, text.data(), text.size());
    const int closed = files::Close(file);
    if (written != 0 || closed != 0)
        return FileErrorText(written != 0 ? written : closed);
    return std::nullopt;
}

std::optional<std::string> CheckWritable(const std::string& path)
{
    std::error_code ignored;
    if (std::filesystem::exists(files::PathFromUtf8(path), ignored)) {
        // Opened for appending, which leaves its content as it is.
        std::ofstream probe(files::PathFromUtf8(path), std::ios::app | std::ios::binary);
        if (!probe || std::filesystem::is_directory(files::PathFromUtf8(path), ignored))
            return std::string("cannot be written");
        return std::nullopt;
    }
    files::FileHandle file = files::kNoFile;
    if (const int error = files::CreateForWriting(path, file))
        return FileErrorText(error);
    files::Close(file);
    files::Remove(path);
    return std::nullopt;
}

}  // namespace imconf
