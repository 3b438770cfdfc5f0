#pragma once
// One node of the master-mode configuration and the fixed table that holds them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace imconf {

constexpr std::size_t kMaxNodes = 32;        // records in NodeTable
constexpr std::size_t kLoopSlots = 16;       // loop slots per record
constexpr std::size_t kIndicatorCount = 24;  // indicators of the module, loops in all at most
constexpr std::size_t kLabelWidth = 16;      // characters of a type name and of a loop label

// Result of the model operations.
namespace opresult {
constexpr std::uint8_t Done = 0;
constexpr std::uint8_t Refused = 255;
}  // namespace opresult

struct TLoopSlot {
    std::uint16_t IndicatorIndex = 0;  // 0-based; the user sees IndicatorIndex + 1
    std::string Label;                 // 16 characters (UTF-8), blank-padded

    bool operator==(const TLoopSlot&) const = default;
};

// Texts hold characters, not bytes: a Cyrillic letter takes two bytes in UTF-8. A record
// that was never filled holds empty texts.
struct NodeRecord {
    std::uint8_t TypeCode = 0;
    std::string TypeName;  // 16 characters, blank-padded
    std::uint8_t Address = 0;
    std::array<TLoopSlot, kLoopSlots> Loops{};
    std::uint8_t LoopCount = 0;

    bool operator==(const NodeRecord&) const = default;
};

using TNodeTable = std::array<NodeRecord, kMaxNodes>;

}  // namespace imconf
