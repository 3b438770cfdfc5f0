#pragma once
// The firmware upgrade through the module's bootloader: stop-and-wait frames at 19200 baud,
// a failed step retried, the sixth failure in a row ends it.

#include "app/OperationView.h"
#include "app/Outcome.h"
#include "firmware/Firmware.h"
#include "modbus/Engine.h"
#include "modbus/ProgramState.h"
#include "serial/SerialLine.h"

#include <cstdint>
#include <string>

namespace imconf {

class FirmwareUpgradeView : public virtual OperationPanes {
public:
    virtual void SetDevicePanel(const std::string& text) = 0;
    // The BaudIndex of the speed item that carries the check mark: the PC speed the user
    // chose.
    virtual std::uint8_t CheckedBaudIndex() const = 0;
};

class FirmwareUpgrade {
public:
    FirmwareUpgrade(ProgramState& state, TransactionEngine& engine, ISerialLine& port,
                    FirmwareUpgradeView& view, OperationObserver& observer);

    // The image as loaded; every frame, retries included, is built from it.
    FirmwareImage Image;
    // The step whose frame is out, and the failed steps since the last acknowledgement.
    std::uint8_t Step = 0;
    std::int32_t Errors = 0;

    // `image` names the upgrade image for the observers ("FILE, N bytes"); may be empty.
    void Start(const std::string& image = {});
    // The file chosen could not be used: the upgrade starts and ends at once, nothing sent.
    void FileRefused(const std::string& file, const std::string& why);
    // Reports an upgrade refused because `port` cannot carry it; nothing was sent.
    void PortRefused(const std::string& port, const std::string& why);
    // The acknowledgement of the frame out: the next frame, or the upgrade is complete.
    // False for any other reply.
    bool HandleReply();
    // No acknowledgement: counted; the sixth failure in a row aborts.
    void StepFailed();
    // A sequencer tick after a failed step: the same frame again.
    void Retry();
    // The port speed and status panel 2 back as before the upgrade.
    void RestoreAfterUpgrade();

    void SendFlashPage();
    void SendEepromBlock(std::uint8_t block);
    void SendUpgradeEnd();

private:
    // Sends the frame of an upgrade step; false when the port could not be opened.
    bool SendStep(std::uint8_t step);
    bool Transmit(std::size_t length, std::uint32_t timeoutMs);
    // The upgrade stops because the port cannot be opened.
    void StopOnPortError();
    void Report(OutcomeKind result);

    ProgramState& s_;
    TransactionEngine& engine_;
    ISerialLine& port_;
    FirmwareUpgradeView& view_;
    OperationObserver& observer_;
};

}  // namespace imconf
