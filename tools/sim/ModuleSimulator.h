#pragma once
// The simulated module and the bus it sits on.
//
// TBus offers every frame to all of its Modbus devices; the one addressed answers (two
// devices at one address answer at once and garble each other). TModuleSimulator is what a
// transport talks to: the module (first device of the bus), optional foreign devices, the
// module's bootloader and the fault injector. It is deterministic for a given fault seed and
// never reads a clock.

#include "Bootloader.h"
#include "Faults.h"
#include "ModbusSlave.h"

#include <cstdint>
#include <deque>
#include <span>

namespace imconf::sim {

class TBus {
public:
    // References stay valid while the bus lives.
    TModbusSlave& Add(std::uint8_t address, std::uint16_t id);
    std::size_t Size() const { return devices_.size(); }
    TModbusSlave& Device(std::size_t i) { return devices_.at(i); }
    const TModbusSlave& Device(std::size_t i) const { return devices_.at(i); }

    // Every device sees the frame. With two answers, the line carries both at once: the
    // replies are combined byte by byte (a driven 0 wins), the longer one's tail stays, and
    // the reply starts with the earliest.
    TReply Offer(std::span<const std::uint8_t> frame);
    // The same for a frame sent at `baud`: only the devices set to that speed understand it.
    TReply Offer(std::span<const std::uint8_t> frame, unsigned baud);
    // True when some device is set to `baud`.
    bool Listens(unsigned baud) const;
    void ReplySent();

private:
    std::deque<TModbusSlave> devices_;
};

enum class TMode : std::uint8_t { Modbus, Bootloader };

class TModuleSimulator {
public:
    explicit TModuleSimulator(std::uint8_t address = reg::DefaultAddress,
                              std::uint16_t id = reg::ModuleId);

    TModbusSlave& Module() { return bus_.Device(0); }
    const TModbusSlave& Module() const { return bus_.Device(0); }
    // A further device on the bus (a foreign device answering with its own id), with the
    // think time set so far.
    TModbusSlave& AddDevice(std::uint8_t address, std::uint16_t id);
    TBus& Bus() { return bus_; }
    TBootloader& Bootloader() { return boot_; }
    const TBootloader& Bootloader() const { return boot_; }
    TFaultInjector& Faults() { return faults_; }

    void SetMode(TMode mode) { mode_ = mode; }
    TMode Mode() const { return mode_; }
    // The speed the module listens at now: its speed register, or 19200 in the bootloader.
    unsigned LineBaud() const;

    // Think time of every device (also of those added later) and of the bootloader.
    void SetThinkTime(TMicros t);

    // One complete frame from the line. The reply may be empty (nobody answers).
    TReply Receive(std::span<const std::uint8_t> frame);
    // A line with devices at different speeds: a frame sent at `baud` reaches only the devices
    // (or the bootloader) that listen at that speed; their reply goes at that speed too.
    bool Listens(unsigned baud) const;
    TReply Receive(std::span<const std::uint8_t> frame, unsigned baud);
    // The reply has left the line (or was lost on it): pending address or speed changes
    // take effect.
    void ReplySent();

    // Faults that hit the last reply.
    const std::vector<TFaultKind>& LastFaults() const { return lastFaults_; }

private:
    TBus bus_;
    TBootloader boot_;
    TFaultInjector faults_;
    TMode mode_ = TMode::Modbus;
    TMicros think_ = kDefaultThinkTime;
    std::vector<TFaultKind> lastFaults_;
};

}  // namespace imconf::sim
