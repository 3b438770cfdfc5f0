// Reading the module's configuration into the model and writing it back, and the dispatch
// of every reply by function code and ReplyKind.

#include "app/Form1.h"
#include "config/Catalogue.h"
#include "config/RegisterMap.h"
#include "modbus/Frames.h"

#include <algorithm>

namespace imconf {

namespace {

constexpr const char* kReadTitle = "   : чтение конфигурации модуля...";
constexpr const char* kWriteTitle = "   : запись конфигурации модуля...";
constexpr const char* kOkLine = "   : ОК.";
constexpr const char* kErrorLine = "   : ОШИБКА.";

// While the last step of a read or write is in flight the operation keeps a state of its
// own, so that its failure still reaches the error ending.
constexpr std::uint8_t kReadLastStep = opstate::ReadLast;
constexpr std::uint8_t kWriteLastStep = opstate::WriteLast;

constexpr std::uint8_t kExceptionRead = fn::ReadHoldingRegisters | fn::ExceptionFlag;
constexpr std::uint8_t kExceptionWriteOne = fn::WriteSingleRegister | fn::ExceptionFlag;
constexpr std::uint8_t kExceptionWriteMany = fn::WriteMultipleRegisters | fn::ExceptionFlag;

}  // namespace

void TForm1::TeButton5Click()
{
    if (State.OperationState != opstate::Idle)
        return;
    State.OperationState = opstate::ReadRequested;
    Timer_Programm.SetInterval(20);
    Timer_Programm.SetEnabled(true);
    ShowOperationPanes(0, 5, 1, kReadTitle);
}

void TForm1::TeButton2Click()
{
    if (State.OperationState != opstate::Idle)
        return;
    State.OperationState = opstate::WriteRequested;
    writeRefused_ = false;
    Timer_Programm.SetInterval(20);
    Timer_Programm.SetEnabled(true);
    ShowOperationPanes(0, 4, 1, kWriteTitle);
}

void TForm1::Timer_ProgrammTimer()
{
    Timer_Programm.SetEnabled(false);
    switch (State.OperationState) {
    case 1:
        State.OperationState = 2;
        Engine.SendReadRegisters(regmap::LinkArea, regmap::LinkAreaReadCount);
        Awaiting(replykind::LinkArea);
        break;
    case 2:
        State.OperationState = 3;
        Engine.SendReadRegisters(regmap::NodeTypes, regmap::NodeSlots);
        Awaiting(replykind::NodeTypes);
        break;
    case 3:
        State.OperationState = 4;
        Engine.SendReadRegisters(regmap::NodeAddresses, regmap::NodeSlots);
        Awaiting(replykind::NodeAddresses);
        break;
    case 4:
        State.OperationState = kReadLastStep;
        Engine.SendReadRegisters(regmap::NodeCount, 1);
        Awaiting(replykind::NodeCount);
        break;
    case 6:
        State.OperationState = 7;
        SendLinkTable();
        Awaiting(replykind::ConfigWrite);
        break;
    case 7:
        State.OperationState = 8;
        SendNodeTypes();
        Awaiting(replykind::ConfigWrite);
        break;
    case 8:
        State.OperationState = 9;
        SendNodeAddresses();
        Awaiting(replykind::ConfigWrite);
        break;
    case 9:
        State.OperationState = kWriteLastStep;
        SendNodeCount();
        Awaiting(replykind::NodeCountWrite);
        break;
    case opstate::Upgrade:
        UpgradeRetry();
        break;
    case opstate::Search:
        SearchStep();
        break;
    case kReadLastStep:
        // The last step's transaction is over and did not end the read.
        ReadConfigFailed();
        break;
    case kWriteLastStep:
        WriteConfigFailed();
        break;
    default:
        break;
    }
}

void TForm1::Awaiting(std::uint8_t replyKind)
{
    State.ReplyKind = Engine.TransactionInFlight() ? replyKind : replykind::None;
}

void TForm1::SendLinkTable()
{
    const auto values = LinkRegisterValues(Config);
    const std::size_t length = BuildWriteRegisters(State.FrameBuffer, State.DeviceAddress, regmap::LinkArea, values);
    Engine.SendFrame(static_cast<std::uint16_t>(length), kWriteReplyLength);
}

void TForm1::SendNodeTypes()
{
    const auto values = NodeTypeRegisterValues(Config);
    const std::size_t length =
        BuildWriteRegisters(State.FrameBuffer, State.DeviceAddress, regmap::NodeTypes, values);
    Engine.SendFrame(static_cast<std::uint16_t>(length), kWriteReplyLength);
}

void TForm1::SendNodeAddresses()
{
    const auto values = NodeAddressRegisterValues(Config);
    const std::size_t length =
        BuildWriteRegisters(State.FrameBuffer, State.DeviceAddress, regmap::NodeAddresses, values);
    Engine.SendFrame(static_cast<std::uint16_t>(length), kWriteReplyLength);
}

void TForm1::SendNodeCount()
{
    Engine.SendWriteRegister(regmap::NodeCount, Config.NodeCount);
}

std::size_t TForm1::ReplyValueCount(std::size_t wanted) const
{
    // Address, function, byte count, the values, two CRC bytes: only bytes that came count.
    if (State.RxLength < 5)
        return 0;
    const std::size_t received = (static_cast<std::size_t>(State.RxLength) - 5) / 2;
    return std::min(wanted, received);
}

std::uint16_t TForm1::ReplyValue(std::size_t index) const
{
    return ReadBe16(State.FrameBuffer.data(), 3 + 2 * index);
}

void TForm1::AdvanceProgress()
{
    TeProgressBar1.SetPosition(TeProgressBar1.Position() + 1);
}

void TForm1::DecodeLinkTable()
{
    const std::size_t declared = State.FrameBuffer[2] / 2u;
    const std::size_t count = ReplyValueCount(std::min<std::size_t>(declared, Config.LinkTable.size()));
    for (std::size_t i = 0; i < count; ++i) {
        Config.LinkTable[i] = ReplyValue(i);
        ShowLinkEntry(i);
    }
    AdvanceProgress();
}

void TForm1::DecodeNodeTypes()
{
    Config.SelectedNode = 0;
    Config.NodeCount = 0;
    const std::size_t count = ReplyValueCount(regmap::NodeSlots);
    for (std::size_t i = 0; i < regmap::NodeSlots; ++i) {
        // A position the reply does not hold counts as no node.
        const std::uint8_t type = i < count ? NodeRegisterField(ReplyValue(i)) : kNoNodeType;
        Config.AddNode(type);
    }
    AdvanceProgress();
}

void TForm1::DecodeNodeAddresses()
{
    const std::size_t count = ReplyValueCount(regmap::NodeSlots);
    for (std::size_t i = 0; i < regmap::NodeSlots; ++i)
        Config.NodeTable[i].Address = i < count ? NodeRegisterField(ReplyValue(i)) : kNoNodeType;
    AdvanceProgress();
}

void TForm1::DecodeNodeCount()
{
    Config.NodeCount = ReplyValueCount(1) == 1 ? NodeCountFromRegister(ReplyValue(0)) : 0;
    Config.SelectedNode = 0;
    Config.SelectedZone = 0;
    ShowNodeList();
    ShowZoneList();
    AdvanceProgress();
}

void TForm1::SequenceEnding(const char* title, bool failed)
{
    // A port error line stays in view under the title.
    std::string portError;
    if (failed && !TeMemo1.Lines.Empty() && TeMemo1.Lines.Last().rfind(kPortErrorLine, 0) == 0)
        portError = TeMemo1.Lines.Last();
    TeProgressBar1.SetVisible(false);
    TeMemo1.Lines.Clear();
    TeMemo1.Lines.Add(title);
    if (!portError.empty())
        TeMemo1.Lines.Add(portError);
    if (failed)
        TeMemo1.Lines.Add(kErrorLine);
    TeMemo2.SetVisible(false);
    TeMemo1.SetVisible(true);
}

void TForm1::ReadEnding()
{
    State.OperationState = opstate::Idle;
    SequenceEnding(kReadTitle, false);
}

void TForm1::WriteEnding()
{
    State.OperationState = opstate::Idle;
    SequenceEnding(kWriteTitle, false);
}

void TForm1::ReadConfigFailed()
{
    State.OperationState = opstate::Idle;
    SequenceEnding(kReadTitle, true);
}

void TForm1::WriteConfigFailed()
{
    State.OperationState = opstate::Idle;
    writeRefused_ = false;
    SequenceEnding(kWriteTitle, true);
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
        case replykind::LinkArea: DecodeLinkTable(); ok(); break;
        case replykind::NodeTypes: DecodeNodeTypes(); ok(); break;
        case replykind::NodeAddresses: DecodeNodeAddresses(); ok(); break;
        case replykind::NodeCount:
            DecodeNodeCount();
            ReadEnding();
            ok();
            break;
        case replykind::SearchProbe:
            kind = CheckSearchReply();
            okUnlessBadCrc();
            break;
        default: okUnlessBadCrc(); break;
        }
        break;
    case fn::WriteSingleRegister:
        switch (kind) {
        case replykind::Address: AddressChanged(); ok(); break;
        case replykind::Speed: SpeedChanged(); ok(); break;
        case replykind::Block: TeCheckBox1.SetChecked(!TeCheckBox1.Checked()); ok(); break;
        case replykind::ConfigWrite: AdvanceProgress(); ok(); break;
        case replykind::NodeCountWrite:
            if (writeRefused_) {
                // A step the module refused: the write is not reported as done.
                WriteConfigFailed();
            } else {
                WriteEnding();
                ok();
            }
            break;
        default: okUnlessBadCrc(); break;
        }
        break;
    case fn::WriteMultipleRegisters:
        if (kind == replykind::ConfigWrite)
            AdvanceProgress();
        okUnlessBadCrc();
        break;
    case kExceptionRead:
        if (kind >= replykind::LinkArea && kind <= 8)
            ReadConfigFailed();
        else
            TeMemo1.Lines.Add(kErrorLine);
        break;
    case kExceptionWriteOne:
    case kExceptionWriteMany:
        // Only a refusal of the write's own steps spoils the write, not one of a command
        // sent between two of them.
        if (opstate::IsWrite(State.OperationState) &&
            (kind == replykind::ConfigWrite || kind == replykind::NodeCountWrite)) {
            writeRefused_ = true;
            // The refused count write is the last step: the write ends with its error.
            if (kind == replykind::NodeCountWrite) {
                WriteConfigFailed();
                break;
            }
        }
        TeMemo1.Lines.Add(kErrorLine);
        break;
    default:
        break;
    }

    // Whatever answered the last step of a read or write, the sequence is over: a reply that
    // did not end it with its ending ends it with the error ending.
    if (State.OperationState == kReadLastStep)
        ReadConfigFailed();
    else if (State.OperationState == kWriteLastStep)
        WriteConfigFailed();
}

}  // namespace imconf
