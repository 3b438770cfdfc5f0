#pragma once
// One scratch file per fuzz process, rewritten for every input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace imconf::fuzz {

class TempFolder {
public:
    TempFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/imconf-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~TempFolder() { ::rmdir(path_.c_str()); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }

    // Writes `size` bytes to the file `name` (created or truncated).
    std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) const
    {
        const std::string path = File(name);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            std::perror(path.c_str());
            std::abort();
        }
        if (size > 0 && std::fwrite(data, 1, size, file) != size) {
            std::perror(path.c_str());
            std::abort();
        }
        std::fclose(file);
        return path;
    }

private:
    std::string path_;
};

// Lives for the whole process; libFuzzer never returns from its main, so the folder is
// removed only when the process ends normally. Files inside are removed by each target.
inline TempFolder& ScratchFolder()
{
    static TempFolder folder;
    return folder;
}

}  // namespace imconf::fuzz
