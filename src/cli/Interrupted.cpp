#include "cli/Interrupted.h"

#include "firmware/BootFrames.h"

#include <array>
#include <chrono>

namespace imconf::cli {

namespace {

using namespace std::chrono_literals;

// Longer than any response time-out (3 s at 1200 baud).
constexpr Micros kTransactionEndLimit = 5s;

std::string WriteReport(std::uint8_t acknowledged)
{
    static constexpr std::array<const char*, 4> kSteps{"link table", "node types", "node addresses",
                                                       "node count"};
    if (acknowledged >= kSteps.size())
        return "the write had ended: the whole configuration reached the module";
    std::string report = "the write stopped after " + std::to_string(acknowledged) + " of " +
                         std::to_string(kSteps.size()) + " steps reached the module";
    for (std::size_t i = 0; i < acknowledged; ++i)
        report += (i == 0 ? " (" : ", ") + std::string(kSteps[i]);
    report += acknowledged == 0 ? "" : ")";
    if (acknowledged == 0)
        return report + "; the module's configuration was not changed";
    return report + "; the module may hold a partial configuration: write it again";
}

}  // namespace

std::string StopOnInterrupt(Tool& t, const RunLoop& run)
{
    const std::uint8_t operation = t.state.OperationState;
    const bool commandSent = operation == opstate::Idle && t.form.Engine.TransactionInFlight();
    run([&t] { return !t.form.Engine.TransactionInFlight(); }, kTransactionEndLimit);
    const bool ended = t.state.OperationState == opstate::Idle;

    t.form.Timer_Programm.SetEnabled(false);
    t.form.Timer_Wait.SetEnabled(false);
    t.state.CommandDeferred = 0;
    t.state.OperationState = opstate::Idle;
    t.form.Engine.ReleasePortIfIdle();

    std::string report = "interrupted: ";
    if (opstate::IsWrite(operation))
        return report + WriteReport(t.form.Transfer.WriteStepsAcknowledged());
    if (opstate::IsRead(operation))
        return report + (ended ? "the read had ended" : "the read stopped") +
               "; the module was not changed";
    if (operation == opstate::Search)
        return report + "the search stopped at address " + std::to_string(t.state.DeviceAddress) +
               "; the module was not changed";
    if (operation == opstate::Sweep)
        return report + "the sweep stopped; no module was changed";
    if (operation == opstate::Upgrade)
        return report + "the upgrade stopped after " + std::to_string(t.form.Upgrade.Step) +
               " of " + std::to_string(UpgradeFrameCount(t.form.Upgrade.Image)) +
               " frames; the module's firmware is incomplete: it stays in its bootloader, run "
               "the upgrade again";
    if (commandSent)
        return report + "the command had been sent to the module; see above whether it answered";
    return report + "nothing was sent to the module";
}

}  // namespace imconf::cli
