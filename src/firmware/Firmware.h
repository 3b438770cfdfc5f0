#pragma once
// The upgrade image: its file layout (FLASH part, CRC, optional EEPROM part), the in-memory
// images the upgrade sends from, the loader and the image builder's file steps.

#include "firmware/IntelHex.h"
#include "runtime/FileErrors.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imconf {

constexpr std::size_t kFlashSize = 14336;  // 28 pages of 512 bytes
constexpr std::size_t kFlashPageSize = 512;
constexpr std::size_t kFlashPages = kFlashSize / kFlashPageSize;
constexpr std::size_t kEepromSize = 2048;  // 128 blocks of 16 bytes
constexpr std::size_t kEepromBlockSize = 16;
constexpr std::size_t kEepromPreset = 512;  // blocks 0..31, preset at each load
constexpr std::size_t kImageHeaderSize = kFlashSize + 2;
constexpr std::size_t kMaxImageFileSize = kImageHeaderSize + kEepromSize;
constexpr std::size_t kCrcTripleAt = 506;  // bytes 506..511 of the EEPROM image
constexpr std::size_t kMaxBuilderEeprom = 512;

struct FirmwareImage {
    std::array<std::uint8_t, kFlashSize> FlashImage{};
    std::array<std::uint8_t, kEepromSize> EepromImage{};
    std::uint16_t ImageCrc = 0;
    std::uint16_t EepromBlockCount = 0;
};

// Before the file dialog: FLASH and EEPROM blocks 0..31 to 0xFF.
void PresetForLoad(FirmwareImage& image);

enum class LoadOutcome { Loaded, SizeError, FileError };
struct LoadResult {
    LoadOutcome Outcome = LoadOutcome::FileError;
    std::string Error;  // the file error's own text, for FileError
};

// Loads an upgrade image file into `image` (already preset). A file shorter than 14338 bytes,
// or with an EEPROM part longer than the EEPROM image, is a size error and loads nothing.
// After a load the EEPROM image's bytes 506..511 hold ImageCrc three times, low byte first.
LoadResult LoadUpgradeImage(const std::string& path, FirmwareImage& image);

// The CRC-16 of the FLASH image, as the builder writes it after the FLASH part.
std::uint16_t FlashCrc(const FirmwareImage& image);
// A loaded image whose ImageCrc is not the CRC of its FLASH part is damaged.
inline bool FlashCrcMatches(const FirmwareImage& image)
{
    return FlashCrc(image) == image.ImageCrc;
}

inline constexpr const char* kReadPastEnd = "Read beyond end of file";

// A whole file read for the builder: its bytes, or the error text.
struct FileBytes {
    std::vector<std::uint8_t> Bytes;
    std::optional<std::string> Error;
};
// Reads a regular file of at most `limit` bytes; `size` gets its full length either way
// (so a file over the limit can be refused without reading it).
FileBytes ReadFileBytes(const std::string& path, std::size_t limit, std::size_t& size);

// An input file of the builder, FLASH or EEPROM: plain bytes, or the Intel HEX text a compiler
// writes, told apart by content. A text file (printable characters and line ends) is taken as
// Intel HEX and must be good HEX throughout; any other file is the bytes it holds.
enum class InputStatus {
    Ready,      // Bytes hold 1 to `limit` bytes
    FileError,  // the file could not be opened or read: Error
    WrongSize,  // plain bytes: none, or more than `limit` (or the file is past any sensible size)
    NotHex,     // a text file that is no Intel HEX
    BadHex,     // Intel HEX with a fault: Hex
};
struct BuilderInput {
    InputStatus Status = InputStatus::FileError;
    std::vector<std::uint8_t> Bytes;  // what the file describes
    std::size_t FileSize = 0;         // the file's own size (0 when it could not be opened)
    bool IntelHex = false;            // the file is Intel HEX text
    std::string Error;                // FileError: the error's own text
    std::optional<HexError> Hex;      // BadHex: what is wrong, and where
};
// No input file is read past this size: Intel HEX of a full FLASH part takes about 40 KB.
constexpr std::size_t kMaxBuilderFileSize = 1024 * 1024;
// Reads a FLASH (limit 14336) or EEPROM (limit 512) input file of the builder.
BuilderInput ReadBuilderInput(const std::string& path, std::size_t limit);

// The builder's output name: the FLASH file's name without its last four characters,
// followed by "_Crypt.hex".
std::string BuilderOutputName(const std::string& flashPath);

// Writes the builder's output: 14336 FLASH bytes, the CRC low and high byte, the EEPROM bytes.
// Returns the error text on failure (the file stays as far as it was written).
std::optional<std::string> WriteUpgradeImage(const std::string& path, const FirmwareImage& image,
                                             const std::vector<std::uint8_t>& eeprom);

// Removes a file if there is one; errors are ignored.
void RemoveIfPresent(const std::string& path);

}  // namespace imconf
