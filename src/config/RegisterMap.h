#pragma once
// The indication module's holding registers and the forms in which the configuration
// travels in them. The frames themselves are built by the Modbus layer.

#include "config/ConfigModel.h"

#include <array>
#include <cstdint>

namespace imconf {

namespace regmap {
constexpr std::uint16_t Identification = 0x0000;  // read: the module answers ModuleId
constexpr std::uint16_t ModuleAddress = 0x0001;   // write: 1..247
constexpr std::uint16_t ModuleSpeed = 0x0002;     // write: SpeedCode()
constexpr std::uint16_t Block = 0x0023;           // write: BlockOn / BlockOff
constexpr std::uint16_t SoundOff = 0x0024;        // write: SoundOffValue
constexpr std::uint16_t LinkArea = 0x0100;        // LinkTable entry i at LinkArea + i
constexpr std::uint16_t LinkAreaReadCount = 32;   // registers 0x0118..0x011F are ignored
constexpr std::uint16_t LinkAreaWriteCount = 24;
constexpr std::uint16_t NodeCount = 0x0120;
constexpr std::uint16_t NodeTypes = 0x0121;      // type code of node i at NodeTypes + i
constexpr std::uint16_t NodeAddresses = 0x0141;  // address of node i at NodeAddresses + i
constexpr std::uint16_t NodeSlots = 32;

constexpr std::uint16_t ModuleId = 24;
constexpr std::uint16_t BlockOn = 255;
constexpr std::uint16_t BlockOff = 0;
constexpr std::uint16_t SoundOffValue = 0xA55A;
constexpr std::uint16_t FreeNodeValue = 0x00FF;  // written for positions from NodeCount on
}  // namespace regmap

// Values of the 32 type registers on write: 0x00 and the type code below NodeCount, 0x00FF
// from NodeCount on.
std::array<std::uint16_t, regmap::NodeSlots> NodeTypeRegisterValues(const ConfigModel& model);

// The same for the address registers.
std::array<std::uint16_t, regmap::NodeSlots> NodeAddressRegisterValues(const ConfigModel& model);

// The 24 link registers on write: the entries as they are.
std::array<std::uint16_t, regmap::LinkAreaWriteCount> LinkRegisterValues(const ConfigModel& model);

// A type or address register as read: only the low byte counts.
constexpr std::uint8_t NodeRegisterField(std::uint16_t value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

// The node count register as read: the whole 16-bit value, anything above 32 taken as 32.
constexpr std::uint8_t NodeCountFromRegister(std::uint16_t value)
{
    return static_cast<std::uint8_t>(value > kMaxNodes ? kMaxNodes : value);
}

// The speed register's code for a BaudIndex 0..7 (1200 .. 57600 baud): 1 .. 8.
constexpr std::uint16_t SpeedCode(std::uint8_t baudIndex)
{
    return static_cast<std::uint16_t>(baudIndex + 1);
}

}  // namespace imconf
