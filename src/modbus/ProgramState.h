#pragma once
// The program-wide variables of the Modbus link, with their start-up values.

#include "modbus/Frames.h"

#include <cstdint>

namespace imconf {

namespace opstate {
constexpr std::uint8_t Idle = 0;
// Configuration read: requested (first tick pending), then the step whose reply is awaited.
constexpr std::uint8_t ReadRequested = 1;
constexpr std::uint8_t ReadLinkArea = 2;
constexpr std::uint8_t ReadNodeTypes = 3;
constexpr std::uint8_t ReadNodeAddresses = 4;
constexpr std::uint8_t ReadNodeCount = 5;  // the last step, in a state of its own
constexpr std::uint8_t ReadLast = ReadNodeCount;
// Configuration write, the same way.
constexpr std::uint8_t WriteRequested = 6;
constexpr std::uint8_t WriteLinkArea = 7;
constexpr std::uint8_t WriteNodeTypes = 8;
constexpr std::uint8_t WriteNodeAddresses = 9;
constexpr std::uint8_t WriteNodeCount = 10;
constexpr std::uint8_t WriteLast = WriteNodeCount;
constexpr std::uint8_t Upgrade = 250;
// The sweep over addresses and speeds (the command line's): unlike the search, a reply that
// comes after its probe's wait is not taken for the next probe's.
constexpr std::uint8_t Sweep = 253;
constexpr std::uint8_t Search = 254;
constexpr bool IsRead(std::uint8_t s)
{
    return s >= ReadRequested && s <= ReadLast;
}
constexpr bool IsWrite(std::uint8_t s)
{
    return s >= WriteRequested && s <= WriteLast;
}
// The operations that keep the port open from one probe to the next.
constexpr bool HoldsPort(std::uint8_t s)
{
    return s == Search || s == Sweep;
}
}  // namespace opstate

namespace replykind {
constexpr std::uint8_t None = 0;
constexpr std::uint8_t Address = 1;
constexpr std::uint8_t Speed = 2;
constexpr std::uint8_t Block = 3;
constexpr std::uint8_t LinkArea = 4;
constexpr std::uint8_t NodeTypes = 5;
constexpr std::uint8_t NodeAddresses = 6;
constexpr std::uint8_t NodeCount = 7;
// The last read kind the exception to a function-3 request ends a read for.
constexpr std::uint8_t LastReadKind = 8;
constexpr std::uint8_t ConfigWrite = 9;  // the three block writes of a configuration write
constexpr std::uint8_t NodeCountWrite = 10;
constexpr std::uint8_t UpgradeFrame = 200;
constexpr std::uint8_t SweepProbe = 253;
constexpr std::uint8_t SearchProbe = 254;
constexpr std::uint8_t BadCrc = 255;
}  // namespace replykind

struct ProgramState {
    TFrameBuffer FrameBuffer{};
    std::uint16_t RxLength = 0;
    std::uint8_t ExpectedLength = 0;
    std::uint8_t OperationState = opstate::Idle;
    std::uint8_t ReplyKind = replykind::None;
    std::uint8_t CommandDeferred = 0;
    std::uint16_t SearchDelay = 150;
    std::uint8_t DeviceAddress = 247;
    std::uint8_t BaudIndex = 3;

    void Reset() { *this = ProgramState{}; }
};

}  // namespace imconf
