#pragma once
// A Modbus RTU slave with the indication module's register map: functions 3, 6 and 16.
//
// Handle() takes one complete frame (address byte to CRC) and returns the reply together
// with the delay before its first byte. Nothing here looks at a clock: the transport
// applies the delay and the line time, and calls ReplySent() once the reply has left,
// which is when a new address or speed takes effect.

#include "LineTiming.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace imconf::sim {

namespace reg {
constexpr std::uint16_t Id = 0x0000;
constexpr std::uint16_t Address = 0x0001;
constexpr std::uint16_t Speed = 0x0002;
constexpr std::uint16_t Block = 0x0023;
constexpr std::uint16_t SoundOff = 0x0024;
constexpr std::uint16_t LinkFirst = 0x0100;  // 0x0100..0x011F
constexpr std::uint16_t LinkCount = 32;
constexpr std::uint16_t NodeCount = 0x0120;
constexpr std::uint16_t NodeTypesFirst = 0x0121;      // 0x0121..0x0140
constexpr std::uint16_t NodeAddressesFirst = 0x0141;  // 0x0141..0x0160
constexpr std::uint16_t NodeSlots = 32;
constexpr std::uint16_t Last = 0x0160;

constexpr std::uint16_t ModuleId = 24;
constexpr std::uint8_t DefaultAddress = 247;
constexpr std::uint16_t BlockOn = 255;
constexpr std::uint16_t BlockOff = 0;
constexpr std::uint16_t SoundOffValue = 0xA55A;
constexpr std::uint16_t EmptyNode = 0x00FF;
constexpr std::uint16_t MaxNodeCount = 32;
}  // namespace reg

namespace exc {
constexpr std::uint8_t IllegalFunction = 0x01;
constexpr std::uint8_t IllegalDataAddress = 0x02;
constexpr std::uint8_t IllegalDataValue = 0x03;
}  // namespace exc

constexpr std::uint8_t kBroadcastAddress = 0;
constexpr std::uint8_t kMaxSlaveAddress = 247;

// A reply on its way: the bytes (empty: the device stays silent) and the time from the end
// of the request to the first byte.
struct TReply {
    std::vector<std::uint8_t> bytes;
    TMicros delay{0};
    bool Empty() const { return bytes.empty(); }
};

class TModbusSlave {
public:
    explicit TModbusSlave(std::uint8_t address = reg::DefaultAddress,
                          std::uint16_t id = reg::ModuleId);

    // True for every register of the map (readable with function 3).
    static bool InMap(std::uint16_t r);
    // True for the registers a master may write (all of the map except the identification).
    static bool Writable(std::uint16_t r);
    // Empty when `value` may be written to `r`, else the reason (used for exception 03 and
    // for configuration files).
    static std::string CheckValue(std::uint16_t r, std::uint16_t value);
    // Empty when Set(r, value) would be accepted, else the reason.
    static std::string CheckSetting(std::uint16_t r, std::uint16_t value);

    // One complete frame, CRC included. Frames with a bad CRC or for another address get no
    // reply; a broadcast (address 0) executes writes without a reply.
    TReply Handle(std::span<const std::uint8_t> frame);
    // The last reply has left the line: a written address or speed takes effect now.
    void ReplySent();

    // Direct access, bypassing the line (initial configuration, tests). Set() applies the
    // value at once, also to the identification register; it returns the reason when the
    // register is not in the map or the value is not allowed (the sound-off command is no
    // setting), and then changes nothing.
    std::string Set(std::uint16_t r, std::uint16_t value);
    std::optional<std::uint16_t> Get(std::uint16_t r) const;

    std::uint8_t Address() const { return static_cast<std::uint8_t>(regs_[reg::Address]); }
    std::uint16_t SpeedCode() const { return regs_[reg::Speed]; }
    unsigned Baud() const { return BaudFromCode(SpeedCode()); }
    bool Blocked() const { return regs_[reg::Block] == reg::BlockOn; }
    // Address or speed written but not yet in effect (the echo has not left yet).
    bool ChangePending() const { return pendingAddress_.has_value() || pendingSpeed_.has_value(); }

    void SetThinkTime(TMicros t) { think_ = t; }
    TMicros ThinkTime() const { return think_; }

    unsigned SoundOffCount() const { return soundOffs_; }
    unsigned RequestCount() const { return requests_; }  // frames for this device, CRC good
    unsigned CrcErrorCount() const { return crcErrors_; }

private:
    using TRegisters = std::array<std::uint16_t, reg::Last + 1>;

    // Both return the exception code, 0 when the request is fine.
    std::uint8_t Read(std::uint16_t first, std::uint16_t count,
                      std::vector<std::uint8_t>& out) const;
    std::uint8_t Write(std::uint16_t first, std::span<const std::uint16_t> values);
    void Store(std::uint16_t r, std::uint16_t value);
    void ApplyPending();

    TRegisters regs_{};
    std::optional<std::uint16_t> pendingAddress_;
    std::optional<std::uint16_t> pendingSpeed_;
    bool deferChanges_ = false;  // set while a write that will be answered is executed
    TMicros think_ = kDefaultThinkTime;
    unsigned soundOffs_ = 0;
    unsigned requests_ = 0;
    unsigned crcErrors_ = 0;
};

}  // namespace imconf::sim
