// "Firmware Upgrade...": loading the upgrade image and sending it to the module's
// bootloader, page by page and block by block; and the hidden image builder.

#include "app/Form1.h"
#include "modbus/Crc16.h"
#include "modbus/Text.h"

#include <algorithm>

namespace imconf {

namespace {

constexpr std::uint32_t kPageTimeoutMs = 1000;
constexpr std::uint32_t kBlockTimeoutMs = 500;
constexpr std::uint32_t kEndTimeoutMs = 1000;
constexpr std::uint8_t kAckLength = 2;
constexpr std::uint8_t kAck0 = 0x07;
constexpr std::uint8_t kAck1 = 0xA5;
constexpr std::uint8_t kCrcBlock = 31;
constexpr int kMaxFailures = 5;
constexpr const char* kDownloadLine = "   : download firmware...";
constexpr const char* kUpgradeLine = "   : firmware upgrade...";
constexpr const char* kHexFilter = "hex файлы|*.hex";

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
    PresetForLoad(Firmware);
    const auto file = dialogs_.OpenFile({"    OPEN", " -> ВЫБЕРИТЕ ФАЙЛ С ПРОШИВКОЙ...", kHexFilter, executableDir_});
    if (!file)
        return;
    const LoadResult result = LoadUpgradeImage(*file, Firmware);
    switch (result.Outcome) {
    case LoadOutcome::SizeError:
        TeMemo1.Lines.Clear();
        TeMemo1.Lines.Add(kDownloadLine);
        TeMemo1.Lines.Add("   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА.");
        return;
    case LoadOutcome::FileError:
        ShowFileError(result.Error);
        return;
    case LoadOutcome::Loaded:
        StartUpgrade();
        return;
    }
}

// --- Transfer -------------------------------------------------------------------------------

void TForm1::StartUpgrade()
{
    ComPort1.SetBaudRate(TBaudRate::br19200);
    UpgradeStep = 0;
    TeProgressBar1.SetMin(0);
    TeProgressBar1.SetMax(Firmware.EepromBlockCount + 29);
    TeProgressBar1.SetPosition(1);
    TeProgressBar1.SetVisible(true);
    UpgradeErrors = 0;
    State.OperationState = opstate::Upgrade;
    State.ReplyKind = replykind::UpgradeFrame;
    TeMemo1.SetVisible(false);
    TeMemo2.Lines.Clear();
    TeMemo2.Lines.Add(kDownloadLine);
    TeMemo2.SetVisible(true);
    SendFlashPage();
}

bool TForm1::SendUpgradeFrame(std::uint8_t step)
{
    const std::size_t blocks = Firmware.EepromBlockCount;
    if (step < kFlashPages) {
        SendFlashPage();
    } else if (step < kFlashPages + blocks) {
        SendEepromBlock(static_cast<std::uint8_t>(step - kFlashPages));
    } else if (step == kFlashPages + blocks) {
        SendEepromBlock(kCrcBlock);
    } else {
        SendUpgradeEnd();
    }
    return State.OperationState == opstate::Upgrade;
}

void TForm1::SendFlashPage()
{
    const std::size_t page = UpgradeStep;
    std::copy_n(Firmware.FlashImage.begin() + static_cast<std::ptrdiff_t>(kFlashPageSize * page), kFlashPageSize,
                State.FrameBuffer.begin());
    State.FrameBuffer[kFlashPageSize] = static_cast<std::uint8_t>(page);
    PlaceCrc(State.FrameBuffer.data(), kFlashPageSize + 1);
    State.RxLength = 0;
    if (!Engine.Transmit(kFlashPageSize + 3, kAckLength, kPageTimeoutMs))
        StopUpgradeOnPortError();
}

void TForm1::SendEepromBlock(std::uint8_t block)
{
    std::copy_n(Firmware.EepromImage.begin() + static_cast<std::ptrdiff_t>(kEepromBlockSize * block),
                kEepromBlockSize, State.FrameBuffer.begin());
    State.FrameBuffer[kEepromBlockSize] = block;
    PlaceCrc(State.FrameBuffer.data(), kEepromBlockSize + 1);
    State.RxLength = 0;
    // A port that cannot be opened stops the upgrade as it does for a page.
    if (!Engine.Transmit(kEepromBlockSize + 3, kAckLength, kBlockTimeoutMs))
        StopUpgradeOnPortError();
}

void TForm1::SendUpgradeEnd()
{
    std::fill_n(State.FrameBuffer.begin(), 6, std::uint8_t{0});
    PlaceCrc(State.FrameBuffer.data(), 6);
    State.RxLength = 0;
    if (!Engine.Transmit(8, kAckLength, kEndTimeoutMs))
        StopUpgradeOnPortError();
}

void TForm1::StopUpgradeOnPortError()
{
    TeProgressBar1.SetVisible(false);
    TeMemo1.Lines.Clear();
    TeMemo1.Lines.Add(kUpgradeLine);
    TeMemo1.Lines.Add("   : ОСТАНОВЛЕНО - ОШИБКА ОТКРЫТИЯ ПОРТА " + ComPort1.Port());
    TeMemo1.SetVisible(true);
    TeMemo2.SetVisible(false);
    State.OperationState = opstate::Idle;
    State.ReplyKind = replykind::None;
    // Back to the speed the user chose in the menu, which the menu still shows.
    ComPort1.SetBaudRate(BaudRateOfIndex(CheckedBaudIndex()));
}

bool TForm1::HandleUpgradeReply()
{
    if (State.ReplyKind != replykind::UpgradeFrame || State.RxLength != kAckLength ||
        State.FrameBuffer[0] != kAck0 || State.FrameBuffer[1] != kAck1)
        return false;
    UpgradeStep = static_cast<std::uint8_t>(UpgradeStep + 1);
    UpgradeErrors = 0;
    const std::uint8_t s = UpgradeStep;
    if (s < 30 + Firmware.EepromBlockCount) {
        TeProgressBar1.SetPosition(s);
        if (SendUpgradeFrame(s)) {
            State.ReplyKind = replykind::UpgradeFrame;
            State.RxLength = 0;
        }
        return true;
    }
    RestoreAfterUpgrade();
    TeProgressBar1.SetVisible(false);
    TeMemo1.Lines.Clear();
    TeMemo1.Lines.Add(kUpgradeLine);
    TeMemo1.Lines.Add("   : OK.");
    TeMemo1.SetVisible(true);
    TeMemo2.SetVisible(false);
    State.RxLength = 0;
    State.OperationState = opstate::Idle;
    State.ReplyKind = replykind::None;
    ComPort1.Close();
    return true;
}

void TForm1::UpgradeStepFailed()
{
    ++UpgradeErrors;
    StatusBar1.SetPanelText(2, "UPGRADE PROCESS : ОШИБКИ -> " +
                                   FormatZeroPadded(static_cast<std::uint16_t>(std::min(UpgradeErrors, 99)), 2));
    if (UpgradeErrors <= kMaxFailures)
        return;
    RestoreAfterUpgrade();
    TeProgressBar1.SetVisible(false);
    TeMemo1.Lines.Clear();
    TeMemo1.Lines.Add(kUpgradeLine);
    TeMemo1.Lines.Add("   : ОШИБКА: Нет ответа от пульта.");
    TeMemo1.Lines.Add("   : ? -> Перезапустить пульт в режиме загрузчика;");
    TeMemo1.Lines.Add("   :   -> Проверить настройки COM порта;");
    TeMemo1.SetVisible(true);
    TeMemo2.SetVisible(false);
    State.OperationState = opstate::Idle;
    ComPort1.Close();
}

void TForm1::UpgradeRetry()
{
    if (SendUpgradeFrame(UpgradeStep))
        State.ReplyKind = replykind::UpgradeFrame;
}

std::uint8_t TForm1::CheckedBaudIndex() const
{
    for (std::uint8_t i = 0; i < kSpeedCount; ++i)
        if (BaudItems[i]->Checked())
            return i;
    return 3;
}

void TForm1::RestoreAfterUpgrade()
{
    const std::string address = FormatZeroPadded(State.DeviceAddress, 3);
    // The letter after the colon is the Cyrillic А.
    StatusBar1.SetPanelText(2, "DEVICE : А = " + address + ";");
    ComPort1.SetBaudRate(BaudRateOfIndex(CheckedBaudIndex()));
    if (State.BaudIndex > 7)
        State.BaudIndex = 3;
    StatusBar1.SetPanelText(2, "DEVICE : А = " + address + "; Baud = " + SpeedOfIndex());
}

// --- Image builder --------------------------------------------------------------------------

void TForm1::CustomItem27Click()
{
    if (State.OperationState != opstate::Idle)
        return;
    const auto flashFile =
        dialogs_.OpenFile({"    OPEN HEX FILE OF FLASH", " -> ВЫБЕРИТЕ ФАЙЛ FLASH", kHexFilter, executableDir_});
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

    const auto eepromFile =
        dialogs_.OpenFile({"    OPEN HEX FILE OF EEPROM", " -> ВЫБЕРИТЕ ФАЙЛ EEPROM", kHexFilter, executableDir_});
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
