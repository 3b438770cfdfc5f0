#pragma once
// Reading the module's configuration into the model and writing the model back: two
// sequences of four transactions each, stepped by the sequencer, one table for both.

#include "app/OperationView.h"
#include "app/Outcome.h"
#include "config/ConfigModel.h"
#include "modbus/Engine.h"
#include "modbus/ProgramState.h"

#include <cstddef>
#include <cstdint>

namespace imconf {

// What the sequences show besides the panes: the grids that a read fills.
class ConfigTransferView : public virtual OperationPanes {
public:
    // Writes the text of link entry `index` into its cell.
    virtual void ShowLinkEntry(std::size_t index) = 0;
    virtual void ShowNodeList() = 0;
    virtual void ShowZoneList() = 0;
};

class ConfigTransfer {
public:
    ConfigTransfer(ProgramState& state, ConfigModel& config, TransactionEngine& engine,
                   ConfigTransferView& view, OperationObserver& observer);

    // The buttons: start a sequence when no operation runs.
    void StartRead();
    void StartWrite();
    // A sequencer tick while a read or write runs: sends the next step.
    void Step();

    // The reply of a read step, by its ReplyKind (link area .. node count).
    void ReadStepReplied(std::uint8_t replyKind);
    // The acknowledgement of a write step (a block write or the count write); false when
    // the write ended with its error ending instead (a step was refused), so no "   : ОК.".
    bool WriteStepAcknowledged(std::uint8_t replyKind);
    // An exception reply to a function-6 or function-16 request; true when it ended the
    // write (its error ending replaces the error line).
    bool WriteRefused(std::uint8_t replyKind);
    // After every dispatched reply: a last step whose reply did not end the sequence ends it
    // with the error ending.
    void AfterReply();

    // The error endings.
    void ReadFailed();
    void WriteFailed();

    // Requests and decoders of the steps.
    void SendLinkTable();
    void SendNodeTypes();
    void SendNodeAddresses();
    void SendNodeCount();
    void DecodeLinkTable();
    void DecodeNodeTypes();
    void DecodeNodeAddresses();
    void DecodeNodeCount();
    void ReadEnding();
    void WriteEnding();

private:
    struct SequenceStep;
    static const SequenceStep* StepAt(std::uint8_t operationState);
    static const SequenceStep* ReadStepAwaiting(std::uint8_t replyKind);
    void SendRead(const SequenceStep& step);
    // The register values of a function-3 reply in FrameBuffer: how many of the `wanted`
    // values the received bytes hold.
    std::size_t ReplyValueCount(std::size_t wanted) const;
    std::uint16_t ReplyValue(std::size_t index) const;
    void AdvanceProgress();
    void Ending(const char* title, bool failed);
    // Why the running sequence failed, from the transaction that ended it.
    OutcomeKind FailureCause() const;
    void Report(OperationKind operation, OutcomeKind result);

    ProgramState& s_;
    ConfigModel& config_;
    TransactionEngine& engine_;
    ConfigTransferView& view_;
    OperationObserver& observer_;
    // A step's request is being sent: a failure now is the port's.
    bool sending_ = false;
    // Steps of the running sequence that were answered.
    int answered_ = 0;
    // An exception reply refused a step of the running write.
    bool writeRefused_ = false;
};

}  // namespace imconf
