#pragma once
// The adapter between the PC and the module's line, as the simulator plays it: local echo (a
// two-wire RS-485 adapter whose receiver stays on while it sends hands the request back before
// the reply) and the burst delivery of a USB adapter, which holds received bytes until its
// latency timer runs out or a packet is full. No clock is read here: times are given.

#include "LineTiming.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace imconf::sim {

struct TAdapter {
    bool echo = false;
    // Latency timer of a USB adapter (16 ms is the usual one); 0: every byte goes on at once.
    TMicros latency{0};
};

// Payload of one full USB packet of such an adapter (64 bytes less 2 status bytes).
constexpr std::size_t kUsbPacketBytes = 62;
constexpr TMicros kUsualUsbLatency{16000};

// Bytes received by a USB adapter on their way to the PC. The latency timer ticks every
// `latency` from time 0; at a tick the bytes held go on, and a full packet goes on at once.
class TUsbBurst {
public:
    explicit TUsbBurst(TMicros latency) : latency_(latency) {}

    // Bytes that came in at `now`; returns those that go on at once (whole packets).
    std::vector<std::uint8_t> Push(std::span<const std::uint8_t> bytes, TMicros now);
    // The tick at which the bytes held go on; empty when none are held.
    std::optional<TMicros> Deadline() const;
    // The bytes that go on at `now` (all that are held once their tick has come).
    std::vector<std::uint8_t> Poll(TMicros now);
    bool Empty() const { return held_.empty(); }

private:
    TMicros latency_;
    std::vector<std::uint8_t> held_;
    TMicros heldSince_{0};
};

}  // namespace imconf::sim
