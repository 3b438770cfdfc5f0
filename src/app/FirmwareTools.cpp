// "Firmware Upgrade...": choosing and loading the upgrade image, which the upgrade then sends
// (a damaged image only when the user says so); and the hidden image builder, which takes plain
// bytes or the compiler's Intel HEX text.

#include "app/Form1.h"
#include "modbus/Text.h"
#include "runtime/FileAccess.h"

#include <algorithm>
#include <filesystem>

namespace imconf {

namespace {

constexpr const char* kDownloadLine = "   : download firmware...";
constexpr const char* kHexFilter = "hex файлы|*.hex";
constexpr const char* kDamagedLine = "   : ОШИБКА: НЕВЕРНАЯ КОНТРОЛЬНАЯ СУММА ФАЙЛА.";

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Hex4(std::uint16_t value)
{
    return ByteToHex(static_cast<std::uint8_t>(value >> 8)) +
           ByteToHex(static_cast<std::uint8_t>(value & 0xFF));
}

std::string DamagedQuestion(const std::string& path, const FirmwareImage& image)
{
    return "Файл прошивки " + FileNameOf(path) + " поврежден: контрольная сумма в файле " +
           Hex4(image.ImageCrc) + ", а по данным FLASH " + Hex4(FlashCrc(image)) +
           ".\nВсё равно загрузить его в пульт?";
}

// Why a builder input in text is refused, in the window's words.
std::string HexRefusal(const BuilderInput& input)
{
    if (!input.Hex)
        return "ТЕКСТОВЫЙ ФАЙЛ, НО НЕ INTEL HEX";
    const HexError& e = *input.Hex;
    const std::string line = "СТРОКА " + std::to_string(e.Line) + ": ";
    switch (e.Fault) {
    case HexFault::BadLine: return line + "НЕ ЗАПИСЬ INTEL HEX";
    case HexFault::BadChecksum: return line + "НЕВЕРНАЯ КОНТРОЛЬНАЯ СУММА";
    case HexFault::UnknownRecord: return line + "НЕИЗВЕСТНЫЙ ТИП ЗАПИСИ " + ByteToHex(e.Value);
    case HexFault::BadLength: return line + "НЕВЕРНАЯ ДЛИНА ЗАПИСИ";
    case HexFault::OutOfRange:
        return line + "АДРЕС " + std::to_string(e.Address) + " ЗА ПРЕДЕЛАМИ ПАМЯТИ";
    case HexFault::GivenTwice: return line + "АДРЕС " + std::to_string(e.Address) + " ЗАДАН ДВАЖДЫ";
    case HexFault::AfterEnd: return line + "ЗАПИСЬ ПОСЛЕ КОНЦА ФАЙЛА";
    case HexFault::NoEnd: return "НЕТ ЗАПИСИ КОНЦА ФАЙЛА";
    case HexFault::NoData: return "НЕТ ДАННЫХ";
    }
    return "НЕ INTEL HEX";
}
// The bootloader talks at 19200 baud; a network port's speed is the device server's setting.
constexpr const char* kNoUpgradeOnNetwork =
    "   : ОШИБКА: ОБНОВЛЕНИЕ ПРОШИВКИ ЧЕРЕЗ СЕТЕВОЙ ПОРТ НЕВОЗМОЖНО - ЗАГРУЗЧИКУ НУЖНА "
    "СКОРОСТЬ 19200, А СКОРОСТЬ СЕТЕВОГО ПОРТА ЗАДАЁТСЯ В САМОМ СЕРВЕРЕ ПОРТОВ.";

}  // namespace

// --- Loading --------------------------------------------------------------------------------

void TForm1::ShowFileError(const std::string& error)
{
    TeMemo1.Lines.Clear();
    TeMemo1.Lines.Add("   : ERROR - " + error + ".");
    TeMemo2.SetVisible(false);
}

void TForm1::CustomItem24Click()
{
    if (State.OperationState != opstate::Idle)
        return;
    if (!ComPort1.SpeedSwitchable()) {
        TeMemo1.Lines.Clear();
        TeMemo1.Lines.Add(kNoUpgradeOnNetwork);
        Upgrade.PortRefused(ComPort1.Port(), "a network port cannot switch to 19200 baud");
        return;
    }
    PresetForLoad(Firmware);
    const auto file = dialogs_.OpenFile(
        {"    OPEN", " -> ВЫБЕРИТЕ ФАЙЛ С ПРОШИВКОЙ...", kHexFilter, executableDir_});
    if (!file)
        return;
    const LoadResult result = LoadUpgradeImage(*file, Firmware);
    // Nothing is sent from a file that cannot be used; whoever follows the window learns why.
    const auto refused = [&](const char* line) {
        TeMemo1.Lines.Clear();
        TeMemo1.Lines.Add(kDownloadLine);
        TeMemo1.Lines.Add(line);
    };
    switch (result.Outcome) {
    case LoadOutcome::SizeError:
        refused("   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА.");
        Upgrade.FileRefused(*file, "no upgrade image (" + std::to_string(kImageHeaderSize) +
                                       " to " + std::to_string(kMaxImageFileSize) + " bytes)");
        return;
    case LoadOutcome::FileError:
        ShowFileError(result.Error);
        Upgrade.FileRefused(*file, result.Error);
        return;
    case LoadOutcome::Loaded: break;
    }
    // A FLASH part that does not give the CRC the file carries was damaged on its way here;
    // the bootloader would take it all the same. Sent only when the user says so.
    if (!FlashCrcMatches(Firmware) && !dialogs_.AskYesNoWarning(DamagedQuestion(*file, Firmware))) {
        refused(kDamagedLine);
        Upgrade.FileRefused(*file, "damaged: its CRC is not that of its FLASH part");
        return;
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(files::PathFromUtf8(*file), error);
    StartUpgrade(*file + ", " + (error ? "?" : std::to_string(size)) + " bytes");
}

// --- Image builder --------------------------------------------------------------------------

void TForm1::CustomItem27Click()
{
    if (State.OperationState != opstate::Idle)
        return;
    const auto flashFile = dialogs_.OpenFile(
        {"    OPEN HEX FILE OF FLASH", " -> ВЫБЕРИТЕ ФАЙЛ FLASH", kHexFilter, executableDir_});
    if (!flashFile)
        return;
    Firmware.FlashImage.fill(0xFF);
    const std::string output = BuilderOutputName(*flashFile);
    // Whether an input can be used. Plain bytes of the wrong size are refused without a
    // message; Intel HEX that cannot be read is refused with the file, its size and the
    // fault. Either removes an older output, which would not be the image of these inputs.
    const auto usable = [&](const BuilderInput& input, const std::string& path, bool isFlash) {
        switch (input.Status) {
        case InputStatus::Ready: return true;
        case InputStatus::FileError: ShowFileError(input.Error); return false;
        case InputStatus::WrongSize:
            if (isFlash && input.FileSize == 0)
                ShowFileError(kReadPastEnd);  // an empty FLASH file is read past its end
            else
                RemoveIfPresent(output);
            return false;
        case InputStatus::NotHex:
        case InputStatus::BadHex:
            RemoveIfPresent(output);
            TeMemo1.Lines.Clear();
            TeMemo1.Lines.Add("   : ОШИБКА: ФАЙЛ " + FileNameOf(path) + " (" +
                              std::to_string(input.FileSize) + " БАЙТ): " + HexRefusal(input) +
                              ".");
            return false;
        }
        return false;
    };

    const BuilderInput flash = ReadBuilderInput(*flashFile, kFlashSize);
    if (!usable(flash, *flashFile, true))
        return;
    std::copy(flash.Bytes.begin(), flash.Bytes.end(), Firmware.FlashImage.begin());
    Firmware.ImageCrc = FlashCrc(Firmware);

    const auto eepromFile = dialogs_.OpenFile(
        {"    OPEN HEX FILE OF EEPROM", " -> ВЫБЕРИТЕ ФАЙЛ EEPROM", kHexFilter, executableDir_});
    if (!eepromFile) {
        RemoveIfPresent(output);
        return;
    }
    const BuilderInput eeprom = ReadBuilderInput(*eepromFile, kMaxBuilderEeprom);
    if (!usable(eeprom, *eepromFile, false))
        return;
    if (auto error = WriteUpgradeImage(output, Firmware, eeprom.Bytes))
        ShowFileError(*error);
}

}  // namespace imconf
