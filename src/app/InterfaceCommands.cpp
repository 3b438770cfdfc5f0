#include "app/InterfaceCommands.h"

#include "app/Speeds.h"
#include "app/StatusPanel.h"
#include "config/RegisterMap.h"
#include "modbus/Frames.h"

namespace imconf {

namespace {

constexpr const char* kSpeedQuestion = "Сменить скорость обмена COM-порта ПК?";

}  // namespace

InterfaceCommands::InterfaceCommands(ProgramState& state, TransactionEngine& engine,
                                     InterfaceCommandsView& view, OperationObserver& observer)
    : s_(state),
      engine_(engine),
      view_(view),
      observer_(observer)
{
}

void InterfaceCommands::Sent(OperationKind operation, std::uint8_t address, std::uint16_t value)
{
    OperationOutcome outcome{operation, OutcomeKind::Done, address, {}};
    outcome.value = value;
    observer_.OperationStarted(operation, {});
    pending_ = outcome;
    if (!engine_.TransactionInFlight())
        Ended(OutcomeKind::PortError);
}

void InterfaceCommands::Ended(OutcomeKind result)
{
    if (!pending_)
        return;
    OperationOutcome outcome = *pending_;
    pending_.reset();
    outcome.result = result;
    observer_.OperationEnded(outcome);
}

void InterfaceCommands::ReplyDispatched(std::uint8_t function, std::uint8_t replyKind)
{
    if (replyKind == replykind::BadCrc) {
        Ended(OutcomeKind::BadLine);
    } else if (pending_ && pending_->operation == OperationKind::Identify) {
        const bool read = function == fn::ReadHoldingRegisters && s_.RxLength >= 7;
        if (read)
            pending_->value = ReadBe16(s_.FrameBuffer.data(), 3);
        Ended(read ? OutcomeKind::Done : OutcomeKind::Refused);
    } else {
        Ended(function == fn::WriteSingleRegister ? OutcomeKind::Done : OutcomeKind::Refused);
    }
}

void InterfaceCommands::TransactionFailed()
{
    // A damaged reply is still dispatched (as ReplyKind BadCrc) while no operation runs.
    if (engine_.RequestNotSent())
        Ended(OutcomeKind::PortError);
    else if (s_.RxLength == 0 || s_.OperationState != opstate::Idle)
        Ended(s_.RxLength == 0 ? OutcomeKind::NoAnswer : OutcomeKind::BadLine);
}

bool InterfaceCommands::MaySend(void (InterfaceCommands::*command)())
{
    if (s_.OperationState == opstate::Search)
        return false;
    return !engine_.DeferCommandIfBusy([this, command] { (this->*command)(); });
}

void InterfaceCommands::SendAddress()
{
    if (!MaySend(&InterfaceCommands::SendAddress))
        return;
    s_.DeviceAddress = static_cast<std::uint8_t>(view_.AddressEditorValue());
    const auto address = static_cast<std::uint16_t>(view_.NewAddressValue());
    engine_.SendWriteRegister(regmap::ModuleAddress, address);
    engine_.Awaiting(replykind::Address);
    Sent(OperationKind::AddressChange, s_.DeviceAddress, address);
}

void InterfaceCommands::SendSpeed()
{
    if (!MaySend(&InterfaceCommands::SendSpeed))
        return;
    const auto speed = static_cast<std::uint8_t>(view_.ChosenSpeedIndex());
    engine_.SendWriteRegister(regmap::ModuleSpeed, SpeedCode(speed));
    engine_.Awaiting(replykind::Speed);
    Sent(OperationKind::SpeedChange, s_.DeviceAddress, speed);
}

void InterfaceCommands::SendBlock()
{
    if (!MaySend(&InterfaceCommands::SendBlock))
        return;
    const bool on = !view_.BlockMarked();
    engine_.SendWriteRegister(regmap::Block, on ? regmap::BlockOn : regmap::BlockOff);
    engine_.Awaiting(replykind::Block);
    Sent(OperationKind::Block, s_.DeviceAddress, on ? 1 : 0);
}

void InterfaceCommands::SendSoundOff()
{
    if (!MaySend(&InterfaceCommands::SendSoundOff))
        return;
    // The sound-off echo awaits nothing of its own.
    engine_.SendWriteRegister(regmap::SoundOff, regmap::SoundOffValue);
    Sent(OperationKind::SoundOff, s_.DeviceAddress, 0);
}

void InterfaceCommands::SendIdentify()
{
    if (!MaySend(&InterfaceCommands::SendIdentify))
        return;
    s_.DeviceAddress = static_cast<std::uint8_t>(view_.AddressEditorValue());
    engine_.SendReadRegisters(regmap::Identification, 1);
    Sent(OperationKind::Identify, s_.DeviceAddress, 0);
}

void InterfaceCommands::AddressChanged()
{
    s_.DeviceAddress = s_.FrameBuffer[5];
    view_.SetAddressEditor(s_.DeviceAddress);
    view_.SetAddressLabel(s_.DeviceAddress);
    view_.SetDevicePanel(DevicePanelText(s_.DeviceAddress, SpeedName(s_.BaudIndex),
                                         DeviceLetter::Latin, AddressDigits::Padded,
                                         PanelEnd::Open));
}

void InterfaceCommands::SpeedChanged()
{
    s_.BaudIndex = static_cast<std::uint8_t>(s_.FrameBuffer[5] - 1);
    if (s_.BaudIndex >= kSpeedCount)
        s_.BaudIndex = kDefaultBaudIndex;
    view_.SetDevicePanel(DevicePanelText(s_.DeviceAddress, SpeedName(s_.BaudIndex),
                                         DeviceLetter::Cyrillic, AddressDigits::Plain,
                                         PanelEnd::Open));
    if (view_.AskYesNoWarning(kSpeedQuestion))
        view_.SetPcSpeed(s_.BaudIndex);
    view_.Reactivate();
}

void InterfaceCommands::BlockChanged()
{
    view_.SetBlockMark(!view_.BlockMarked());
}

}  // namespace imconf
