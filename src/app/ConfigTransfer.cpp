#include "app/ConfigTransfer.h"

#include "config/Catalogue.h"
#include "config/RegisterMap.h"
#include "modbus/Frames.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace imconf {

namespace {

constexpr const char* kReadTitle = "   : чтение конфигурации модуля...";
constexpr const char* kWriteTitle = "   : запись конфигурации модуля...";
constexpr const char* kErrorLine = "   : ОШИБКА.";
constexpr std::uint32_t kStepPaceMs = 20;

}  // namespace

// One step of a sequence: the state at the tick that sends it, the state while its reply is
// awaited, its registers and the reply it awaits; a write step's sender, a read step's
// decoder.
struct ConfigTransfer::SequenceStep {
    std::uint8_t at;
    std::uint8_t awaiting;
    std::uint16_t firstRegister;
    std::uint16_t count;
    std::uint8_t replyKind;
    void (ConfigTransfer::*send)();
    void (ConfigTransfer::*decode)();
};

const ConfigTransfer::SequenceStep* ConfigTransfer::StepAt(std::uint8_t operationState)
{
    using CT = ConfigTransfer;
    static const std::array<SequenceStep, 8> kSteps{{
        {opstate::ReadRequested, opstate::ReadLinkArea, regmap::LinkArea, regmap::LinkAreaReadCount,
         replykind::LinkArea, nullptr, &CT::DecodeLinkTable},
        {opstate::ReadLinkArea, opstate::ReadNodeTypes, regmap::NodeTypes, regmap::NodeSlots,
         replykind::NodeTypes, nullptr, &CT::DecodeNodeTypes},
        {opstate::ReadNodeTypes, opstate::ReadNodeAddresses, regmap::NodeAddresses,
         regmap::NodeSlots, replykind::NodeAddresses, nullptr, &CT::DecodeNodeAddresses},
        // The last step of either sequence keeps a state of its own while its reply is
        // awaited, so that whatever ends its transaction still ends the sequence.
        {opstate::ReadNodeAddresses, opstate::ReadNodeCount, regmap::NodeCount, 1,
         replykind::NodeCount, nullptr, &CT::DecodeNodeCount},
        {opstate::WriteRequested, opstate::WriteLinkArea, regmap::LinkArea,
         regmap::LinkAreaWriteCount, replykind::ConfigWrite, &CT::SendLinkTable, nullptr},
        {opstate::WriteLinkArea, opstate::WriteNodeTypes, regmap::NodeTypes, regmap::NodeSlots,
         replykind::ConfigWrite, &CT::SendNodeTypes, nullptr},
        {opstate::WriteNodeTypes, opstate::WriteNodeAddresses, regmap::NodeAddresses,
         regmap::NodeSlots, replykind::ConfigWrite, &CT::SendNodeAddresses, nullptr},
        {opstate::WriteNodeAddresses, opstate::WriteNodeCount, regmap::NodeCount, 1,
         replykind::NodeCountWrite, &CT::SendNodeCount, nullptr},
    }};
    for (const SequenceStep& step : kSteps)
        if (step.at == operationState)
            return &step;
    return nullptr;
}

const ConfigTransfer::SequenceStep* ConfigTransfer::ReadStepAwaiting(std::uint8_t replyKind)
{
    for (std::uint8_t state = opstate::ReadRequested; state < opstate::ReadLast; ++state)
        if (const SequenceStep* step = StepAt(state); step->replyKind == replyKind)
            return step;
    return nullptr;
}

ConfigTransfer::ConfigTransfer(ProgramState& state, ConfigModel& config, TransactionEngine& engine,
                               ConfigTransferView& view, OperationObserver& observer)
    : s_(state),
      config_(config),
      engine_(engine),
      view_(view),
      observer_(observer)
{
}

void ConfigTransfer::StartRead()
{
    if (s_.OperationState != opstate::Idle)
        return;
    s_.OperationState = opstate::ReadRequested;
    answered_ = 0;
    engine_.Timer_Programm.SetInterval(kStepPaceMs);
    engine_.Timer_Programm.SetEnabled(true);
    view_.ShowOperationPanes(0, 5, 1, kReadTitle);
    observer_.OperationStarted(OperationKind::Read, {});
}

void ConfigTransfer::StartWrite()
{
    if (s_.OperationState != opstate::Idle)
        return;
    s_.OperationState = opstate::WriteRequested;
    writeRefused_ = false;
    answered_ = 0;
    engine_.Timer_Programm.SetInterval(kStepPaceMs);
    engine_.Timer_Programm.SetEnabled(true);
    view_.ShowOperationPanes(0, 4, 1, kWriteTitle);
    observer_.OperationStarted(OperationKind::Write, {});
}

void ConfigTransfer::Step()
{
    const SequenceStep* step = StepAt(s_.OperationState);
    if (step == nullptr) {
        // The last step's transaction is over and did not end the sequence.
        AfterReply();
        return;
    }
    s_.OperationState = step->awaiting;
    sending_ = true;
    if (step->send != nullptr)
        (this->*step->send)();
    else
        SendRead(*step);
    sending_ = false;
    engine_.Awaiting(step->replyKind);
}

void ConfigTransfer::SendRead(const SequenceStep& step)
{
    engine_.SendReadRegisters(step.firstRegister, step.count);
}

void ConfigTransfer::SendLinkTable()
{
    const auto values = LinkRegisterValues(config_);
    const std::size_t length =
        BuildWriteRegisters(s_.FrameBuffer, s_.DeviceAddress, regmap::LinkArea, values);
    engine_.SendFrame(static_cast<std::uint16_t>(length), kWriteReplyLength);
}

void ConfigTransfer::SendNodeTypes()
{
    const auto values = NodeTypeRegisterValues(config_);
    const std::size_t length =
        BuildWriteRegisters(s_.FrameBuffer, s_.DeviceAddress, regmap::NodeTypes, values);
    engine_.SendFrame(static_cast<std::uint16_t>(length), kWriteReplyLength);
}

void ConfigTransfer::SendNodeAddresses()
{
    const auto values = NodeAddressRegisterValues(config_);
    const std::size_t length =
        BuildWriteRegisters(s_.FrameBuffer, s_.DeviceAddress, regmap::NodeAddresses, values);
    engine_.SendFrame(static_cast<std::uint16_t>(length), kWriteReplyLength);
}

void ConfigTransfer::SendNodeCount()
{
    engine_.SendWriteRegister(regmap::NodeCount, config_.NodeCount);
}

std::size_t ConfigTransfer::ReplyValueCount(std::size_t wanted) const
{
    // Address, function, byte count, the values, two CRC bytes: only bytes that came count.
    if (s_.RxLength < 5)
        return 0;
    const std::size_t received = (static_cast<std::size_t>(s_.RxLength) - 5) / 2;
    return std::min(wanted, received);
}

std::uint16_t ConfigTransfer::ReplyValue(std::size_t index) const
{
    return ReadBe16(s_.FrameBuffer.data(), 3 + 2 * index);
}

void ConfigTransfer::AdvanceProgress()
{
    ++answered_;
    view_.SetProgressPosition(view_.ProgressPosition() + 1);
}

void ConfigTransfer::DecodeLinkTable()
{
    const std::size_t declared = s_.FrameBuffer[2] / 2u;
    const std::size_t count =
        ReplyValueCount(std::min<std::size_t>(declared, config_.LinkTable.size()));
    for (std::size_t i = 0; i < count; ++i) {
        config_.LinkTable[i] = ReplyValue(i);
        view_.ShowLinkEntry(i);
    }
    AdvanceProgress();
}

void ConfigTransfer::DecodeNodeTypes()
{
    config_.SelectedNode = 0;
    config_.NodeCount = 0;
    const std::size_t count = ReplyValueCount(regmap::NodeSlots);
    for (std::size_t i = 0; i < regmap::NodeSlots; ++i) {
        // A position the reply does not hold counts as no node.
        const std::uint8_t type = i < count ? NodeRegisterField(ReplyValue(i)) : kNoNodeType;
        config_.AddNode(type);
    }
    AdvanceProgress();
}

void ConfigTransfer::DecodeNodeAddresses()
{
    const std::size_t count = ReplyValueCount(regmap::NodeSlots);
    for (std::size_t i = 0; i < regmap::NodeSlots; ++i)
        config_.NodeTable[i].Address = i < count ? NodeRegisterField(ReplyValue(i)) : kNoNodeType;
    AdvanceProgress();
}

void ConfigTransfer::DecodeNodeCount()
{
    config_.NodeCount = ReplyValueCount(1) == 1 ? NodeCountFromRegister(ReplyValue(0)) : 0;
    config_.SelectedNode = 0;
    config_.SelectedZone = 0;
    view_.ShowNodeList();
    view_.ShowZoneList();
    AdvanceProgress();
}

void ConfigTransfer::ReadStepReplied(std::uint8_t replyKind)
{
    const SequenceStep* step = ReadStepAwaiting(replyKind);
    if (step == nullptr)
        return;
    (this->*step->decode)();
    if (replyKind == replykind::NodeCount)
        ReadEnding();
}

bool ConfigTransfer::WriteStepAcknowledged(std::uint8_t replyKind)
{
    if (replyKind != replykind::NodeCountWrite) {
        AdvanceProgress();
        return true;
    }
    if (writeRefused_) {
        // A step the module refused: the write is not reported as done.
        WriteFailed();
        return false;
    }
    WriteEnding();
    return true;
}

bool ConfigTransfer::WriteRefused(std::uint8_t replyKind)
{
    // Only a refusal of the write's own steps spoils the write, not one of a command sent
    // between two of them.
    if (!opstate::IsWrite(s_.OperationState) ||
        (replyKind != replykind::ConfigWrite && replyKind != replykind::NodeCountWrite))
        return false;
    writeRefused_ = true;
    // The refused count write is the last step: the write ends with its error.
    if (replyKind == replykind::NodeCountWrite) {
        WriteFailed();
        return true;
    }
    return false;
}

void ConfigTransfer::AfterReply()
{
    // Whatever answered the last step of a read or write, the sequence is over: a reply that
    // did not end it with its ending ends it with the error ending.
    if (s_.OperationState == opstate::ReadNodeCount)
        ReadFailed();
    else if (s_.OperationState == opstate::WriteNodeCount)
        WriteFailed();
}

void ConfigTransfer::Ending(const char* title, bool failed)
{
    std::vector<std::string> lines{title};
    if (failed) {
        // A port error line stays in view under the title.
        const std::string last = view_.LastTraceLine();
        if (last.rfind(kPortErrorLine, 0) == 0)
            lines.push_back(last);
        lines.emplace_back(kErrorLine);
    }
    view_.ShowEnding(lines);
}

OutcomeKind ConfigTransfer::FailureCause() const
{
    if (sending_)
        return OutcomeKind::PortError;
    if (s_.RxLength != 0)
        return engine_.ReplyCrcValid() ? OutcomeKind::Refused : OutcomeKind::BadLine;
    // Silence after steps that were answered: the module is there, the line lost a reply.
    return answered_ > 0 ? OutcomeKind::BadLine : OutcomeKind::NoAnswer;
}

void ConfigTransfer::Report(OperationKind operation, OutcomeKind result)
{
    observer_.OperationEnded({operation, result, s_.DeviceAddress, {}});
}

void ConfigTransfer::ReadEnding()
{
    s_.OperationState = opstate::Idle;
    Ending(kReadTitle, false);
    Report(OperationKind::Read, OutcomeKind::Done);
}

void ConfigTransfer::WriteEnding()
{
    s_.OperationState = opstate::Idle;
    Ending(kWriteTitle, false);
    Report(OperationKind::Write, OutcomeKind::Done);
}

void ConfigTransfer::ReadFailed()
{
    const OutcomeKind cause = FailureCause();
    s_.OperationState = opstate::Idle;
    Ending(kReadTitle, true);
    Report(OperationKind::Read, cause);
}

void ConfigTransfer::WriteFailed()
{
    // An earlier step refused: the acknowledged last step does not make it a success.
    const OutcomeKind cause = writeRefused_ ? OutcomeKind::Refused : FailureCause();
    s_.OperationState = opstate::Idle;
    writeRefused_ = false;
    Ending(kWriteTitle, true);
    Report(OperationKind::Write, cause);
}

}  // namespace imconf
