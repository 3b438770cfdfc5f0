// The upgrade image loader on arbitrary file contents, directly and through "Firmware
// Upgrade..." of a headless window (which then sends the first page to the bootloader).
// The images must hold exactly the file's bytes where the layout puts them.

#include "FuzzCheck.h"
#include "FuzzTempFile.h"
#include "FuzzWindow.h"

#include "firmware/Firmware.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unistd.h>

using namespace imconf;

namespace {

void CheckLoaded(const FirmwareImage& image, const std::uint8_t* data, std::size_t size,
                 std::uint8_t earlier)
{
    FUZZ_CHECK(std::equal(image.FlashImage.begin(), image.FlashImage.end(), data));
    const auto crc = static_cast<std::uint16_t>(data[kFlashSize] | (data[kFlashSize + 1] << 8));
    FUZZ_CHECK(image.ImageCrc == crc);
    const std::size_t n = size - kImageHeaderSize;
    FUZZ_CHECK(image.EepromBlockCount == (n + kEepromBlockSize - 1) / kEepromBlockSize);
    const std::size_t blockEnd = image.EepromBlockCount * kEepromBlockSize;
    for (std::size_t i = 0; i < kEepromSize; ++i) {
        std::uint8_t want = 0;
        if (i >= kCrcTripleAt && i < kCrcTripleAt + 6)
            want = (i - kCrcTripleAt) % 2 == 0 ? static_cast<std::uint8_t>(crc & 0xFF)
                                               : static_cast<std::uint8_t>(crc >> 8);
        else if (i < n)
            want = data[kImageHeaderSize + i];
        else if (i < kEepromPreset || i < blockEnd)
            want = 0xFF;
        else
            want = earlier;
        FUZZ_CHECK(image.EepromImage[i] == want);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::ScratchFolder().Write("image.hex", data, size);
    const bool fits = size >= kImageHeaderSize && size <= kMaxImageFileSize;

    // The loader on its own, over an image that holds an earlier load's bytes.
    auto image = std::make_unique<FirmwareImage>();
    const std::uint8_t earlier = size > 0 ? static_cast<std::uint8_t>(data[0] ^ 0x5A) : 0x5A;
    image->EepromImage.fill(earlier);
    image->FlashImage.fill(earlier);
    PresetForLoad(*image);
    const LoadResult result = LoadUpgradeImage(path, *image);
    if (!fits) {
        FUZZ_CHECK(result.Outcome == LoadOutcome::SizeError);
        // Nothing loaded: the images are as the preset left them.
        FUZZ_CHECK(std::all_of(image->FlashImage.begin(), image->FlashImage.end(),
                               [](std::uint8_t b) { return b == 0xFF; }));
        FUZZ_CHECK(std::all_of(image->EepromImage.begin() + kEepromPreset, image->EepromImage.end(),
                               [earlier](std::uint8_t b) { return b == earlier; }));
    } else {
        FUZZ_CHECK(result.Outcome == LoadOutcome::Loaded);
        CheckLoaded(*image, data, size, earlier);
    }

    // The menu command: a loaded image starts the transfer with page 0.
    fuzz::FuzzWindow w;
    w.Dialogs.FileAnswers.push_back(path);
    w.Form->CustomItem24Click();
    if (fits) {
        FUZZ_CHECK(w.State.OperationState == opstate::Upgrade);
        FUZZ_CHECK(w.Line.Writes == 1);
        FUZZ_CHECK(w.Line.LastWrite.size() == kFlashPageSize + 3);
        FUZZ_CHECK(
            std::equal(w.Line.LastWrite.begin(), w.Line.LastWrite.begin() + kFlashPageSize, data));
        FUZZ_CHECK(w.Form->TeProgressBar1.Max() == w.Form->Firmware.EepromBlockCount + 29);
    } else {
        FUZZ_CHECK(w.State.OperationState == opstate::Idle);
        FUZZ_CHECK(w.Line.Writes == 0);
        FUZZ_CHECK(w.Form->TeMemo1.Lines.Count() == 2);
        FUZZ_CHECK(w.Form->TeMemo1.Lines.Last() == "   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА.");
    }
    ::unlink(path.c_str());
    return 0;
}
