#include "app/FirmwareUpgrade.h"

#include "app/Speeds.h"
#include "app/StatusPanel.h"
#include "firmware/BootFrames.h"
#include "modbus/Text.h"

#include <algorithm>
#include <vector>

namespace imconf {

namespace {

constexpr std::uint32_t kPageTimeoutMs = 1000;
constexpr std::uint32_t kBlockTimeoutMs = 500;
constexpr std::uint32_t kEndTimeoutMs = 1000;
constexpr int kMaxFailures = 5;
constexpr int kMaxShownFailures = 99;
constexpr const char* kDownloadLine = "   : download firmware...";
constexpr const char* kUpgradeLine = "   : firmware upgrade...";

}  // namespace

FirmwareUpgrade::FirmwareUpgrade(ProgramState& state, TransactionEngine& engine, ISerialLine& port,
                                 FirmwareUpgradeView& view, OperationObserver& observer)
    : s_(state),
      engine_(engine),
      port_(port),
      view_(view),
      observer_(observer)
{
}

void FirmwareUpgrade::Report(OutcomeKind result)
{
    observer_.OperationEnded({OperationKind::Upgrade, result, s_.DeviceAddress, {}});
}

void FirmwareUpgrade::FileRefused(const std::string& file, const std::string& why)
{
    observer_.OperationStarted(OperationKind::Upgrade, file);
    observer_.OperationEnded(
        {OperationKind::Upgrade, OutcomeKind::BadFile, s_.DeviceAddress, file + ": " + why});
}

void FirmwareUpgrade::PortRefused(const std::string& port, const std::string& why)
{
    observer_.OperationStarted(OperationKind::Upgrade, port);
    observer_.OperationEnded(
        {OperationKind::Upgrade, OutcomeKind::PortError, s_.DeviceAddress, port + ": " + why});
}

void FirmwareUpgrade::Start(const std::string& image)
{
    port_.SetBaudRate(TBaudRate::br19200);
    Step = 0;
    Errors = 0;
    s_.OperationState = opstate::Upgrade;
    s_.ReplyKind = replykind::UpgradeFrame;
    view_.ShowOperationPanes(0, Image.EepromBlockCount + 29, 1, kDownloadLine);
    observer_.OperationStarted(OperationKind::Upgrade, image);
    SendFlashPage();
}

bool FirmwareUpgrade::Transmit(std::size_t length, std::uint32_t timeoutMs)
{
    s_.RxLength = 0;
    if (engine_.Transmit(static_cast<std::uint16_t>(length), kBootAckLength, timeoutMs))
        return true;
    // A port that cannot be opened stops the upgrade, for a page as for a block.
    StopOnPortError();
    return false;
}

void FirmwareUpgrade::SendFlashPage()
{
    Transmit(BuildFlashPageFrame(s_.FrameBuffer, Image, Step), kPageTimeoutMs);
}

void FirmwareUpgrade::SendEepromBlock(std::uint8_t block)
{
    Transmit(BuildEepromBlockFrame(s_.FrameBuffer, Image, block), kBlockTimeoutMs);
}

void FirmwareUpgrade::SendUpgradeEnd()
{
    Transmit(BuildUpgradeEndFrame(s_.FrameBuffer), kEndTimeoutMs);
}

bool FirmwareUpgrade::SendStep(std::uint8_t step)
{
    std::uint8_t number = 0;
    switch (FrameOfStep(Image, step, number)) {
    case BootFrame::FlashPage: SendFlashPage(); break;
    case BootFrame::EepromBlock: SendEepromBlock(number); break;
    case BootFrame::End: SendUpgradeEnd(); break;
    }
    return s_.OperationState == opstate::Upgrade;
}

void FirmwareUpgrade::StopOnPortError()
{
    view_.ShowEnding({kUpgradeLine, "   : ОСТАНОВЛЕНО - ОШИБКА ОТКРЫТИЯ ПОРТА " + port_.Port()});
    s_.OperationState = opstate::Idle;
    s_.ReplyKind = replykind::None;
    // Back to the speed the user chose in the menu, which the menu still shows.
    port_.SetBaudRate(BaudRateOfIndex(view_.CheckedBaudIndex()));
    Report(OutcomeKind::PortError);
}

bool FirmwareUpgrade::HandleReply()
{
    if (s_.ReplyKind != replykind::UpgradeFrame || !IsBootAck(s_.FrameBuffer.data(), s_.RxLength))
        return false;
    Step = static_cast<std::uint8_t>(Step + 1);
    Errors = 0;
    if (Step < UpgradeFrameCount(Image)) {
        view_.SetProgressPosition(Step);
        if (SendStep(Step)) {
            s_.ReplyKind = replykind::UpgradeFrame;
            s_.RxLength = 0;
        }
        return true;
    }
    RestoreAfterUpgrade();
    view_.ShowEnding({kUpgradeLine, "   : OK."});
    s_.RxLength = 0;
    s_.OperationState = opstate::Idle;
    s_.ReplyKind = replykind::None;
    port_.Close();
    Report(OutcomeKind::Done);
    return true;
}

void FirmwareUpgrade::StepFailed()
{
    ++Errors;
    view_.SetDevicePanel(
        "UPGRADE PROCESS : ОШИБКИ -> " +
        FormatZeroPadded(static_cast<std::uint16_t>(std::min(Errors, kMaxShownFailures)), 2));
    if (Errors <= kMaxFailures)
        return;
    RestoreAfterUpgrade();
    view_.ShowEnding({kUpgradeLine, "   : ОШИБКА: Нет ответа от пульта.",
                      "   : ? -> Перезапустить пульт в режиме загрузчика;",
                      "   :   -> Проверить настройки COM порта;"});
    s_.OperationState = opstate::Idle;
    port_.Close();
    // The last failure brought damaged bytes: the bootloader is there, the line is poor.
    Report(s_.RxLength != 0 ? OutcomeKind::BadLine : OutcomeKind::NoAnswer);
}

void FirmwareUpgrade::Retry()
{
    if (SendStep(Step))
        s_.ReplyKind = replykind::UpgradeFrame;
}

void FirmwareUpgrade::RestoreAfterUpgrade()
{
    port_.SetBaudRate(BaudRateOfIndex(view_.CheckedBaudIndex()));
    if (s_.BaudIndex >= kSpeedCount)
        s_.BaudIndex = kDefaultBaudIndex;
    view_.SetDevicePanel(DevicePanelText(s_.DeviceAddress, SpeedName(s_.BaudIndex),
                                         DeviceLetter::Cyrillic, AddressDigits::Padded,
                                         PanelEnd::Open));
}

}  // namespace imconf
