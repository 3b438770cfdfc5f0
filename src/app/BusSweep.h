#pragma once
// The sweep: an identification read at every address from 1 to 247 at one speed or several,
// for a module whose address and speed nobody knows. Stepped by the sequencer through the
// engine like the window's search, but an operation of its own: it tells every device that
// answers, can go on after the first module, and leaves the module address and the port's
// speed as it found them. The window's search (BusSearch) is not touched by it.
//
// Each address first gets a short window: the request, the first byte of a reply and the
// module's answer time. A reply that begins in it is waited for whole. Bytes that come later
// (a USB adapter's latency timer holds them up to 16 ms, a slow device, a collision of a late
// reply with the next request) are not lost: they prove that something answered lately, so
// every address probed within a full wait before they began is probed again, with the full
// wait (request, longest reply, margin for the module and the adapter), once the answers to
// the short probes are all in. That re-probe decides. An intact reply names its sender and is
// credited to it at once; a garbled one only starts the re-probes. On a line where nothing
// answers every address costs its short window only.

#include "app/Outcome.h"
#include "modbus/Engine.h"
#include "modbus/ProgramState.h"

#include <cstdint>
#include <optional>
#include <set>
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

    // The full wait at one address at a speed (a re-probe): the request and the longest
    // identification reply on the line, and a margin for the module's answer and the adapter's
    // latency.
    static std::uint32_t WaitMs(std::uint8_t baudIndex);
    // The short window of an address's first probe: the request, a reply's first byte and the
    // module's answer time; at least the request and the silence that ends a frame (less the
    // pause), so that every device sees the next request as a frame of its own.
    static std::uint32_t WindowMs(std::uint8_t baudIndex);
    // From one first probe to the next when nothing answers: the window and a 1 ms pause.
    static std::uint32_t ProbeMs(std::uint8_t baudIndex);
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
    // The engine's news of received bytes (EngineClient::ReadBegun, BytesDropped).
    void ReadBegun(bool forTransaction);
    void BytesDropped();

    // Every device that answered, in the order they answered.
    const std::vector<SweepAnswer>& Answers() const { return answers_; }

private:
    struct Probe {
        std::uint8_t address = 0;
        Micros at{0};  // when its request was written
    };

    void Finish(OutcomeKind result);
    // The port at the speed being swept (or back at the window's); false when it refused.
    bool SetPortSpeed(std::uint8_t baudIndex);
    std::uint8_t Speed() const { return plan_.speeds[speedAt_]; }
    void StartSpeed();
    void SendProbe(std::uint8_t address, bool full);
    void Wait(Micros time);
    // Bytes that were not the probed address's own reply began at `begun`: every address
    // probed within a full wait before may have answered unseen.
    void NoteBytes(Micros begun);
    // The addresses those bytes point at, to be probed again with the full wait.
    void TakeEvidence();
    bool Answered(std::uint8_t address) const;
    // An intact reply credited to its sender (once); the first module may end the sweep.
    void Credit(std::uint8_t sender);

    ProgramState& s_;
    TransactionEngine& engine_;
    OperationObserver& observer_;
    SweepPlan plan_;
    std::size_t speedAt_ = 0;  // position in plan_.speeds
    bool speedSet_ = false;    // the port is at that speed
    std::uint8_t next_ = 0;    // the next address of the first pass at that speed
    std::uint8_t savedAddress_ = 0;
    bool sending_ = false;
    // This speed's probes in the order sent, the addresses already probed with the full wait,
    // and those to be probed with it.
    std::vector<Probe> probes_;
    std::vector<bool> fullProbed_;
    std::set<std::uint8_t> reprobe_;
    // Probes sent since this moment may have been answered unseen.
    std::optional<Micros> evidenceFrom_;
    std::optional<Micros> begunAt_;    // a read began for the probe in flight
    std::optional<Micros> lastBegun_;  // the last read that began
    // No reply to a short probe sent so far can begin after this moment.
    Micros quietAt_{0};
    std::vector<SweepAnswer> answers_;
};

}  // namespace imconf
