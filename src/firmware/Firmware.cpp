#include "firmware/Firmware.h"

#include "modbus/Crc16.h"
#include "runtime/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace imconf {

namespace {

// Opens a regular file for reading without blocking on FIFOs or devices, with its size; the
// error number on failure.
int OpenRegularFile(const std::string& path, files::FileHandle& file, std::size_t& size)
{
    if (const int error = files::OpenForReading(path, file))
        return error;
    std::uint64_t bytes = 0;
    if (const int error = files::Size(file, bytes)) {
        files::Close(file);
        file = files::kNoFile;
        return error;
    }
    size = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, SIZE_MAX));
    return 0;
}

// Reads exactly `count` bytes; the error text when the file ends or a read fails first.
std::optional<std::string> ReadExactly(files::FileHandle file, std::uint8_t* into,
                                       std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        std::size_t n = 0;
        if (const int error = files::Read(file, into + done, count - done, n))
            return FileErrorText(error);
        if (n == 0)
            return std::string(kReadPastEnd);
        done += n;
    }
    return std::nullopt;
}

}  // namespace

void PresetForLoad(FirmwareImage& image)
{
    image.FlashImage.fill(0xFF);
    std::fill_n(image.EepromImage.begin(), kEepromPreset, std::uint8_t{0xFF});
}

LoadResult LoadUpgradeImage(const std::string& path, FirmwareImage& image)
{
    files::FileHandle file = files::kNoFile;
    std::size_t size = 0;
    if (const int error = OpenRegularFile(path, file, size))
        return {LoadOutcome::FileError, FileErrorText(error)};
    const UniqueFd fd(file);
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
    image.EepromBlockCount =
        static_cast<std::uint16_t>((n + kEepromBlockSize - 1) / kEepromBlockSize);
    if (n > 0) {
        if (auto error = ReadExactly(fd.Get(), image.EepromImage.data(), n))
            return {LoadOutcome::FileError, *error};
        // A partial last block beyond the preset range is padded, never left with bytes of
        // an earlier file.
        const std::size_t blockEnd =
            static_cast<std::size_t>(image.EepromBlockCount) * kEepromBlockSize;
        std::fill(image.EepromImage.begin() + static_cast<std::ptrdiff_t>(n),
                  image.EepromImage.begin() + static_cast<std::ptrdiff_t>(std::max(n, blockEnd)),
                  std::uint8_t{0xFF});
    }
    for (std::size_t i = 0; i < 3; ++i) {
        image.EepromImage[kCrcTripleAt + 2 * i] = static_cast<std::uint8_t>(image.ImageCrc & 0xFF);
        image.EepromImage[kCrcTripleAt + 2 * i + 1] =
            static_cast<std::uint8_t>(image.ImageCrc >> 8);
    }
    return {LoadOutcome::Loaded, {}};
}

FileBytes ReadFileBytes(const std::string& path, std::size_t limit, std::size_t& size)
{
    FileBytes result;
    size = 0;
    files::FileHandle file = files::kNoFile;
    if (const int error = OpenRegularFile(path, file, size)) {
        result.Error = FileErrorText(error);
        return result;
    }
    const UniqueFd fd(file);
    if (size > limit)
        return result;
    result.Bytes.resize(size);
    if (auto error = ReadExactly(fd.Get(), result.Bytes.data(), size))
        result.Error = *error;
    return result;
}

std::uint16_t FlashCrc(const FirmwareImage& image)
{
    return Crc16(image.FlashImage.data(), static_cast<std::uint16_t>(kFlashSize));
}

BuilderInput ReadBuilderInput(const std::string& path, std::size_t limit)
{
    BuilderInput input;
    std::size_t size = 0;
    FileBytes file = ReadFileBytes(path, kMaxBuilderFileSize, size);
    input.FileSize = size;
    if (file.Error) {
        input.Error = *file.Error;
        return input;
    }
    if (size > kMaxBuilderFileSize) {
        input.Status = InputStatus::WrongSize;
        return input;
    }
    if (IsTextFile(file.Bytes)) {
        input.IntelHex = LooksLikeIntelHex(file.Bytes);
        if (!input.IntelHex) {
            input.Status = InputStatus::NotHex;
            return input;
        }
        HexImage hex = ReadIntelHex(file.Bytes, limit);
        if (hex.Error) {
            input.Status = InputStatus::BadHex;
            input.Hex = hex.Error;
            return input;
        }
        input.Status = InputStatus::Ready;
        input.Bytes = std::move(hex.Bytes);
        return input;
    }
    if (size == 0 || size > limit) {
        input.Status = InputStatus::WrongSize;
        return input;
    }
    input.Status = InputStatus::Ready;
    input.Bytes = std::move(file.Bytes);
    return input;
}

std::string BuilderOutputName(const std::string& flashPath)
{
    // Four characters, not bytes: a Cyrillic letter takes two bytes. A character is at most
    // four bytes, so stray continuation bytes (a name that is not UTF-8) count one each
    // beyond the three a character may carry.
    std::size_t cut = flashPath.size();
    for (int chars = 0; chars < 4 && cut > 0; ++chars) {
        --cut;
        for (int follow = 0;
             follow < 3 && cut > 0 && (static_cast<unsigned char>(flashPath[cut]) & 0xC0) == 0x80;
             ++follow)
            --cut;
    }
    return flashPath.substr(0, cut) + "_Crypt.hex";
}

std::optional<std::string> WriteUpgradeImage(const std::string& path, const FirmwareImage& image,
                                             const std::vector<std::uint8_t>& eeprom)
{
    files::FileHandle file = files::kNoFile;
    if (const int error = files::CreateForWriting(path, file))
        return FileErrorText(error);
    UniqueFd fd(file);
    std::vector<std::uint8_t> bytes(image.FlashImage.begin(), image.FlashImage.end());
    bytes.push_back(static_cast<std::uint8_t>(image.ImageCrc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(image.ImageCrc >> 8));
    bytes.insert(bytes.end(), eeprom.begin(), eeprom.end());
    if (const int error = files::WriteAll(fd.Get(), bytes.data(), bytes.size()))
        return FileErrorText(error);
    if (const int error = files::Close(fd.Release()))
        return FileErrorText(error);
    return std::nullopt;
}

void RemoveIfPresent(const std::string& path)
{
    files::Remove(path);
}

}  // namespace imconf
