#include "config/Catalogue.h"

#include "modbus/Text.h"

namespace imconf {

const TDeviceType* FindDeviceType(std::uint8_t code)
{
    for (const TDeviceType& type : kDeviceCatalogue)
        if (type.Code == code)
            return &type;
    return nullptr;
}

std::uint8_t LoopCountOf(std::uint8_t code)
{
    const TDeviceType* type = FindDeviceType(code);
    return type ? type->LoopCount : 0;
}

std::optional<std::string_view> NodeGridText(std::uint8_t code)
{
    const TDeviceType* type = FindDeviceType(code);
    if (!type)
        return std::nullopt;
    return type->GridText;
}

std::string LoopLabel(std::uint8_t code, std::uint8_t loop)
{
    if (loop < 1 || loop > LoopCountOf(code))
        return {};
    const std::string number = FormatZeroPadded(loop, 2);
    switch (code) {
    case 22:
    case 24: return "СИРТА-16 : ШС-" + number;
    case 8:
    case 9: return "СИРТА-4 : ШС-" + number + " ";
    case 6: return "СИРТА-1 : ШС-01 ";
    case 5:
    case 7: return "ТУШЕНИЕ:        ";
    case 4: return "КЕБ-1И : ШС-" + number + "  ";
    case 3: return "КЕБ-2И : ШС-" + number + "  ";
    default: return {};
    }
}

int ZoneGridRowCount(std::uint8_t code)
{
    return 1 + LoopCountOf(code);
}

bool FillNewNode(TNodeTable& table, std::size_t index, std::uint8_t code, std::uint8_t address)
{
    const TDeviceType* type = FindDeviceType(code);
    if (!type || index >= table.size())
        return false;
    NodeRecord& record = table[index];
    record.TypeCode = type->Code;
    record.TypeName = std::string(type->TypeName);
    record.Address = address;
    record.LoopCount = type->LoopCount;
    for (std::uint8_t k = 1; k <= type->LoopCount; ++k) {
        TLoopSlot& slot = record.Loops[k - 1];
        slot.Label = LoopLabel(code, k);
        slot.IndicatorIndex = 0;
    }
    return true;
}

namespace {

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::size_t TextLength(std::string_view utf8)
{
    std::size_t count = 0;
    for (char c : utf8)
        if (!IsContinuationByte(c))
            ++count;
    return count;
}

std::string CutText(std::string_view utf8, std::size_t count)
{
    std::size_t seen = 0;
    for (std::size_t at = 0; at < utf8.size(); ++at) {
        if (IsContinuationByte(utf8[at]))
            continue;
        if (seen == count)
            return std::string(utf8.substr(0, at));
        ++seen;
    }
    return std::string(utf8);
}

}  // namespace imconf
