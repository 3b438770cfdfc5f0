#include "config/Catalogue.h"
#include "config/ConfigModel.h"
#include "config/RegisterMap.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace imconf;
using opresult::Done;
using opresult::Refused;

namespace {

// Nodes added one after the other; each add selects the new node, so they append.
ConfigModel WithNodes(std::initializer_list<int> types)
{
    ConfigModel model;
    for (int type : types)
        EXPECT_EQ(model.AddNode(static_cast<std::uint8_t>(type)), Done) << type;
    return model;
}

// Indicator indexes of every loop of the configured nodes, node by node.
std::vector<std::vector<int>> Indicators(const ConfigModel& model)
{
    std::vector<std::vector<int>> out;
    for (int i = 0; i < model.NodeCount; ++i) {
        const NodeRecord& node = model.NodeTable[i];
        out.emplace_back();
        for (int k = 0; k < LoopCountOf(node.TypeCode); ++k)
            out.back().push_back(node.Loops[k].IndicatorIndex);
    }
    return out;
}

std::vector<int> Types(const ConfigModel& model)
{
    std::vector<int> out;
    for (int i = 0; i < model.NodeCount; ++i)
        out.push_back(model.NodeTable[i].TypeCode);
    return out;
}

// Everything of the model that the window and the module see: free records are left out.
struct Configured {
    std::vector<NodeRecord> nodes;
    int count, selected, zone;
    TLinkTable links;
    explicit Configured(const ConfigModel& m)
        : nodes(m.NodeTable.begin(), m.NodeTable.begin() + m.NodeCount),
          count(m.NodeCount),
          selected(m.SelectedNode),
          zone(m.SelectedZone),
          links(m.LinkTable)
    {
    }
    bool operator==(const Configured&) const = default;
};

}  // namespace

TEST(ConfigModel, StartUpStateAndReset)
{
    ConfigModel model;
    EXPECT_EQ(model.NodeCount, 0);
    EXPECT_EQ(model.SelectedNode, 0);
    for (std::size_t i = 0; i < model.LinkTable.size(); ++i)
        EXPECT_EQ(model.LinkTable[i], i);

    model.AddNode(22);
    model.LinkTable[5] = 0x0A05;
    model.Reset();
    EXPECT_EQ(model, ConfigModel{});
}

TEST(ConfigModel, FirstNodeGoesToIndexZeroWithAddressOne)
{
    ConfigModel model = WithNodes({22});
    EXPECT_EQ(model.NodeCount, 1);
    EXPECT_EQ(model.SelectedNode, 0);
    const NodeRecord& node = model.NodeTable[0];
    EXPECT_EQ(node.Address, 1);
    EXPECT_EQ(node.TypeName, "СИРТА-16И       ");
    EXPECT_EQ(node.LoopCount, 16);
    EXPECT_EQ(node.Loops[15].Label, "СИРТА-16 : ШС-16");
    EXPECT_EQ(Indicators(model), (std::vector<std::vector<int>>{
                                     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}));
}

TEST(ConfigModel, AddRefusedAtTheZoneLimitChangesNothing)
{
    // 16 + 4 loops in use: 8 more do not fit, 4 do, on indicators 21..24.
    for (int selected : {1, 0}) {
        SCOPED_TRACE(selected);
        ConfigModel model = WithNodes({22, 8});
        model.SelectedNode = selected;
        const Configured before(model);
        EXPECT_EQ(model.AddNode(24), Refused);
        EXPECT_EQ(Configured(model), before);
        EXPECT_EQ(model.AddNode(22), Refused);
        EXPECT_EQ(Configured(model), before);
    }
    ConfigModel model = WithNodes({22, 8});
    EXPECT_EQ(model.AddNode(8), Done);
    EXPECT_EQ(model.SelectedNode, 2);
    EXPECT_EQ(Indicators(model)[2], (std::vector<int>{20, 21, 22, 23}));
    EXPECT_EQ(model.AddNode(6), Refused);  // all 24 taken
}

TEST(ConfigModel, CatalogueNodesReachTheLimitByTheTwentyFifth)
{
    ConfigModel model;
    for (int i = 0; i < 24; ++i)
        ASSERT_EQ(model.AddNode(i % 2 ? 4 : 6), Done) << i;
    EXPECT_EQ(model.NodeTable[23].Address, 24);
    const ConfigModel before = model;
    EXPECT_EQ(model.AddNode(5), Refused);
    EXPECT_EQ(Configured(model), Configured(before));
}

TEST(ConfigModel, UnknownCodesCopyTheSelectedNodeAndStopAtThirtyTwo)
{
    // An unknown code after an insertion is a copy of the selected node, loops and address
    // included, so it counts towards the 24 loops.
    ConfigModel model = WithNodes({8});
    model.NodeTable[0].Address = 9;
    EXPECT_EQ(model.AddNode(255), Done);
    EXPECT_EQ(model.NodeTable[1].TypeCode, 8);
    EXPECT_EQ(model.NodeTable[1].Address, 9);
    EXPECT_EQ(Indicators(model)[1], (std::vector<int>{4, 5, 6, 7}));
    ConfigModel sixteen = WithNodes({22});
    EXPECT_EQ(sixteen.AddNode(255), Refused);

    // Records that never held a node have no loops: copies of them fill all 32 places,
    // and only the table size refuses the 33rd.
    ConfigModel empty;
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(empty.AddNode(255), Done) << i;
    EXPECT_EQ(empty.NodeCount, 32);
    EXPECT_EQ(empty.SelectedNode, 31);
    const ConfigModel full = empty;
    EXPECT_EQ(empty.AddNode(255), Refused);
    EXPECT_EQ(empty.AddNode(6), Refused);
    EXPECT_EQ(empty, full);
}

TEST(ConfigModel, UnknownCodeIntoEmptyTableKeepsRecordZero)
{
    // A configuration read starts from NodeCount 0 and adds every reported code; a 255 in
    // the first position re-adds whatever record 0 held, numbered afresh.
    ConfigModel model = WithNodes({9, 24});
    model.NodeTable[0].Loops[0].IndicatorIndex = 7;
    model.SelectedNode = 0;
    model.NodeCount = 0;
    EXPECT_EQ(model.AddNode(255), Done);
    EXPECT_EQ(model.NodeCount, 1);
    EXPECT_EQ(model.NodeTable[0].TypeCode, 9);
    EXPECT_EQ(model.NodeTable[0].Address, 1);
    EXPECT_EQ(Indicators(model), (std::vector<std::vector<int>>{{0, 1}}));
}

TEST(ConfigModel, ReadDecodingThroughAddNode)
{
    // What the read does with the reported registers: types, then addresses into all 32
    // records, then the count cuts the table.
    const auto decode = [](const std::vector<int>& types, const std::vector<int>& addresses,
                           std::uint16_t count) {
        ConfigModel model;
        model.SelectedNode = 0;
        model.NodeCount = 0;
        for (int i = 0; i < 32; ++i)
            model.AddNode(static_cast<std::uint8_t>(i < int(types.size()) ? types[i] : 255));
        for (int i = 0; i < 32; ++i)
            model.NodeTable[i].Address = NodeRegisterField(
                static_cast<std::uint16_t>(i < int(addresses.size()) ? addresses[i] : 0xFF));
        model.NodeCount = NodeCountFromRegister(count);
        model.SelectedNode = 0;
        return model;
    };

    ConfigModel two = decode({22, 8}, {0x100A, 11}, 2);
    EXPECT_EQ(Types(two), (std::vector<int>{22, 8}));
    EXPECT_EQ(two.NodeTable[0].Address, 10);
    EXPECT_EQ(two.NodeTable[1].Address, 11);
    EXPECT_EQ(Indicators(two)[1], (std::vector<int>{16, 17, 18, 19}));

    // A position that would pass the limit is refused and the later types move up a place.
    ConfigModel shifted = decode({22, 22, 8}, {}, 2);
    EXPECT_EQ(Types(shifted), (std::vector<int>{22, 8}));

    // The 255s after the 8 copy it once (24 loops), then the copies are refused; the undone
    // copy stays in the free record 3, and a count of 5 brings it in with its numbering.
    ConfigModel counted = decode({22, 8}, {}, 5);
    EXPECT_EQ(Types(counted), (std::vector<int>{22, 8, 8, 8, 0}));
    EXPECT_EQ(Indicators(counted)[3], (std::vector<int>{24, 25, 26, 27}));
}

TEST(ConfigModel, NewNodeTakesTheLowestFreeAddress)
{
    ConfigModel model = WithNodes({9, 9, 9});
    model.NodeTable[2].Address = 4;
    model.SelectedNode = 0;
    EXPECT_EQ(model.AddNode(9), Done);
    EXPECT_EQ(model.SelectedNode, 1);
    EXPECT_EQ(model.NodeTable[1].Address, 3);
}

TEST(ConfigModel, InsertDeleteAndMoveRenumber)
{
    ConfigModel model = WithNodes({9, 8, 24});  // loops 0-1, 2-5, 6-13
    model.SelectedNode = 0;
    ASSERT_EQ(model.AddNode(3), Done);
    EXPECT_EQ(model.SelectedNode, 1);
    EXPECT_EQ(Types(model), (std::vector<int>{9, 3, 8, 24}));
    EXPECT_EQ(Indicators(model),
              (std::vector<std::vector<int>>{
                  {0, 1}, {2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11, 12, 13, 14, 15}}));

    // Delete in the middle keeps the selection on the follower.
    ASSERT_EQ(model.DeleteNode(), Done);
    EXPECT_EQ(model.SelectedNode, 1);
    EXPECT_EQ(Types(model), (std::vector<int>{9, 8, 24}));
    EXPECT_EQ(Indicators(model)[2].front(), 6);

    // Moves: the selection follows the node and the loops follow the order.
    ASSERT_EQ(model.MoveNodeDown(), Done);
    EXPECT_EQ(model.SelectedNode, 2);
    EXPECT_EQ(Types(model), (std::vector<int>{9, 24, 8}));
    EXPECT_EQ(Indicators(model),
              (std::vector<std::vector<int>>{{0, 1}, {2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13}}));
    ASSERT_EQ(model.MoveNodeUp(), Done);
    ASSERT_EQ(model.MoveNodeUp(), Done);
    EXPECT_EQ(model.SelectedNode, 0);
    EXPECT_EQ(Types(model), (std::vector<int>{8, 9, 24}));
    EXPECT_EQ(Indicators(model)[1], (std::vector<int>{4, 5}));

    // Deleting node 0 keeps the selection at 0, on the former node 1.
    ASSERT_EQ(model.DeleteNode(), Done);
    EXPECT_EQ(model.SelectedNode, 0);
    EXPECT_EQ(Types(model), (std::vector<int>{9, 24}));
    EXPECT_EQ(Indicators(model)[0], (std::vector<int>{0, 1}));

    // Deleting the last node selects the one above it.
    model.SelectedNode = 1;
    ASSERT_EQ(model.DeleteNode(), Done);
    EXPECT_EQ(model.SelectedNode, 0);
    ASSERT_EQ(model.DeleteNode(), Done);
    EXPECT_EQ(model.NodeCount, 0);
    EXPECT_EQ(model.SelectedNode, 0);
    EXPECT_EQ(model.DeleteNode(), Refused);
}

TEST(ConfigModel, RefusedMovesAndBadSelectionsChangeNothing)
{
    ConfigModel empty;
    const ConfigModel emptyBefore = empty;
    EXPECT_EQ(empty.MoveNodeDown(), Refused);
    EXPECT_EQ(empty.MoveNodeUp(), Refused);
    EXPECT_EQ(empty.DeleteNode(), Refused);
    EXPECT_EQ(empty, emptyBefore);

    ConfigModel model = WithNodes({9, 8, 6});
    const ConfigModel last = model;
    EXPECT_EQ(model.MoveNodeDown(), Refused);
    model.SelectedNode = 0;
    const ConfigModel first = model;
    EXPECT_EQ(model.MoveNodeUp(), Refused);
    EXPECT_EQ(model, first);
    EXPECT_EQ(last.SelectedNode, 2);

    // A selection outside the table is refused instead of writing past it.
    for (int bad : {-1, 3, 40}) {
        model.SelectedNode = bad;
        const ConfigModel before = model;
        EXPECT_EQ(model.AddNode(9), Refused);
        EXPECT_EQ(model.DeleteNode(), Refused);
        EXPECT_EQ(model.MoveNodeUp(), Refused);
        EXPECT_EQ(model.MoveNodeDown(), Refused);
        EXPECT_EQ(model, before);
    }
    EXPECT_EQ(model.NextFreeAddress(2), 2);  // SelectedNode 40: no own address to compare
}

TEST(ConfigModel, NextFreeAddressSkipsInTheDirectionOfTheChange)
{
    const auto at = [](std::initializer_list<int> addresses) {
        ConfigModel model;
        for (int a : addresses) {
            model.AddNode(4);
            model.NodeTable[model.SelectedNode].Address = static_cast<std::uint8_t>(a);
        }
        model.SelectedNode = 0;
        return model;
    };
    EXPECT_EQ(at({5, 6, 7}).NextFreeAddress(6), 8);
    EXPECT_EQ(at({5, 247}).NextFreeAddress(247), 5);
    EXPECT_EQ(at({5, 4, 3, 2, 1}).NextFreeAddress(4), 5);
    EXPECT_EQ(at({246, 247}).NextFreeAddress(247), 246);
    EXPECT_EQ(at({5, 3}).NextFreeAddress(3), 2);
    EXPECT_EQ(at({5, 1}).NextFreeAddress(1), 5);
    EXPECT_EQ(at({5, 6}).NextFreeAddress(9), 9);      // free: taken as it is
    EXPECT_EQ(at({5, 5}).NextFreeAddress(5), 5);      // the own address always stays
    EXPECT_EQ(at({5, 6}).NextFreeAddress(250), 250);  // the editor clamps it on Enter
    EXPECT_EQ(at({5, 250}).NextFreeAddress(250), 5);
    EXPECT_EQ(at({5, 0}).NextFreeAddress(0), 5);

    ConfigModel none;  // an empty list still edits record 0
    none.NodeTable[0].Address = 7;
    EXPECT_EQ(none.NextFreeAddress(8), 8);
}

TEST(LinkEntry, Texts)
{
    EXPECT_EQ(LinkEntryText(0x0011), "0017");
    EXPECT_EQ(LinkEntryText(0x0105), "0261");
    EXPECT_EQ(LinkEntryText(0x01FF), "0511");
    EXPECT_EQ(LinkEntryText(0x0205), "ПР.-05");
    EXPECT_EQ(LinkEntryText(0x02FF), "ПР.-255");
    EXPECT_EQ(LinkEntryText(0x1205), "ПР.-05 /A");
    EXPECT_EQ(LinkEntryText(0x2217), "ПР.-23 /B");
    EXPECT_EQ(LinkEntryText(0x3200), "ПР.-00 /C");
    EXPECT_EQ(LinkEntryText(0x4203), "ПР.-03 /D");
    for (int off : {0x0A05, 0x0300, 0x1A05, 0x5200, 0x1300, 0xFFFF})
        EXPECT_EQ(LinkEntryText(static_cast<std::uint16_t>(off)), "<ОТКЛ.>") << off;
    EXPECT_EQ(LinkEntryText(0x0A05 & ~linkentry::SwitchedOff), "ПР.-05");
}

TEST(RegisterMap, ValueForms)
{
    ConfigModel model;
    for (std::uint16_t v : NodeTypeRegisterValues(model))
        EXPECT_EQ(v, regmap::FreeNodeValue);
    for (std::uint16_t v : NodeAddressRegisterValues(model))
        EXPECT_EQ(v, regmap::FreeNodeValue);

    model = WithNodes({22, 8, 9});
    model.NodeTable[1].Address = 200;
    model.DeleteNode();  // record 2 keeps its contents but is free now
    const auto types = NodeTypeRegisterValues(model);
    const auto addresses = NodeAddressRegisterValues(model);
    EXPECT_EQ(types[0], 22);
    EXPECT_EQ(types[1], 8);
    EXPECT_EQ(types[2], 0x00FF);
    EXPECT_EQ(types[31], 0x00FF);
    EXPECT_EQ(addresses[0], 1);
    EXPECT_EQ(addresses[1], 200);
    EXPECT_EQ(addresses[2], 0x00FF);

    model.LinkTable[23] = 0x4203;
    const auto links = LinkRegisterValues(model);
    EXPECT_TRUE(std::equal(links.begin(), links.end(), model.LinkTable.begin()));

    EXPECT_EQ(NodeCountFromRegister(0), 0);
    EXPECT_EQ(NodeCountFromRegister(32), 32);
    EXPECT_EQ(NodeCountFromRegister(40), 32);
    EXPECT_EQ(NodeCountFromRegister(0x0102), 32);  // the whole 16 bits count
    EXPECT_EQ(NodeRegisterField(0x1216), 0x16);
    EXPECT_EQ(SpeedCode(0), 1);
    EXPECT_EQ(SpeedCode(7), 8);
}

TEST(ConfigModel, RandomEditingKeepsTheInvariants)
{
    std::mt19937 random(20250611);
    const std::vector<int> codes{22, 24, 8, 9, 6, 5, 7, 4, 3, 255, 0, 100};
    for (int run = 0; run < 400; ++run) {
        ConfigModel model;
        for (int step = 0; step < 80; ++step) {
            const ConfigModel before = model;
            const int what = std::uniform_int_distribution<int>(0, 9)(random);
            std::uint8_t result = Done;
            bool edit = true;
            if (what <= 3) {
                const auto code = static_cast<std::uint8_t>(codes[random() % codes.size()]);
                result = model.AddNode(code);
                if (result == Done) {
                    ASSERT_EQ(model.NodeCount, before.NodeCount + 1);
                    const NodeRecord& added = model.NodeTable[model.SelectedNode];
                    for (int i = 0; i < model.NodeCount && FindDeviceType(code); ++i)
                        if (i != model.SelectedNode) {
                            ASSERT_NE(model.NodeTable[i].Address, added.Address);
                        }
                }
            } else if (what == 4) {
                result = model.DeleteNode();
            } else if (what == 5) {
                result = model.MoveNodeUp();
            } else if (what == 6) {
                result = model.MoveNodeDown();
            } else if (what == 7 && model.NodeCount > 0) {  // the user selects a row
                model.SelectedNode = static_cast<int>(random() % model.NodeCount);
                edit = false;
            } else {  // the address editor's change
                const auto wanted = static_cast<std::uint8_t>(1 + random() % 247);
                const std::uint8_t v = model.NextFreeAddress(wanted);
                // Either the node's own address or one that no node holds.
                if (v != model.NodeTable[model.SelectedNode].Address) {
                    for (int i = 0; i < model.NodeCount; ++i) {
                        ASSERT_NE(model.NodeTable[i].Address, v) << int(wanted);
                    }
                }
                model.NodeTable[model.SelectedNode].Address = v;
                edit = false;
            }

            ASSERT_LE(model.NodeCount, 32);
            ASSERT_GE(model.SelectedNode, 0);
            ASSERT_LT(model.SelectedNode, std::max<int>(model.NodeCount, 1));
            if (edit && result == Refused) {
                ASSERT_EQ(Configured(model), Configured(before))
                    << "run " << run << " step " << step;
            }
            if (edit && result == Done) {
                int next = 0;
                for (const auto& loops : Indicators(model))
                    for (int index : loops)
                        ASSERT_EQ(index, next++);
                ASSERT_LE(next, 24);
            }
        }
    }
}
