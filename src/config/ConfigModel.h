#pragma once
// The module's configuration as the tool holds it: the master-mode node table and the
// slave-mode link table, with the operations that edit the node table.
//
// All of it is touched only from the user-interface thread. The operations return
// opresult::Done or opresult::Refused; a refused operation leaves the configured nodes,
// NodeCount and SelectedNode as they were.

#include "config/NodeRecord.h"

#include <array>
#include <cstdint>
#include <string>

namespace imconf {

using TLinkTable = std::array<std::uint16_t, kIndicatorCount>;

// Link entry encoding: 0x0000..0x01FF is a zone number; otherwise the high byte tells the
// kind and the low byte the device number.
namespace linkentry {
constexpr std::uint16_t ZoneMask = 0x01FF;
constexpr std::uint16_t Device = 0x0200;
constexpr std::uint16_t ParameterA = 0x1200;
constexpr std::uint16_t ParameterB = 0x2200;
constexpr std::uint16_t ParameterC = 0x3200;
constexpr std::uint16_t ParameterD = 0x4200;
constexpr std::uint16_t SwitchedOff = 0x0800;  // set by switch-off, cleared by switch-on
constexpr std::uint8_t DeviceLimit = 32;       // device numbers 0..31
}  // namespace linkentry

// The text of a link entry: a zone in 4 digits, "ПР.-" and the device in 2 digits with
// " /A" .. " /D" for a parameter, "<ОТКЛ.>" for anything else.
std::string LinkEntryText(std::uint16_t entry);

// Entry i shows zone i.
constexpr TLinkTable StartLinkTable()
{
    TLinkTable table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint16_t>(i);
    return table;
}

struct ConfigModel {
    // The first NodeCount records are the configured nodes in polling order; the records
    // from NodeCount on are free and keep what they last held.
    TNodeTable NodeTable{};
    std::uint8_t NodeCount = 0;  // 0..32
    int SelectedNode = 0;        // node grid row - 1; 0 while the table is empty
    int SelectedZone = 0;        // zone grid row - 1, owned by the node editor
    TLinkTable LinkTable = StartLinkTable();

    // Back to the start-up state.
    void Reset() { *this = ConfigModel{}; }

    // Adds a node of `type` after the selected one (at index 0 into an empty table) and
    // selects it. A code outside the catalogue writes nothing into the new slot, which
    // keeps what it held: after an insertion a full copy of the selected node. Refused
    // when the table is full or the loops would pass 24 in all.
    std::uint8_t AddNode(std::uint8_t type);

    // Removes the selected node; refused on an empty table.
    std::uint8_t DeleteNode();

    // Exchange the selected node with its neighbour; the selection follows the node.
    std::uint8_t MoveNodeUp();
    std::uint8_t MoveNodeDown();

    // Gives every loop of the configured nodes its indicator, loop after loop in table
    // order, the loop count taken from the type code. Writes the numbering in every case
    // and is refused when more than 24 loops were numbered. Sets SelectedZone to 0.
    std::uint8_t NumberZones();

    // The address to use for the selected node while its address editor shows `wanted`:
    // an address held by another node is skipped in the direction of the change; the
    // node's own address when no free one is left that way.
    std::uint8_t NextFreeAddress(std::uint8_t wanted) const;

    bool operator==(const ConfigModel&) const = default;

private:
    // NodeCount within the table and SelectedNode within max(NodeCount, 1).
    bool SelectionValid() const;
    // Lowest address from 1 up that no configured node other than table[index] has.
    std::uint8_t LowestFreeAddress(int index) const;
};

}  // namespace imconf
