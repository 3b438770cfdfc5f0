#pragma once
// How an operation of the window started and ended, told to whoever follows it: the window
// itself, the command line that started it, the session log. The trace pane's lines stay what
// a person reads; these are what a program reads, so nobody learns a result by comparing texts.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace imconf {

enum class OperationKind : std::uint8_t {
    Read,           // configuration read
    Write,          // configuration write
    Search,         // bus search
    AddressChange,  // the module's new address
    SpeedChange,    // the module's new speed
    Block,          // block on or off
    SoundOff,       // alarm sound off
    Upgrade,        // firmware upgrade through the bootloader
    // One read of the identification register: the command line's check before it writes;
    // during the sweep, one answer: Done from the module, Refused from a foreign device
    // (another identification, or a refusal), with its address and speed index (the value);
    // BusSweep::Answers() holds its identification.
    Identify,
    // The sweep over addresses and speeds: Done when a module answered (the address and the
    // value: the first module's address and speed index), NotFound when none did, also when
    // foreign devices answered.
    Sweep,
};

enum class OutcomeKind : std::uint8_t {
    Done,       // the module did what was asked (the search: a module was found)
    Refused,    // the module answered, but with a refusal or a reply that does not fit
    NoAnswer,   // nothing came back in time
    BadLine,    // replies came back damaged (bad CRC) or cut short: the line is poor
    PortError,  // the port could not be opened or written: nothing reached the module
    Stopped,    // stopped by the user before it ended
    NotFound,   // the search probed every address and no module answered
    BadFile,    // the file given could not be used: nothing was sent
};

struct OperationOutcome {
    OperationKind operation = OperationKind::Read;
    OutcomeKind result = OutcomeKind::Done;
    // The module's address the operation talked to (the search: the address found).
    std::uint8_t address = 0;
    // A short note for people (the file's name, the step that failed); may be empty.
    std::string detail;
    // What a command set: the new address, the new speed's index (0..7), the block (1 on, 0
    // off); the identification read; 0 for the other operations.
    std::uint16_t value = 0;
};

// Follows the operations of one window. Both calls come on the window's thread.
class OperationObserver {
public:
    virtual ~OperationObserver() = default;
    // `detail` says what was asked (the file's name and size for an upgrade, say); may be empty.
    virtual void OperationStarted(OperationKind /*operation*/, const std::string& /*detail*/) {}
    virtual void OperationEnded(const OperationOutcome& outcome) = 0;
};

// The window's list of observers: each call goes to every observer, in the order they were
// added. An observer removes itself before it goes.
class OperationObservers : public OperationObserver {
public:
    void Add(OperationObserver& observer) { list_.push_back(&observer); }
    void Remove(OperationObserver& observer)
    {
        list_.erase(std::remove(list_.begin(), list_.end(), &observer), list_.end());
    }

    void OperationStarted(OperationKind operation, const std::string& detail) override
    {
        const auto list = list_;  // an observer may remove itself while it is told
        for (OperationObserver* observer : list)
            observer->OperationStarted(operation, detail);
    }
    void OperationEnded(const OperationOutcome& outcome) override
    {
        const auto list = list_;
        for (OperationObserver* observer : list)
            observer->OperationEnded(outcome);
    }

private:
    std::vector<OperationObserver*> list_;
};

}  // namespace imconf
