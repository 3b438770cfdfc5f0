#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it. Paths
// are UTF-8, as the code under test takes them.

#include "runtime/FileAccess.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace imconf::test {

class TempDir {
public:
    TempDir()
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::mt19937_64 rng(std::random_device{}() ^
                            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path dir = base / ("imconf-ports-" + std::to_string(rng()));
            if (std::filesystem::create_directory(dir)) {
                path_ = files::Utf8FromPath(dir);
                return;
            }
        }
        throw std::runtime_error("no fresh temporary folder");
    }
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
