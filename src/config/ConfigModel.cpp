#include "config/ConfigModel.h"

#include "config/Catalogue.h"
#include "modbus/Text.h"

#include <algorithm>
#include <utility>

namespace imconf {

namespace {

constexpr int kHighestAddress = 247;

}  // namespace

std::string LinkEntryText(std::uint16_t entry)
{
    const std::uint8_t high = static_cast<std::uint8_t>(entry >> 8);
    const std::uint8_t device = static_cast<std::uint8_t>(entry & 0xFF);
    const char* suffix = nullptr;
    switch (high) {
    case 0x00:
    case 0x01: return FormatZeroPadded(entry, 4);
    case 0x02: suffix = ""; break;
    case 0x12: suffix = " /A"; break;
    case 0x22: suffix = " /B"; break;
    case 0x32: suffix = " /C"; break;
    case 0x42: suffix = " /D"; break;
    default: return "<ОТКЛ.>";
    }
    return "ПР.-" + FormatZeroPadded(device, 2) + suffix;
}

bool ConfigModel::SelectionValid() const
{
    return NodeCount <= kMaxNodes && SelectedNode >= 0 &&
           SelectedNode < std::max<int>(NodeCount, 1);
}

std::uint8_t ConfigModel::LowestFreeAddress(int index) const
{
    // At most 31 other nodes, so a free address always turns up below 33.
    for (int address = 1; address <= kHighestAddress; ++address) {
        bool taken = false;
        for (int i = 0; i < NodeCount && !taken; ++i)
            taken = i != index && NodeTable[i].Address == address;
        if (!taken)
            return static_cast<std::uint8_t>(address);
    }
    return 1;
}

std::uint8_t ConfigModel::NumberZones()
{
    SelectedZone = 0;
    const int count = std::min<int>(NodeCount, kMaxNodes);
    if (count == 0)
        return opresult::Done;
    unsigned running = 0;
    for (int i = 0; i < count; ++i) {
        NodeRecord& node = NodeTable[i];
        const std::uint8_t loops = LoopCountOf(node.TypeCode);
        for (std::uint8_t k = 0; k < loops; ++k)
            node.Loops[k].IndicatorIndex = static_cast<std::uint16_t>(running++);
    }
    return running <= kIndicatorCount ? opresult::Done : opresult::Refused;
}

std::uint8_t ConfigModel::AddNode(std::uint8_t type)
{
    if (NodeCount >= kMaxNodes || !SelectionValid())
        return opresult::Refused;

    const int previous = SelectedNode;
    if (NodeCount == 0) {
        NodeCount = 1;
    } else {
        // Open the slot after the selected node; until it is filled it holds a copy of
        // the selected node.
        for (int i = NodeCount - 1; i >= SelectedNode; --i)
            NodeTable[i + 1] = NodeTable[i];
        ++SelectedNode;
        ++NodeCount;
    }

    FillNewNode(NodeTable, static_cast<std::size_t>(SelectedNode), type,
                LowestFreeAddress(SelectedNode));

    if (NumberZones() != opresult::Done) {
        DeleteNode();
        SelectedNode = previous;
        return opresult::Refused;
    }
    return opresult::Done;
}

std::uint8_t ConfigModel::DeleteNode()
{
    if (NodeCount == 0 || !SelectionValid())
        return opresult::Refused;

    if (SelectedNode == NodeCount - 1) {
        --NodeCount;
        if (SelectedNode > 0)
            --SelectedNode;
    } else {
        for (int i = SelectedNode + 1; i < NodeCount; ++i)
            NodeTable[i - 1] = NodeTable[i];
        --NodeCount;
    }
    NumberZones();
    return opresult::Done;
}

std::uint8_t ConfigModel::MoveNodeUp()
{
    if (SelectedNode == 0 || !SelectionValid())
        return opresult::Refused;
    std::swap(NodeTable[SelectedNode - 1], NodeTable[SelectedNode]);
    --SelectedNode;
    NumberZones();
    return opresult::Done;
}

std::uint8_t ConfigModel::MoveNodeDown()
{
    if (SelectedNode + 1 >= NodeCount || !SelectionValid())
        return opresult::Refused;
    std::swap(NodeTable[SelectedNode], NodeTable[SelectedNode + 1]);
    ++SelectedNode;
    NumberZones();
    return opresult::Done;
}

std::uint8_t ConfigModel::NextFreeAddress(std::uint8_t wanted) const
{
    if (SelectedNode < 0 || SelectedNode >= static_cast<int>(kMaxNodes))
        return wanted;
    const int current = NodeTable[SelectedNode].Address;
    const int count = std::min<int>(NodeCount, kMaxNodes);

    const auto taken = [&](int address) {
        for (int i = 0; i < count; ++i)
            if (NodeTable[i].Address == address)
                return true;
        return false;
    };

    int address = wanted;
    // Nodes holding the node's own address do not count: the result is then `wanted`.
    while (address != current && taken(address)) {
        if (address > current) {
            if (++address > kHighestAddress)
                return static_cast<std::uint8_t>(current);
        } else {
            if (--address <= 0)
                return static_cast<std::uint8_t>(current);
        }
    }
    return static_cast<std::uint8_t>(address);
}

}  // namespace imconf
