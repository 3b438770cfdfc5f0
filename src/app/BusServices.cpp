// The bus search, the module's address and speed, and the block and sound-off commands.

#include "app/Form1.h"
#include "config/RegisterMap.h"
#include "modbus/Text.h"

namespace imconf {

namespace {

constexpr std::uint8_t kLastAddress = 247;
constexpr std::uint32_t kSearchPaceMs = 5;
// "ПУИ -МОДУЛЬ" when found, "ПУИ - МОДУЛЬ" when not: the texts differ in one blank.
constexpr const char* kFoundLine = "   : ОБНАРУЖЕН ПРИБОР <СР.-ПУИ -МОДУЛЬ ИНДИКАЦИИ V.2> ПО АДРЕСУ ";
constexpr const char* kNotFoundLine = "   : ПРИБОР <СР.-ПУИ - МОДУЛЬ ИНДИКАЦИИ V.2> НЕ ОБНАРУЖЕН...";
constexpr const char* kSpeedQuestion = "Сменить скорость обмена COM-порта ПК?";

}  // namespace

// --- Bus search ---------------------------------------------------------------------------

void TForm1::CustomItem5Click()
{
    if (State.OperationState == opstate::Search) {
        CustomItem5->SetCaption("Start");
        State.OperationState = opstate::Idle;
        TeProgressBar1.SetVisible(false);
        TeSpinEdit1.SetValue(State.DeviceAddress);
        TeMenuBar1.SetFocused(true);
        return;
    }
    State.DeviceAddress = 0;
    TeProgressBar1.SetVisible(true);
    TeProgressBar1.SetMin(1);
    TeProgressBar1.SetMax(kLastAddress);
    TeProgressBar1.SetPosition(State.DeviceAddress);  // below the minimum: an empty bar
    CustomItem5->SetCaption("Stop");
    State.OperationState = opstate::Search;
    // Commands are dropped during the search: one still waiting must not go out after it.
    Timer_Wait.SetEnabled(false);
    State.CommandDeferred = 0;
    Timer_Programm.SetInterval(kSearchPaceMs);
    Timer_Programm.SetEnabled(true);
}

void TForm1::DelayItemClick(std::uint16_t delayMs, TMenuItem& item)
{
    State.SearchDelay = delayMs;
    for (TMenuItem* other : {CustomItem7, CustomItem8, CustomItem9, CustomItem10, CustomItem11, CustomItem12})
        other->SetChecked(other == &item);
}

void TForm1::SearchStep()
{
    // After address 247 the search is over whatever the last reply was. No transaction ends
    // here to close the port that the search kept open, so it is closed now.
    if (State.DeviceAddress >= kLastAddress) {
        SearchNotFound();
        Engine.CloseReportingErrors();
        return;
    }
    State.DeviceAddress = static_cast<std::uint8_t>(State.DeviceAddress + 1);
    TeProgressBar1.SetPosition(State.DeviceAddress);
    Engine.SendReadRegisters(regmap::Identification, 1);
    Awaiting(replykind::SearchProbe);
}

std::uint8_t TForm1::CheckSearchReply()
{
    // A reply names its sender in byte 0. A late reply can arrive while a later address is
    // probed, so the found address is the sender's, never the probed one; a reply from
    // another address is not the probed device's answer.
    const std::uint8_t sender = State.FrameBuffer[0];
    const bool validSender = sender >= 1 && sender <= kLastAddress;
    const bool identified =
        validSender && State.RxLength >= 5 && ReadBe16(State.FrameBuffer.data(), 3) == regmap::ModuleId;
    if (identified) {
        State.DeviceAddress = sender;
        SearchFound();
    } else if (State.DeviceAddress >= kLastAddress && sender == State.DeviceAddress &&
               State.OperationState == opstate::Search) {
        SearchNotFound();
    }
    return State.ReplyKind;
}

void TForm1::SearchStepFailed()
{
    if (State.DeviceAddress < kLastAddress)
        return;
    SearchNotFound();
}

void TForm1::SearchFound()
{
    State.OperationState = opstate::Idle;
    TeProgressBar1.SetVisible(false);
    CustomItem5->SetCaption("Start");
    TeMemo1.Lines.Add(kFoundLine + FormatZeroPadded(State.DeviceAddress, 3));
    TeSpinEdit1.SetValue(State.DeviceAddress);
    TeMenuBar1.SetFocused(true);
}

void TForm1::SearchNotFound()
{
    State.OperationState = opstate::Idle;
    TeMemo1.Lines.Add(kNotFoundLine);
    TeProgressBar1.SetVisible(false);
    CustomItem5->SetCaption("Start");
    TeSpinEdit1.SetValue(State.DeviceAddress);
    TeMenuBar1.SetFocused(true);
}

// --- Interface parameters and alarm commands ------------------------------------------------

std::string TForm1::SpeedOfIndex() const
{
    const char* speed = SpeedText(State.BaudIndex);
    return speed != nullptr ? speed : "9600";
}

void TForm1::TeSpinEdit1Change()
{
    State.DeviceAddress = static_cast<std::uint8_t>(TeSpinEdit1.Value());
    const std::string address = FormatZeroPadded(State.DeviceAddress, 3);
    StatusBar1.SetPanelText(2, "DEVICE : A = " + address + ";");
    StatusBar1.SetPanelText(2, StatusBar1.PanelText(2) + " Baud = " + SpeedOfIndex() + ";");
    TeLabel5.SetCaption("АДРЕС ПРИБОРА - " + address);
}

bool TForm1::CommandMaySend(void (TForm1::*handler)())
{
    if (State.OperationState == opstate::Search)
        return false;
    return !Engine.DeferCommandIfBusy([this, handler] { (this->*handler)(); });
}

void TForm1::TeButton1Click()
{
    if (!CommandMaySend(&TForm1::TeButton1Click))
        return;
    State.DeviceAddress = static_cast<std::uint8_t>(TeSpinEdit1.Value());
    Engine.SendWriteRegister(regmap::ModuleAddress, static_cast<std::uint16_t>(TeSpinEdit2.Value()));
    Awaiting(replykind::Address);
}

void TForm1::TeSComboBox1Change()
{
    if (!CommandMaySend(&TForm1::TeSComboBox1Change))
        return;
    Engine.SendWriteRegister(regmap::ModuleSpeed, static_cast<std::uint16_t>(TeSComboBox1.ItemIndex() + 1));
    Awaiting(replykind::Speed);
}

void TForm1::TeButton3Click()
{
    if (!CommandMaySend(&TForm1::TeButton3Click))
        return;
    Engine.SendWriteRegister(regmap::Block, TeCheckBox1.Checked() ? regmap::BlockOff : regmap::BlockOn);
    Awaiting(replykind::Block);
}

void TForm1::Sound_ButtClick()
{
    if (!CommandMaySend(&TForm1::Sound_ButtClick))
        return;
    Engine.SendWriteRegister(regmap::SoundOff, regmap::SoundOffValue);
}

void TForm1::AddressChanged()
{
    State.DeviceAddress = State.FrameBuffer[5];
    TeSpinEdit1.SetValue(State.DeviceAddress);
    const std::string address = FormatZeroPadded(State.DeviceAddress, 3);
    TeLabel5.SetCaption("АДРЕС ПРИБОРА - " + address);
    StatusBar1.SetPanelText(2, "DEVICE : A = " + address + ";");
    StatusBar1.SetPanelText(2, StatusBar1.PanelText(2) + " Baud = " + SpeedOfIndex());
}

void TForm1::SpeedChanged()
{
    State.BaudIndex = static_cast<std::uint8_t>(State.FrameBuffer[5] - 1);
    // The letter after the colon is the Cyrillic А here.
    StatusBar1.SetPanelText(2, "DEVICE : А = " + std::to_string(State.DeviceAddress) + ";");
    if (State.BaudIndex > 7)
        State.BaudIndex = 3;
    const std::string speed = SpeedOfIndex();
    StatusBar1.SetPanelText(2, StatusBar1.PanelText(2) + " Baud = " + speed);
    const bool yes = dialogs_.AskYesNoWarning(kSpeedQuestion);
    if (yes) {
        UncheckBaudItems();
        BaudItems[State.BaudIndex]->SetChecked(true);
        StatusBar1.SetPanelText(1, "BaudRate = " + speed);
        ComPort1.SetBaudRate(BaudRateOfIndex(State.BaudIndex));
    }
    ReactivateAfterQuestion();
}

void TForm1::ReactivateAfterQuestion()
{
    FormActivate();
    // The activation steps cut the grids back to their set-up state although the tables are
    // unchanged; show the tables again so that no configuration looks lost.
    ShowNodeList();
    for (std::size_t i = 0; i < Config.LinkTable.size(); ++i)
        ShowLinkEntry(i);
}

}  // namespace imconf
