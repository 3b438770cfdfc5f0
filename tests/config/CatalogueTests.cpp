#include "config/Catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace imconf;

namespace {

// Counted here on its own, so a slip in the library's counter cannot hide a wrong text.
std::size_t Chars(std::string_view utf8)
{
    std::size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::string Trimmed(std::string_view text)
{
    const auto end = text.find_last_not_of(' ');
    return std::string(text.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace

TEST(Catalogue, MenuOrderCodesAndTexts)
{
    struct Row {
        int code;
        const char* caption;
        bool enabled;
        std::size_t gridChars;
        const char* name;
        int loops;
    };
    const std::vector<Row> expected{
        {22, "СИРТА-16И:/16", true, 18, "СИРТА-16И", 16},
        {24, "СИРТА-16И:/8", true, 19, "СИРТА-16И", 8},
        {8, "СИРТА-4И:/4", true, 20, "СИРТА-4И", 4},
        {9, "СИРТА-4И:/2", true, 20, "СИРТА-4И", 2},
        {6, "СИРТА-1И", false, 18, "СИРТА-1И", 1},
        {5, "СИРТА-ППУ", false, 18, "ППУ", 1},
        {7, "СИРТА-ППУ-ПК", false, 18, "ППУ-ПК", 1},
        {4, "КЕБ-1И", false, 18, "КЕБ-1И", 1},
        {3, "КЕБ-2И", false, 18, "КЕБ-2И", 2},
    };
    ASSERT_EQ(kDeviceCatalogue.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TDeviceType& type = kDeviceCatalogue[i];
        const Row& row = expected[i];
        SCOPED_TRACE(row.caption);
        EXPECT_EQ(type.Code, row.code);
        EXPECT_EQ(type.MenuCaption, row.caption);
        EXPECT_EQ(type.MenuEnabled, row.enabled);
        EXPECT_EQ(Chars(type.GridText), row.gridChars);
        EXPECT_EQ(type.GridText.substr(0, 2), "  ");
        EXPECT_EQ(Chars(type.TypeName), kLabelWidth);
        EXPECT_EQ(Trimmed(type.TypeName), row.name);
        EXPECT_EQ(LoopCountOf(type.Code), row.loops);
        EXPECT_EQ(ZoneGridRowCount(type.Code), 1 + row.loops);
        EXPECT_EQ(NodeGridText(type.Code), type.GridText);
    }
    EXPECT_EQ(kDeviceCatalogue[0].GridText, "  СИРТА-16И : 16ШС");
    EXPECT_EQ(kDeviceCatalogue[1].GridText, "  СИРТА-16И :   8ШС");
    EXPECT_EQ(kDeviceCatalogue[2].GridText, "  СИРТА-4И   :   4ШС");
    EXPECT_EQ(kDeviceCatalogue[3].GridText, "  СИРТА-4И   :   2ШС");
    EXPECT_EQ(kDeviceCatalogue[6].GridText, "  СИРТА-ППУ-ПК    ");
}

TEST(Catalogue, UnknownCodesHaveNothing)
{
    for (int code : {0, 1, 2, 10, 21, 23, 25, 254, 255}) {
        SCOPED_TRACE(code);
        const auto c = static_cast<std::uint8_t>(code);
        EXPECT_EQ(FindDeviceType(c), nullptr);
        EXPECT_EQ(LoopCountOf(c), 0);
        EXPECT_FALSE(NodeGridText(c).has_value());
        EXPECT_EQ(ZoneGridRowCount(c), 1);
        EXPECT_EQ(LoopLabel(c, 1), "");
    }
}

TEST(Catalogue, LoopLabels)
{
    for (int k = 1; k <= 16; ++k) {
        const std::string label = LoopLabel(22, static_cast<std::uint8_t>(k));
        EXPECT_EQ(label, "СИРТА-16 : ШС-" + std::string(k < 10 ? "0" : "") + std::to_string(k));
        EXPECT_EQ(LoopLabel(24, static_cast<std::uint8_t>(k)), k <= 8 ? label : "");
    }
    EXPECT_EQ(LoopLabel(8, 4), "СИРТА-4 : ШС-04 ");
    EXPECT_EQ(LoopLabel(9, 1), "СИРТА-4 : ШС-01 ");
    EXPECT_EQ(LoopLabel(9, 2), "СИРТА-4 : ШС-02 ");
    EXPECT_EQ(LoopLabel(9, 3), "");
    EXPECT_EQ(LoopLabel(6, 1), "СИРТА-1 : ШС-01 ");
    EXPECT_EQ(LoopLabel(5, 1), "ТУШЕНИЕ:        ");
    EXPECT_EQ(LoopLabel(7, 1), "ТУШЕНИЕ:        ");
    EXPECT_EQ(LoopLabel(4, 1), "КЕБ-1И : ШС-01  ");
    EXPECT_EQ(LoopLabel(3, 2), "КЕБ-2И : ШС-02  ");
    EXPECT_EQ(LoopLabel(22, 0), "");

    for (const TDeviceType& type : kDeviceCatalogue)
        for (std::uint8_t k = 1; k <= type.LoopCount; ++k)
            EXPECT_EQ(Chars(LoopLabel(type.Code, k)), kLabelWidth)
                << int(type.Code) << " loop " << int(k);
}

TEST(Catalogue, FillNewNodeWritesOnlyTheTypesLoops)
{
    TNodeTable table{};
    for (auto& slot : table[3].Loops)
        slot = {77, "old"};
    table[3].Address = 9;

    ASSERT_TRUE(FillNewNode(table, 3, 9, 42));
    const NodeRecord& node = table[3];
    EXPECT_EQ(node.TypeCode, 9);
    EXPECT_EQ(node.TypeName, "СИРТА-4И        ");
    EXPECT_EQ(node.Address, 42);
    EXPECT_EQ(node.LoopCount, 2);
    EXPECT_EQ(node.Loops[0], (TLoopSlot{0, "СИРТА-4 : ШС-01 "}));
    EXPECT_EQ(node.Loops[1], (TLoopSlot{0, "СИРТА-4 : ШС-02 "}));
    EXPECT_EQ(node.Loops[2], (TLoopSlot{77, "old"}));  // beyond the loop count: untouched

    const NodeRecord before = table[3];
    EXPECT_FALSE(FillNewNode(table, 3, 255, 1));
    EXPECT_FALSE(FillNewNode(table, kMaxNodes, 22, 1));
    EXPECT_EQ(table[3], before);
}

TEST(Catalogue, TextLengthAndCut)
{
    EXPECT_EQ(TextLength(""), 0u);
    EXPECT_EQ(TextLength("ab"), 2u);
    EXPECT_EQ(TextLength("  СИРТА-16И : 16ШС"), 18u);
    // The zone grid shows two blanks and the label, cut to 18 characters.
    const std::string cell = CutText("  " + LoopLabel(8, 1), 18);
    EXPECT_EQ(cell, "  СИРТА-4 : ШС-01 ");
    EXPECT_EQ(CutText("ППУ", 2), "ПП");
    EXPECT_EQ(CutText("ППУ", 0), "");
    EXPECT_EQ(CutText("ППУ", 10), "ППУ");
}
