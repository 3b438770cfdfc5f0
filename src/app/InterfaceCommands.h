#pragma once
// The single-register commands: the module's new address and speed, block and sound off;
// and what their echoes change.

#include "app/Outcome.h"
#include "modbus/Engine.h"
#include "modbus/ProgramState.h"

#include <cstdint>
#include <optional>
#include <string>

namespace imconf {

// The editors and marks the commands read and write.
class InterfaceCommandsView {
public:
    virtual ~InterfaceCommandsView() = default;
    virtual int AddressEditorValue() const = 0;  // the address the tool talks to
    virtual int NewAddressValue() const = 0;     // the module's new address
    virtual int ChosenSpeedIndex() const = 0;    // the module's new speed, 0..7
    virtual bool BlockMarked() const = 0;
    virtual void SetBlockMark(bool marked) = 0;
    // The address editor shows `address` (its change handler runs when the value changes).
    virtual void SetAddressEditor(std::uint8_t address) = 0;
    virtual void SetAddressLabel(std::uint8_t address) = 0;
    virtual void SetDevicePanel(const std::string& text) = 0;
    // The modal yes/no question with the warning icon.
    virtual bool AskYesNoWarning(const std::string& question) = 0;
    // The question box has closed: the window takes the activation back.
    virtual void Reactivate() = 0;
    // The PC port follows the module: the speed menu's mark, panel 1 and the port's speed.
    virtual void SetPcSpeed(std::uint8_t baudIndex) = 0;
};

class InterfaceCommands {
public:
    InterfaceCommands(ProgramState& state, TransactionEngine& engine, InterfaceCommandsView& view,
                      OperationObserver& observer);

    void SendAddress();   // "-->"
    void SendSpeed();     // the speed list
    void SendBlock();     // "БЛОК."
    void SendSoundOff();  // the speaker button

    // The echoes.
    void AddressChanged();
    void SpeedChanged();
    void BlockChanged();

    // How the command's transaction ended, told by the reply dispatch (after the echo's
    // handler) with the reply's function code and ReplyKind, or by the engine's failure call.
    void ReplyDispatched(std::uint8_t function, std::uint8_t replyKind);
    void TransactionFailed();

private:
    // The common start of the four commands: false when the command is not to be sent now
    // (bus search, or postponed until the transaction in flight has ended).
    bool MaySend(void (InterfaceCommands::*command)());
    // After a command's request: awaits its ending, or it ended at once (the port failed).
    void Sent(OperationKind operation, std::uint8_t address, std::uint16_t value);
    void Ended(OutcomeKind result);

    ProgramState& s_;
    TransactionEngine& engine_;
    InterfaceCommandsView& view_;
    OperationObserver& observer_;
    // The command whose reply is awaited.
    std::optional<OperationOutcome> pending_;
};

}  // namespace imconf
