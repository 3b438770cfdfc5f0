// "Firmware Upgrade...": choosing and loading the upgrade image, which the upgrade then sends;
// and the hidden image builder.

#include "app/Form1.h"
#include "modbus/Crc16.h"
#include "modbus/Text.h"

#include <algorithm>

namespace imconf {

namespace {

constexpr const char* kDownloadLine = "   : download firmware...";
constexpr const char* kHexFilter = "hex файлы|*.hex";
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
        return;
    }
    PresetForLoad(Firmware);
    const auto file = dialogs_.OpenFile(
        {"    OPEN", " -> ВЫБЕРИТЕ ФАЙЛ С ПРОШИВКОЙ...", kHexFilter, executableDir_});
    if (!file)
        return;
    const LoadResult result = LoadUpgradeImage(*file, Firmware);
    switch (result.Outcome) {
    case LoadOutcome::SizeError:
        TeMemo1.Lines.Clear();
        TeMemo1.Lines.Add(kDownloadLine);
        TeMemo1.Lines.Add("   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА.");
        return;
    case LoadOutcome::FileError: ShowFileError(result.Error); return;
    case LoadOutcome::Loaded: StartUpgrade(); return;
    }
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

    std::size_t size = 0;
    FileBytes flash = ReadFileBytes(*flashFile, kFlashSize, size);
    if (flash.Error) {
        ShowFileError(*flash.Error);
        return;
    }
    if (size > kFlashSize) {
        RemoveIfPresent(output);
        return;
    }
    if (size == 0) {  // reported as a read past the end of the file
        ShowFileError(kReadPastEnd);
        return;
    }
    std::copy(flash.Bytes.begin(), flash.Bytes.end(), Firmware.FlashImage.begin());
    Firmware.ImageCrc = Crc16(Firmware.FlashImage.data(), static_cast<std::uint16_t>(kFlashSize));

    const auto eepromFile = dialogs_.OpenFile(
        {"    OPEN HEX FILE OF EEPROM", " -> ВЫБЕРИТЕ ФАЙЛ EEPROM", kHexFilter, executableDir_});
    if (!eepromFile) {
        RemoveIfPresent(output);
        return;
    }
    std::size_t eepromSize = 0;
    FileBytes eeprom = ReadFileBytes(*eepromFile, kMaxBuilderEeprom, eepromSize);
    if (eeprom.Error) {
        ShowFileError(*eeprom.Error);
        return;
    }
    if (eepromSize == 0 || eepromSize > kMaxBuilderEeprom) {
        RemoveIfPresent(output);
        return;
    }
    if (auto error = WriteUpgradeImage(output, Firmware, eeprom.Bytes))
        ShowFileError(*error);
}

}  // namespace imconf
