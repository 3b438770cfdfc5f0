#pragma once
// The bus search: one identification read at each address from 1 to 247 until the module
// answers, stepped by the sequencer.

#include "app/OperationView.h"
#include "app/Outcome.h"
#include "modbus/Engine.h"
#include "modbus/ProgramState.h"

#include <cstdint>
#include <string>

namespace imconf {

// What the search shows besides the trace pane and the progress position: the progress bar
// over the addresses, the menu item's caption, the address editor and the focus on the menu
// bar.
class BusSearchView : public virtual OperationPanes {
public:
    virtual void ShowSearchProgress(int position) = 0;  // shown, 1..247, at `position`
    virtual void HideSearchProgress() = 0;
    virtual void SetSearchCaption(const std::string& caption) = 0;  // "Start" / "Stop"
    // The address editor shows `address` (its change handler runs when the value changes).
    virtual void SetAddressEditor(std::uint8_t address) = 0;
    virtual void FocusMenuBar() = 0;
};

class BusSearch {
public:
    static constexpr std::uint8_t kLastAddress = 247;

    BusSearch(ProgramState& state, TransactionEngine& engine, BusSearchView& view,
              OperationObserver& observer);

    // "Start" / "Stop".
    void StartOrStop();
    // A probe could not be sent: the search stands until it is stopped.
    bool PortFailed() const { return portFailed_; }
    // A sequencer tick while the search runs: the next probe.
    void Step();
    // A function-3 reply while a probe's reply is awaited; returns the new ReplyKind.
    std::uint8_t CheckReply();
    // No reply in time, or a bad one.
    void StepFailed();
    void Found();
    void NotFound();

private:
    ProgramState& s_;
    TransactionEngine& engine_;
    BusSearchView& view_;
    OperationObserver& observer_;
    bool portFailed_ = false;
};

}  // namespace imconf
