// The image builder's inputs: a FLASH file and an EEPROM file of arbitrary contents and
// sizes, plain bytes or Intel HEX text, through "Crypt Image" of a headless window; and the
// output name on arbitrary names.
//
// Input: [flags][FLASH length, 2 bytes][FLASH bytes][EEPROM bytes (the rest)]; flags bit 0
// cancels the second dialog, bit 1 leaves an older output beside the FLASH file, bits 2..3
// choose the FLASH file's name.

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzTempFile.h"
#include "FuzzWindow.h"

#include "firmware/Firmware.h"
#include "modbus/Crc16.h"
#include "serial/PortFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace imconf;

namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void CheckOutputName(const std::string& name)
{
    const std::string output = BuilderOutputName(name);
    const std::string suffix = "_Crypt.hex";
    FUZZ_CHECK(output.size() >= suffix.size());
    FUZZ_CHECK(output.compare(output.size() - suffix.size(), suffix.size(), suffix) == 0);
    const std::string stem = output.substr(0, output.size() - suffix.size());
    FUZZ_CHECK(name.compare(0, stem.size(), stem) == 0);
    // At most four characters cut, and never inside one: a valid name keeps a valid stem.
    FUZZ_CHECK(name.size() - stem.size() <= 4 * 4);  // four characters of at most four bytes
    if (IsValidUtf8(name))
        FUZZ_CHECK(IsValidUtf8(stem));
    if (name.size() >= 4 && IsValidUtf8(name) && std::none_of(name.begin(), name.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0x80) != 0;
        }))
        FUZZ_CHECK(stem.size() == name.size() - 4);
}

// What the builder should make of an input: plain bytes as they are; text as the bytes its
// Intel HEX describes, or refused.
struct Expected {
    bool text = false;
    bool usable = false;
    std::vector<std::uint8_t> bytes;
};

Expected Expect(const std::string& path, const std::vector<std::uint8_t>& raw, std::size_t limit)
{
    if (!IsTextFile(raw))
        return {false, !raw.empty() && raw.size() <= limit, raw};
    const BuilderInput input = ReadBuilderInput(path, limit);
    FUZZ_CHECK(input.FileSize == raw.size());
    FUZZ_CHECK(input.Status == InputStatus::Ready || input.Status == InputStatus::NotHex ||
               input.Status == InputStatus::BadHex);
    const bool usable = input.Status == InputStatus::Ready;
    if (usable)
        FUZZ_CHECK(!input.Bytes.empty() && input.Bytes.size() <= limit);
    return {true, usable, input.Bytes};
}

// A refused text input: one line that names the file.
void CheckTextRefused(const TForm1& form)
{
    FUZZ_CHECK(form.TeMemo1.Lines.Count() == 1);
    FUZZ_CHECK(form.TeMemo1.Lines.Last().rfind("   : ОШИБКА: ФАЙЛ ", 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.Byte();
    const std::size_t flashLength = in.Word();
    const std::vector<std::uint8_t> flash = in.Bytes(flashLength);
    const std::vector<std::uint8_t> eeprom = in.Bytes(in.Left());

    // The output name of an arbitrary name (the whole input as a name).
    CheckOutputName(std::string(reinterpret_cast<const char*>(data), size));

    const auto& folder = fuzz::ScratchFolder();
    // A FLASH file name with a short suffix of its own ("a.hex", "a.b", "a"): the builder
    // drops its last four characters whatever they are.
    static const char* const kNames[] = {"flash.hex", "flash.bin", "fl.x", "flashy"};
    const std::string flashPath =
        folder.Write(kNames[(flags >> 2) % 4], flash.data(), flash.size());
    const std::string eepromPath = folder.Write("eeprom.hex", eeprom.data(), eeprom.size());
    const std::string output = BuilderOutputName(flashPath);
    FUZZ_CHECK(output.rfind(folder.File(""), 0) == 0);
    const bool older = (flags & 2) != 0;
    if (older) {
        const std::uint8_t mark = 0x42;
        folder.Write(output.substr(folder.File("").size()), &mark, 1);
    }
    const bool cancelSecond = (flags & 1) != 0;

    fuzz::FuzzWindow w;
    w.Dialogs.FileAnswers.push_back(flashPath);
    if (cancelSecond)
        w.Dialogs.FileAnswers.push_back(std::nullopt);
    else
        w.Dialogs.FileAnswers.push_back(eepromPath);
    w.Form->TeMemo1.Lines.Clear();
    w.Form->CustomItem27Click();

    const Expected flashIn = Expect(flashPath, flash, kFlashSize);
    if (!flashIn.text && flash.empty()) {
        // Reported as a read past the end of the file; an older output is left alone.
        FUZZ_CHECK(w.Form->TeMemo1.Lines.Count() == 1);
        FUZZ_CHECK(Exists(output) == older);
    } else if (!flashIn.usable) {
        if (flashIn.text)
            CheckTextRefused(*w.Form);
        else
            FUZZ_CHECK(w.Form->TeMemo1.Lines.Empty());
        FUZZ_CHECK(!Exists(output));
    } else if (cancelSecond) {
        FUZZ_CHECK(w.Form->TeMemo1.Lines.Empty());
        FUZZ_CHECK(!Exists(output));
    } else if (const Expected eepromIn = Expect(eepromPath, eeprom, kMaxBuilderEeprom);
               !eepromIn.usable) {
        if (eepromIn.text)
            CheckTextRefused(*w.Form);
        else
            FUZZ_CHECK(w.Form->TeMemo1.Lines.Empty());
        FUZZ_CHECK(!Exists(output));
    } else {
        FUZZ_CHECK(w.Form->TeMemo1.Lines.Empty());
        const auto bytes = ReadAll(output);
        FUZZ_CHECK(bytes.size() == kImageHeaderSize + eepromIn.bytes.size());
        std::vector<std::uint8_t> flashPart(kFlashSize, 0xFF);
        std::copy(flashIn.bytes.begin(), flashIn.bytes.end(), flashPart.begin());
        FUZZ_CHECK(std::equal(flashPart.begin(), flashPart.end(), bytes.begin()));
        const std::uint16_t crc = Crc16(flashPart.data(), static_cast<std::uint16_t>(kFlashSize));
        FUZZ_CHECK(bytes[kFlashSize] == (crc & 0xFF));
        FUZZ_CHECK(bytes[kFlashSize + 1] == (crc >> 8));
        FUZZ_CHECK(std::equal(eepromIn.bytes.begin(), eepromIn.bytes.end(),
                              bytes.begin() + kImageHeaderSize));

        // What the builder writes, the loader takes, and finds sound.
        auto image = std::make_unique<FirmwareImage>();
        PresetForLoad(*image);
        FUZZ_CHECK(LoadUpgradeImage(output, *image).Outcome == LoadOutcome::Loaded);
        FUZZ_CHECK(image->ImageCrc == crc);
        FUZZ_CHECK(FlashCrcMatches(*image));
    }
    ::unlink(output.c_str());
    ::unlink(flashPath.c_str());
    ::unlink(eepromPath.c_str());
    return 0;
}
