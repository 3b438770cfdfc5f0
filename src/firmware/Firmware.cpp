#include "firmware/Firmware.h"

#include "modbus/Crc16.h"
#include "runtime/UniqueFd.h"
#include "serial/PortFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imconf {

namespace {

// Opens a regular file for reading without blocking on FIFOs or devices; -1 with errno set.
int OpenRegularFile(const std::string& path, std::size_t& size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        ::close(fd);
        errno = error;
        return -1;
    }
    size = static_cast<std::size_t>(st.st_size);
    return fd;
}

// Reads exactly `count` bytes; the error text when the file ends or a read fails first.
std::optional<std::string> ReadExactly(int fd, std::uint8_t* into, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, into + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return FileErrorText(errno);
        }
        if (n == 0)
            return std::string(kReadPastEnd);
        done += static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

}  // namespace

std::string FileErrorText(int errnoValue)
{
    if (errnoValue == ENOSPC)
        return "Disk full";
    return PortFileErrorText(errnoValue);
}

void PresetForLoad(FirmwareImage& image)
{
    image.FlashImage.fill(0xFF);
    std::fill_n(image.EepromImage.begin(), kEepromPreset, std::uint8_t{0xFF});
}

LoadResult LoadUpgradeImage(const std::string& path, FirmwareImage& image)
{
    std::size_t size = 0;
    const UniqueFd fd(OpenRegularFile(path, size));
    if (fd.Get() < 0)
        return {LoadOutcome::FileError, FileErrorText(errno)};
    // An EEPROM part longer than the EEPROM image would not fit: refused like a short file.
    if (size < kImageHeaderSize || size > kMaxImageFileSize)
        return {LoadOutcome::SizeError, {}};

    if (auto error = ReadExactly(fd.Get(), image.FlashImage.data(), kFlashSize))
        return {LoadOutcome::FileError, *error};
    std::array<std::uint8_t, 2> crc{};
    if (auto error = ReadExactly(fd.Get(), crc.data(), crc.size()))
        return {LoadOutcome::FileError, *error};
    image.ImageCrc = static_cast<std::uint16_t>(crc[0] + 256 * crc[1]);

    const std::size_t n = size - kImageHeaderSize;
    image.EepromBlockCount = static_cast<std::uint16_t>((n + kEepromBlockSize - 1) / kEepromBlockSize);
    if (n > 0) {
        if (auto error = ReadExactly(fd.Get(), image.EepromImage.data(), n))
            return {LoadOutcome::FileError, *error};
        // A partial last block beyond the preset range is padded, never left with bytes of
        // an earlier file.
        const std::size_t blockEnd = static_cast<std::size_t>(image.EepromBlockCount) * kEepromBlockSize;
        std::fill(image.EepromImage.begin() + static_cast<std::ptrdiff_t>(n),
                  image.EepromImage.begin() + static_cast<std::ptrdiff_t>(std::max(n, blockEnd)), std::uint8_t{0xFF});
    }
    for (std::size_t i = 0; i < 3; ++i) {
        image.EepromImage[kCrcTripleAt + 2 * i] = static_cast<std::uint8_t>(image.ImageCrc & 0xFF);
        image.EepromImage[kCrcTripleAt + 2 * i + 1] = static_cast<std::uint8_t>(image.ImageCrc >> 8);
    }
    return {LoadOutcome::Loaded, {}};
}

FileBytes ReadFileBytes(const std::string& path, std::size_t limit, std::size_t& size)
{
    FileBytes result;
    size = 0;
    const UniqueFd fd(OpenRegularFile(path, size));
    if (fd.Get() < 0) {
        result.Error = FileErrorText(errno);
        return result;
    }
    if (size > limit)
        return result;
    result.Bytes.resize(size);
    if (auto error = ReadExactly(fd.Get(), result.Bytes.data(), size))
        result.Error = *error;
    return result;
}

std::string BuilderOutputName(const std::string& flashPath)
{
    // Four characters, not bytes: a Cyrillic letter takes two bytes. A character is at most
    // four bytes, so stray continuation bytes (a name that is not UTF-8) count one each
    // beyond the three a character may carry.
    std::size_t cut = flashPath.size();
    for (int chars = 0; chars < 4 && cut > 0; ++chars) {
        --cut;
        for (int follow = 0; follow < 3 && cut > 0 && (static_cast<unsigned char>(flashPath[cut]) & 0xC0) == 0x80;
             ++follow)
            --cut;
    }
    return flashPath.substr(0, cut) + "_Crypt.hex";
}

std::optional<std::string> WriteUpgradeImage(const std::string& path, const FirmwareImage& image,
                                             const std::vector<std::uint8_t>& eeprom)
{
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644));
    if (fd.Get() < 0)
        return FileErrorText(errno);
    std::vector<std::uint8_t> bytes(image.FlashImage.begin(), image.FlashImage.end());
    bytes.push_back(static_cast<std::uint8_t>(image.ImageCrc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(image.ImageCrc >> 8));
    bytes.insert(bytes.end(), eeprom.begin(), eeprom.end());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return FileErrorText(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd.Release()) != 0)
        return FileErrorText(errno);
    return std::nullopt;
}

void RemoveIfPresent(const std::string& path)
{
    ::unlink(path.c_str());
}

}  // namespace imconf
