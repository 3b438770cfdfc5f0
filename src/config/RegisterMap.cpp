#include "config/RegisterMap.h"

#include <algorithm>

namespace imconf {

namespace {

template <typename Field>
std::array<std::uint16_t, regmap::NodeSlots> NodeRegisterValues(const ConfigModel& model,
                                                                Field field)
{
    std::array<std::uint16_t, regmap::NodeSlots> values{};
    const std::size_t count = std::min<std::size_t>(model.NodeCount, kMaxNodes);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = i < count ? field(model.NodeTable[i]) : regmap::FreeNodeValue;
    return values;
}

}  // namespace

std::array<std::uint16_t, regmap::NodeSlots> NodeTypeRegisterValues(const ConfigModel& model)
{
    return NodeRegisterValues(
        model, [](const NodeRecord& node) -> std::uint16_t { return node.TypeCode; });
}

std::array<std::uint16_t, regmap::NodeSlots> NodeAddressRegisterValues(const ConfigModel& model)
{
    return NodeRegisterValues(model,
                              [](const NodeRecord& node) -> std::uint16_t { return node.Address; });
}

std::array<std::uint16_t, regmap::LinkAreaWriteCount> LinkRegisterValues(const ConfigModel& model)
{
    std::array<std::uint16_t, regmap::LinkAreaWriteCount> values{};
    std::copy(model.LinkTable.begin(), model.LinkTable.end(), values.begin());
    return values;
}

}  // namespace imconf
