#pragma once
// A scratch folder for the firmware file tests, removed with everything in it. Paths are
// UTF-8, as the code under test takes them.

#include "FreshFolder.h"
#include "runtime/FileAccess.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace imconf::test {

class Scratch {
public:
    Scratch()
        : native_(testsupport::MakeFreshFolder("imconf-fw-")),
          path_(files::Utf8FromPath(native_))
    {
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
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    const std::string& Path() const { return path_; }
    const std::filesystem::path& Native() const { return native_; }

private:
    std::filesystem::path native_;
    std::string path_;
};

}  // namespace imconf::test
