#pragma once
// The sweep: an identification read at every address from 1 to 247 at one speed or several,
// for a module whose address and speed nobody knows. Stepped by the sequencer through the
// engine like the window's search, but an operation of its own: it waits at each address only
// as long as the speed needs, tells every device that answers, can go on after the first
// module, and leaves the module address and the port's speed as it found them. The window's
// search (BusSearch) is not touched by it.

#include "app/Outcome.h"
#include "modbus/Engine.h"
#include "modbus/ProgramState.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace imconf {

// A device that answered the identification read.
struct SweepAnswer {
    std::uint8_t address = 0;
    std::uint8_t baudIndex = 0;
    // The identification register's value; none when the device refused the read.
    std::optional<std::uint16_t> identification;
    bool IsModule() const;
};

struct SweepPlan {
    // The speeds (BaudIndex values) in the order they are swept.
    std::vector<std::uint8_t> speeds;
    // Every address at every speed; otherwise the sweep ends at the first module.
    bool all = false;
    // The addresses swept at each speed (1..247 by default; one address checks a module).
    std::uint8_t first = 1;
    std::uint8_t last = 247;
    // The wait at each address in ms; 0: WaitMs of the speed. A check of one address can
    // afford the engine's own time-out.
    std::uint32_t waitMs = 0;
};

class BusSweep {
public:
    static constexpr std::uint8_t kLastAddress = 247;

    BusSweep(ProgramState& state, TransactionEngine& engine, OperationObserver& observer);

    // The wait at one address at a speed: the request and the longest identification reply on
    // the line, and a margin for the module's answer and the adapter's latency.
    static std::uint32_t WaitMs(std::uint8_t baudIndex);
    // The pause before the next request after something answered: the line's silence that
    // ends a frame (3.5 characters), so that every device sees the next request as new.
    static std::uint32_t FrameGapMs(std::uint8_t baudIndex);
    // The eight speeds of the BaudRate menu, fastest first.
    static std::vector<std::uint8_t> FastestFirst();

    // Starts when no operation runs and the plan names speeds 0..7; false otherwise.
    bool Start(SweepPlan plan);
    // Ends a running sweep as stopped.
    void Stop();
    bool Running() const { return s_.OperationState == opstate::Sweep; }

    // A sequencer tick while the sweep runs: the next probe (or the next speed, or the end).
    void Step();
    // A reply (function 3 or its exception) to a probe.
    void CheckReply();
    // No reply in time, a damaged one, or a probe that could not be sent.
    void StepFailed();

    // Every device that answered, in the order they answered.
    const std::vector<SweepAnswer>& Answers() const { return answers_; }

private:
    void Finish(OutcomeKind result);
    // The port at the speed being swept (or back at the window's); false when it refused.
    bool SetPortSpeed(std::uint8_t baudIndex);

    ProgramState& s_;
    TransactionEngine& engine_;
    OperationObserver& observer_;
    SweepPlan plan_;
    std::size_t speedAt_ = 0;   // position in plan_.speeds
    std::uint8_t address_ = 0;  // the address probed last at that speed; 0 before the first
    std::uint8_t savedAddress_ = 0;
    bool sending_ = false;
    std::vector<SweepAnswer> answers_;
};

}  // namespace imconf
