#pragma once
// The device catalogue: the node types the module knows, their texts and their loops.

#include "config/NodeRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace imconf {

struct TDeviceType {
    std::uint8_t Code;             // value of the module's type register
    std::string_view MenuCaption;  // item of the node grid's "Добавить" submenu
    bool MenuEnabled;
    std::string_view GridText;  // "ТИП ПРИБОРА" cell of the node grid, blanks included
    std::string_view TypeName;  // blank-padded to 16 characters
    std::uint8_t LoopCount;
};

// In the order of the "Добавить" submenu.
inline constexpr std::array<TDeviceType, 9> kDeviceCatalogue{{
    {22, "СИРТА-16И:/16", true, "  СИРТА-16И : 16ШС", "СИРТА-16И       ", 16},
    {24, "СИРТА-16И:/8", true, "  СИРТА-16И :   8ШС", "СИРТА-16И       ", 8},
    {8, "СИРТА-4И:/4", true, "  СИРТА-4И   :   4ШС", "СИРТА-4И        ", 4},
    {9, "СИРТА-4И:/2", true, "  СИРТА-4И   :   2ШС", "СИРТА-4И        ", 2},
    {6, "СИРТА-1И", false, "  СИРТА-1И        ", "СИРТА-1И        ", 1},
    {5, "СИРТА-ППУ", false, "  СИРТА-ППУ       ", "ППУ             ", 1},
    {7, "СИРТА-ППУ-ПК", false, "  СИРТА-ППУ-ПК    ", "ППУ-ПК          ", 1},
    {4, "КЕБ-1И", false, "  КЕБ-1И          ", "КЕБ-1И          ", 1},
    {3, "КЕБ-2И", false, "  КЕБ-2И          ", "КЕБ-2И          ", 2},
}};

// The 255 the module's type registers hold for positions without a node.
constexpr std::uint8_t kNoNodeType = 255;

// The catalogue entry of `code`, or nullptr for a code that is no known type.
const TDeviceType* FindDeviceType(std::uint8_t code);

// Loops a node of type `code` brings: 16, 8, 4, 2 or 1; 0 for an unknown code.
std::uint8_t LoopCountOf(std::uint8_t code);

// The node grid text of the type; none for an unknown code (the cell is then left alone).
std::optional<std::string_view> NodeGridText(std::uint8_t code);

// Label of loop `loop` (1-based) of a node of type `code`, 16 characters; empty for an
// unknown code or a loop number outside 1..loop count.
std::string LoopLabel(std::uint8_t code, std::uint8_t loop);

// Rows of the zone grid while a node of type `code` is selected: the header row and one
// row per loop.
int ZoneGridRowCount(std::uint8_t code);

// Writes a new node of a catalogue type into table[index]: type code, type name, address,
// loop count and, for each loop, its label with indicator index 0. Loop slots beyond the
// loop count keep what they held. An unknown code or an index outside the table writes
// nothing and returns false.
bool FillNewNode(TNodeTable& table, std::size_t index, std::uint8_t code, std::uint8_t address);

// Characters (code points) of a UTF-8 text.
std::size_t TextLength(std::string_view utf8);

// The first `count` characters of a UTF-8 text (all of it when it is shorter).
std::string CutText(std::string_view utf8, std::size_t count);

}  // namespace imconf
