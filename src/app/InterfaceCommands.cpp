#include "app/InterfaceCommands.h"

#include "app/Speeds.h"
#include "app/StatusPanel.h"
#include "config/RegisterMap.h"

namespace imconf {

namespace {

constexpr const char* kSpeedQuestion = "Сменить скорость обмена COM-порта ПК?";

}  // namespace

InterfaceCommands::InterfaceCommands(ProgramState& state, TransactionEngine& engine,
                                     InterfaceCommandsView& view)
    : s_(state),
      engine_(engine),
      view_(view)
{
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
    engine_.SendWriteRegister(regmap::ModuleAddress,
                              static_cast<std::uint16_t>(view_.NewAddressValue()));
    engine_.Awaiting(replykind::Address);
}

void InterfaceCommands::SendSpeed()
{
    if (!MaySend(&InterfaceCommands::SendSpeed))
        return;
    engine_.SendWriteRegister(regmap::ModuleSpeed,
                              SpeedCode(static_cast<std::uint8_t>(view_.ChosenSpeedIndex())));
    engine_.Awaiting(replykind::Speed);
}

void InterfaceCommands::SendBlock()
{
    if (!MaySend(&InterfaceCommands::SendBlock))
        return;
    engine_.SendWriteRegister(regmap::Block,
                              view_.BlockMarked() ? regmap::BlockOff : regmap::BlockOn);
    engine_.Awaiting(replykind::Block);
}

void InterfaceCommands::SendSoundOff()
{
    if (!MaySend(&InterfaceCommands::SendSoundOff))
        return;
    // The sound-off echo awaits nothing of its own.
    engine_.SendWriteRegister(regmap::SoundOff, regmap::SoundOffValue);
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
