#pragma once
// A scratch folder for the firmware file tests, removed with everything in it. Paths are
// UTF-8, as the code under test takes them.

#include "runtime/FileAccess.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace imconf::test {

class Scratch {
public:
    Scratch()
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::mt19937_64 rng(std::random_device{}() ^
                            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100 && native_.empty(); ++attempt) {
            const std::filesystem::path dir = base / ("imconf-fw-" + std::to_string(rng()));
            if (std::filesystem::create_directory(dir))
                native_ = dir;
        }
        if (native_.empty())
            throw std::runtime_error("no fresh temporary folder");
        path_ = files::Utf8FromPath(native_);
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(native_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        const std::string file = path_ + "/" + name;
        std::ofstream out(files::PathFromUtf8(file), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    const std::string& Path() const { return path_; }
    const std::filesystem::path& Native() const { return native_; }

private:
    std::string path_;
    std::filesystem::path native_;
};

}  // namespace imconf::test
