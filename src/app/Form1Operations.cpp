// The window's side of the operations: the engine's hooks routed by OperationState, the
// sequencer tick, the dispatch of every reply by function code and ReplyKind, and the views
// the operations see the window through.

#include "app/Form1.h"
#include "app/StatusPanel.h"
#include "modbus/Frames.h"
#include "modbus/Text.h"

namespace imconf {

namespace {

constexpr const char* kOkLine = "   : ОК.";
constexpr const char* kErrorLine = "   : ОШИБКА.";
constexpr std::uint8_t kExceptionRead = fn::ReadHoldingRegisters | fn::ExceptionFlag;
constexpr std::uint8_t kExceptionWriteOne = fn::WriteSingleRegister | fn::ExceptionFlag;
constexpr std::uint8_t kExceptionWriteMany = fn::WriteMultipleRegisters | fn::ExceptionFlag;

}  // namespace

// --- Routing ------------------------------------------------------------------------------

bool TForm1::TakeReply()
{
    return State.OperationState == opstate::Upgrade && HandleUpgradeReply();
}

bool TForm1::TransactionFailed()
{
    Commands.TransactionFailed();
    const std::uint8_t op = State.OperationState;
    if (opstate::IsRead(op))
        ReadConfigFailed();
    else if (opstate::IsWrite(op))
        WriteConfigFailed();
    else if (op == opstate::Upgrade)
        UpgradeStepFailed();
    else if (op == opstate::Search)
        SearchStepFailed();
    else if (op == opstate::Sweep)
        Sweep.StepFailed();
    else
        return false;
    return true;
}

void TForm1::Timer_ProgrammTimer()
{
    Timer_Programm.SetEnabled(false);
    const std::uint8_t op = State.OperationState;
    if (opstate::IsRead(op) || opstate::IsWrite(op))
        Transfer.Step();
    else if (op == opstate::Upgrade)
        UpgradeRetry();
    else if (op == opstate::Search)
        SearchStep();
    else if (op == opstate::Sweep)
        Sweep.Step();
}

void TForm1::ReadBegun(bool forTransaction)
{
    if (State.OperationState == opstate::Sweep)
        Sweep.ReadBegun(forTransaction);
}

void TForm1::BytesDropped()
{
    if (State.OperationState == opstate::Sweep)
        Sweep.BytesDropped();
}

void TForm1::DispatchReply()
{
    const std::uint8_t function = State.RxLength >= 2 ? State.FrameBuffer[1] : 0;
    std::uint8_t& kind = State.ReplyKind;
    auto ok = [this] { TeMemo1.Lines.Add(kOkLine); };
    auto okUnlessBadCrc = [this, &kind] {
        if (kind != replykind::BadCrc)
            TeMemo1.Lines.Add(kOkLine);
    };

    switch (function) {
    case fn::ReadHoldingRegisters:
        switch (kind) {
        case replykind::LinkArea:
        case replykind::NodeTypes:
        case replykind::NodeAddresses:
        case replykind::NodeCount:
            Transfer.ReadStepReplied(kind);
            ok();
            break;
        case replykind::SearchProbe:
            kind = CheckSearchReply();
            okUnlessBadCrc();
            break;
        case replykind::SweepProbe:
            Sweep.CheckReply();
            ok();
            break;
        default: okUnlessBadCrc(); break;
        }
        break;
    case fn::WriteSingleRegister:
        switch (kind) {
        case replykind::Address:
            AddressChanged();
            ok();
            break;
        case replykind::Speed:
            SpeedChanged();
            ok();
            break;
        case replykind::Block:
            Commands.BlockChanged();
            ok();
            break;
        case replykind::ConfigWrite:
        case replykind::NodeCountWrite:
            if (Transfer.WriteStepAcknowledged(kind))
                ok();
            break;
        default: okUnlessBadCrc(); break;
        }
        break;
    case fn::WriteMultipleRegisters:
        if (kind == replykind::ConfigWrite)
            Transfer.WriteStepAcknowledged(kind);
        okUnlessBadCrc();
        break;
    case kExceptionRead:
        if (kind >= replykind::LinkArea && kind <= replykind::LastReadKind) {
            ReadConfigFailed();
        } else {
            if (kind == replykind::SweepProbe)
                Sweep.CheckReply();
            TeMemo1.Lines.Add(kErrorLine);
        }
        break;
    case kExceptionWriteOne:
    case kExceptionWriteMany:
        if (!Transfer.WriteRefused(kind))
            TeMemo1.Lines.Add(kErrorLine);
        break;
    default: break;
    }
    Commands.ReplyDispatched(function, kind);
    Transfer.AfterReply();
}

// --- Views --------------------------------------------------------------------------------

std::string TForm1::LastTraceLine() const
{
    return TeMemo1.Lines.Empty() ? std::string() : TeMemo1.Lines.Last();
}

void TForm1::ShowEnding(const std::vector<std::string>& lines)
{
    TeProgressBar1.SetVisible(false);
    TeMemo1.Lines.Clear();
    for (const std::string& line : lines)
        TeMemo1.Lines.Add(line);
    TeMemo2.SetVisible(false);
    TeMemo1.SetVisible(true);
}

void TForm1::ShowSearchProgress(int position)
{
    TeProgressBar1.SetVisible(true);
    TeProgressBar1.SetMin(1);
    TeProgressBar1.SetMax(BusSearch::kLastAddress);
    TeProgressBar1.SetPosition(position);
}

void TForm1::SetAddressLabel(std::uint8_t address)
{
    TeLabel5.SetCaption("АДРЕС ПРИБОРА - " + FormatZeroPadded(address, 3));
}

void TForm1::SetPcSpeed(std::uint8_t baudIndex)
{
    UncheckBaudItems();
    BaudItems[baudIndex]->SetChecked(true);
    StatusBar1.SetPanelText(1, "BaudRate = " + SpeedName(baudIndex));
    ComPort1.SetBaudRate(BaudRateOfIndex(baudIndex));
}

void TForm1::Reactivate()
{
    FormActivate();
    // The activation steps cut the grids back to their set-up state although the tables are
    // unchanged; show the tables again so that no configuration looks lost.
    ShowTables();
}

std::uint8_t TForm1::CheckedBaudIndex() const
{
    for (std::uint8_t i = 0; i < kSpeedCount; ++i)
        if (BaudItems[i]->Checked())
            return i;
    return kDefaultBaudIndex;
}

// --- The address editor and the search delay -------------------------------------------------

void TForm1::TeSpinEdit1Change()
{
    State.DeviceAddress = static_cast<std::uint8_t>(TeSpinEdit1.Value());
    SetDevicePanel(DevicePanelText(State.DeviceAddress, SpeedName(State.BaudIndex),
                                   DeviceLetter::Latin, AddressDigits::Padded,
                                   PanelEnd::Semicolon));
    SetAddressLabel(State.DeviceAddress);
}

void TForm1::DelayItemClick(std::uint16_t delayMs, TMenuItem& item)
{
    State.SearchDelay = delayMs;
    for (TMenuItem* other :
         {CustomItem7, CustomItem8, CustomItem9, CustomItem10, CustomItem11, CustomItem12})
        other->SetChecked(other == &item);
}

}  // namespace imconf
