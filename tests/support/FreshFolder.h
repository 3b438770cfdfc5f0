#pragma once
// A new, empty folder under the system's temporary folder, for tests on every platform.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace imconf::testsupport {

// Creates `<temp>/<prefix><random number>`; throws when no fresh name could be made.
inline std::filesystem::path MakeFreshFolder(const std::string& prefix)
{
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path dir = base / (prefix + std::to_string(random()));
        if (std::filesystem::create_directory(dir))
            return dir;
    }
    throw std::runtime_error("no fresh temporary folder");
}

}  // namespace imconf::testsupport
