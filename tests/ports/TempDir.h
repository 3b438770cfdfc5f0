#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it. Paths
// are UTF-8, as the code under test takes them.

#include "FreshFolder.h"
#include "runtime/FileAccess.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace imconf::test {

class TempDir {
public:
    TempDir() : path_(files::Utf8FromPath(testsupport::MakeFreshFolder("imconf-ports-"))) {}
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(files::PathFromUtf8(path_), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view rel) const { return path_ + "/" + std::string(rel); }

    // Writes `bytes` to the file `rel` (parents created) and returns its path.
    std::string Write(std::string_view rel, std::string_view bytes) const
    {
        const std::string file = *this / rel;
        const std::filesystem::path native = files::PathFromUtf8(file);
        std::filesystem::create_directories(native.parent_path());
        std::ofstream out(native, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + file);
        return file;
    }

private:
    std::string path_;
};

}  // namespace imconf::test
