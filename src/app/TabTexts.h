#pragma once
// The texts the two tabs' grids show for the model, in one place: the grids write them, and
// the printed report takes the same texts.

#include "config/Catalogue.h"
#include "config/ConfigModel.h"
#include "modbus/Text.h"

#include <cstdint>
#include <optional>
#include <string>

namespace imconf::tabtexts {

// Headers of the grids.
inline constexpr const char* kNodeType = "ТИП ПРИБОРА";
inline constexpr const char* kNodeAddress = "АДРЕС";
inline constexpr const char* kZoneName = "НАЗВАНИЕ";
inline constexpr const char* kIndicator = "№ ИНД.";
inline constexpr const char* kLinkZone = "ЗОНА ПУИ";

// NodesGrid: position (00..31), type label, address (001..247).
inline std::string NodePosition(int index)
{
    return FormatZeroPadded(static_cast<std::uint16_t>(index), 2);
}
inline std::optional<std::string> NodeType(std::uint8_t typeCode)
{
    const auto text = NodeGridText(typeCode);
    return text ? std::optional<std::string>(*text) : std::nullopt;
}
inline std::string NodeAddress(std::uint8_t address)
{
    return FormatZeroPadded(address, 3);
}

// ZoneGrid: the loop's label after two blanks, cut to 18 characters; its indicator (01..24).
inline std::string ZoneName(const TLoopSlot& slot)
{
    return CutText("  " + slot.Label, 18);
}
inline std::string ZoneIndicator(const TLoopSlot& slot)
{
    return FormatZeroPadded(static_cast<std::uint16_t>(slot.IndicatorIndex + 1), 2);
}
// The zone rows a node shows: its type's loop count.
inline int ZoneCount(std::uint8_t typeCode)
{
    return ZoneGridRowCount(typeCode) - 1;
}

// LINK_Grid: indicator number of entry `index` (01..24) and the entry's text.
inline std::string LinkIndicator(std::size_t index)
{
    return FormatZeroPadded(static_cast<std::uint16_t>(index + 1), 2);
}
inline std::string LinkText(std::uint16_t entry)
{
    return LinkEntryText(entry);
}

}  // namespace imconf::tabtexts
