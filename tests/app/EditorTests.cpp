// The two editors of the main window: node and zone grids, the link grid, the in-place
// editors and the popup menus.

#include "AppTestSupport.h"
#include "config/Catalogue.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

TMenuItem& AddItem(TForm1& form, const std::string& caption)
{
    TMenuItem& add = form.TePopupMenu1.Items.Item(0);
    for (std::size_t i = 0; i < add.Count(); ++i)
        if (add.Item(i).Caption() == caption)
            return add.Item(i);
    throw std::runtime_error("no add item " + caption);
}

TMenuItem& PopupItem(TPopupMenu& menu, const std::string& caption)
{
    for (std::size_t i = 0; i < menu.Items.Count(); ++i)
        if (menu.Items.Item(i).Caption() == caption)
            return menu.Items.Item(i);
    throw std::runtime_error("no popup item " + caption);
}

std::vector<std::string> Column(const TStringGrid& grid, int col)
{
    std::vector<std::string> cells;
    for (int row = 1; row < grid.RowCount(); ++row)
        cells.push_back(grid.Cell(col, row));
    return cells;
}

struct Editors : WindowRig {
    Editors()
    {
        Create();
        form->FormActivate();
    }
    TForm1& F() { return *form; }
};

}  // namespace

TEST(MasterEditor, SetUpShowsHeadersAndOneEmptyRow)
{
    Editors rig;
    TForm1& f = rig.F();
    EXPECT_EQ(f.NodesGrid.RowCount(), 2);
    EXPECT_EQ(f.NodesGrid.Cell(1, 0), "ТИП ПРИБОРА");
    EXPECT_EQ(f.NodesGrid.Cell(2, 0), "АДРЕС");
    EXPECT_EQ(f.NodesGrid.Width(), 226);
    EXPECT_EQ(f.ZoneGrid.Cell(0, 0), "НАЗВАНИЕ");
    EXPECT_EQ(f.ZoneGrid.Cell(1, 0), "№ ИНД.");
    EXPECT_EQ(f.ZoneGrid.Width(), 195);
    EXPECT_EQ(f.ZoneGrid.RowCount(), 2);
    EXPECT_FALSE(f.AddrEdit.Visible());

    // The popup: fixed states, the first four types enabled.
    TMenuItem& add = f.TePopupMenu1.Items.Item(0);
    ASSERT_EQ(add.Count(), 9u);
    for (std::size_t i = 0; i < add.Count(); ++i)
        EXPECT_EQ(add.Item(i).Enabled(), i < 4) << add.Item(i).Caption();
}

TEST(MasterEditor, AddingASixteenLoopNodeFillsBothGrids)
{
    Editors rig;
    TForm1& f = rig.F();
    AddItem(f, "СИРТА-16И:/16").Click();
    EXPECT_EQ(f.NodesGrid.RowCount(), 2);
    EXPECT_EQ(f.NodesGrid.Cell(0, 1), "00");
    EXPECT_EQ(f.NodesGrid.Cell(1, 1), "  СИРТА-16И : 16ШС");
    EXPECT_EQ(f.NodesGrid.Cell(2, 1), "001");
    ASSERT_EQ(f.ZoneGrid.RowCount(), 17);
    EXPECT_EQ(f.ZoneGrid.Cell(1, 1), "01");
    EXPECT_EQ(f.ZoneGrid.Cell(1, 16), "16");
    EXPECT_EQ(f.ZoneGrid.Cell(0, 5), CutText("  СИРТА-16 : ШС-05", 18));
    EXPECT_EQ(f.ZoneGrid.Row(), 1);
    EXPECT_TRUE(f.ZoneGrid.VertScrollBarVisible());
    EXPECT_EQ(f.ZoneGrid.Width(), 190 + f.ZoneGrid.ScrollBarWidth + 7);

    // A second 16-loop node would pass 24 indicators: nothing changes on screen.
    const std::vector<std::string> before = Column(f.ZoneGrid, 1);
    AddItem(f, "СИРТА-16И:/16").Click();
    EXPECT_EQ(f.NodesGrid.RowCount(), 2);
    EXPECT_EQ(Column(f.ZoneGrid, 1), before);

    AddItem(f, "СИРТА-4И:/4").Click();
    ASSERT_EQ(f.NodesGrid.RowCount(), 3);
    EXPECT_EQ(f.NodesGrid.Cell(2, 2), "002");
    EXPECT_EQ(f.NodesGrid.Row(), 2);
    EXPECT_EQ(Column(f.ZoneGrid, 1), (std::vector<std::string>{"17", "18", "19", "20"}));

    // Selecting node 0 shows its loops again; moving it down renumbers.
    f.NodesGrid.ClickCell(0, 1);
    EXPECT_EQ(f.ZoneGrid.RowCount(), 17);
    PopupItem(f.TePopupMenu1, "Сдвинуть вниз").Click();
    EXPECT_EQ(f.NodesGrid.Cell(1, 1), "  СИРТА-4И   :   4ШС");
    EXPECT_EQ(f.NodesGrid.Row(), 2);
    EXPECT_EQ(f.ZoneGrid.Cell(1, 1), "05");
    PopupItem(f.TePopupMenu1, "Удалить").Click();
    EXPECT_EQ(f.NodesGrid.RowCount(), 2);
    EXPECT_EQ(Column(f.ZoneGrid, 1), (std::vector<std::string>{"01", "02", "03", "04"}));
    PopupItem(f.TePopupMenu1, "Удалить").Click();
    EXPECT_EQ(f.NodesGrid.Cell(1, 1), "");
    EXPECT_EQ(f.ZoneGrid.Cell(0, 1), "");
}

TEST(MasterEditor, AddressEditorOpensOverTheCellAndSkipsTakenAddresses)
{
    Editors rig;
    TForm1& f = rig.F();
    for (int i = 0; i < 3; ++i)
        AddItem(f, "СИРТА-4И:/2").Click();
    // Addresses 1, 2, 3; give them 5, 6, 7.
    for (int i = 0; i < 3; ++i)
        rig.config.NodeTable[static_cast<std::size_t>(i)].Address =
            static_cast<std::uint8_t>(5 + i);
    f.NodesGrid.ClickCell(1, 1);
    f.NodesGrid.DoubleClick();
    EXPECT_EQ(f.AddrEdit.Left(), 8 + 220 + 5 - 79);
    EXPECT_EQ(f.AddrEdit.Top(), 14 + 1 + 19 * 1);
    EXPECT_EQ(f.AddrEdit.Width(), 79);
    EXPECT_FALSE(f.AddrEdit.Visible());
    rig.loop.Advance(49ms);
    EXPECT_FALSE(f.AddrEdit.Visible());
    rig.loop.Advance(1ms);
    EXPECT_TRUE(f.AddrEdit.Visible());
    EXPECT_TRUE(f.AddrEdit.Focused());
    EXPECT_TRUE(f.AddrEdit.AllSelected());
    EXPECT_EQ(f.AddrEdit.Text(), "5");
    EXPECT_FALSE(f.TimerX1.Enabled());

    f.AddrEdit.KeyDown(vk::Up);  // 6 and 7 are taken
    EXPECT_EQ(f.AddrEdit.Text(), "8");
    EXPECT_EQ(f.NodesGrid.Cell(2, 1), "008");
    EXPECT_EQ(rig.config.NodeTable[0].Address, 8);

    f.AddrEdit.SelectAll();
    f.AddrEdit.KeyPress('2');  // typing replaces the selection; 2 is free
    f.AddrEdit.KeyPress('5');
    f.AddrEdit.KeyPress('0');
    f.AddrEdit.KeyDown(vk::Return);
    EXPECT_FALSE(f.AddrEdit.Visible());
    EXPECT_EQ(rig.config.NodeTable[0].Address, 247);
    EXPECT_EQ(f.NodesGrid.Cell(2, 1), "247");

    // Another row selected while the editor is open commits it and closes it.
    f.NodesGrid.ClickCell(0, 2);
    f.NodesGrid.DoubleClick();
    rig.loop.Advance(50ms);
    f.AddrEdit.KeyDown(vk::Down);  // 6 -> 5
    f.NodesGrid.ClickCell(0, 3);
    EXPECT_FALSE(f.AddrEdit.Visible());
    EXPECT_EQ(rig.config.NodeTable[1].Address, 5);
    EXPECT_EQ(rig.config.SelectedNode, 2);
}

TEST(MasterEditor, NodeListKeepsTheSelectionNearTheView)
{
    Editors rig;
    TForm1& f = rig.F();
    for (int i = 0; i < 20; ++i)
        rig.config.AddNode(4);  // one-loop nodes
    rig.config.SelectedNode = 15;
    f.ShowNodeList();
    EXPECT_EQ(f.NodesGrid.TopRow(), 1);
    EXPECT_TRUE(f.NodesGrid.VertScrollBarVisible());
    EXPECT_EQ(f.NodesGrid.Width(), 220 + f.NodesGrid.ScrollBarWidth + 8);
    rig.config.SelectedNode = 16;
    f.ShowNodeList();
    EXPECT_EQ(f.NodesGrid.TopRow(), 2);
    f.NodesGrid.SetTopRow(5);
    rig.config.SelectedNode = 3;
    f.ShowNodeList();
    EXPECT_EQ(f.NodesGrid.TopRow(), 4);
}

TEST(MasterEditor, CellDrawingColoursAndAlignment)
{
    Editors rig;
    TForm1& f = rig.F();
    AddItem(f, "СИРТА-4И:/4").Click();
    AddItem(f, "СИРТА-4И:/4").Click();
    const TCellPaint header = f.NodesGrid.PaintCell(1, 0);
    EXPECT_EQ(header.Fill, colors::ButtonFace);
    EXPECT_EQ(header.Alignment, TAlignment::taCenter);
    const TCellPaint selected = f.NodesGrid.PaintCell(1, 2);
    EXPECT_EQ(selected.Fill, colors::SelectedRow);
    EXPECT_EQ(selected.Alignment, TAlignment::taLeftJustify);
    EXPECT_EQ(selected.TextRect.Right, selected.FillRect.Right - 2);
    EXPECT_EQ(f.NodesGrid.PaintCell(2, 1).Fill, colors::White);
    EXPECT_EQ(f.NodesGrid.PaintCell(2, 1).Alignment, TAlignment::taCenter);
    EXPECT_EQ(f.ZoneGrid.PaintCell(0, 2).Alignment, TAlignment::taLeftJustify);
    EXPECT_EQ(f.ZoneGrid.PaintCell(1, 2).Alignment, TAlignment::taCenter);
}

TEST(LinkEditor, SetUpShowsRawNumbersAndIndicators)
{
    Editors rig;
    TForm1& f = rig.F();
    EXPECT_EQ(f.LINK_Grid.Width(), 450);
    EXPECT_EQ(f.LINK_Grid.RowCount(), 9);
    EXPECT_FALSE(f.LINK_Grid.VertScrollBarVisible());
    EXPECT_EQ(f.LINK_Grid.Cell(0, 0), "№ ИНД.");
    EXPECT_EQ(f.LINK_Grid.Cell(4, 0), "ЗОНА ПУИ");
    EXPECT_EQ(f.LINK_Grid.Cell(2, 0), "");
    EXPECT_EQ(f.LINK_Grid.Cell(0, 1), "01");
    EXPECT_EQ(f.LINK_Grid.Cell(1, 1), "0000");
    EXPECT_EQ(f.LINK_Grid.Cell(6, 8), "24");
    EXPECT_EQ(f.LINK_Grid.Cell(7, 8), "0023");
    rig.config.LinkTable[5] = 0x1205;
    f.FormActivate();
    EXPECT_EQ(f.LINK_Grid.Cell(1, 6), "4613") << "raw until rewritten";

    // Before any click the popup acts on entry 0.
    PopupItem(f.TePopupMenu2, "ОТКЛ.").Click();
    EXPECT_EQ(rig.config.LinkTable[0], 0x0800);
    EXPECT_EQ(f.LINK_Grid.Cell(1, 1), "<ОТКЛ.>");
}

TEST(LinkEditor, PopupCommandsOnTheSelectedEntry)
{
    Editors rig;
    TForm1& f = rig.F();
    auto run = [&](std::uint16_t entry, const std::string& caption) {
        rig.config.LinkTable[18] = entry;
        f.LINK_Grid.ClickCell(7, 3);  // entry 18
        PopupItem(f.TePopupMenu2, caption).Click();
        return rig.config.LinkTable[18];
    };
    EXPECT_EQ(run(0x0205, "ОТКЛ."), 0x0A05);
    EXPECT_EQ(f.LINK_Grid.Cell(7, 3), "<ОТКЛ.>");
    EXPECT_EQ(run(0x0A05, "ВКЛ."), 0x0205);
    EXPECT_EQ(f.LINK_Grid.Cell(7, 3), "ПР.-05");
    EXPECT_EQ(run(0x0017, "ПРИБОР /ПАРАМ. B"), 0x2217);
    EXPECT_EQ(f.LINK_Grid.Cell(7, 3), "ПР.-23 /B");
    EXPECT_EQ(run(0x0105, "ПРИБОР /УЗЕЛ "), 0x0205);
    for (const char* device :
         {"ПРИБОР /УЗЕЛ ", "ПРИБОР /ПАРАМ. А", "ПРИБОР /ПАРАМ. C", "ПРИБОР /ПАРАМ. D"})
        EXPECT_EQ(run(0x0040, device), 0x0040) << device;
    EXPECT_EQ(run(0x0040, "ЗОНА"), 0x0040);
    EXPECT_EQ(run(0x1A05, "ЗОНА"), 0x0005);
    EXPECT_EQ(f.LINK_Grid.Cell(7, 3), "0005");
    EXPECT_EQ(run(0x1A05, "ВКЛ."), 0x1205);
    EXPECT_EQ(rig.config.LinkTable[0], 0) << "only the selected entry changes";
}

TEST(LinkEditor, ClickReportsItsGroupKeyboardReportsGroupZero)
{
    Editors rig;
    TForm1& f = rig.F();
    f.LINK_Grid.ClickCell(7, 3);
    EXPECT_EQ(f.LinkGroup * 8 + f.LinkRow, 18);
    f.LINK_Grid.KeyDown(vk::Down);
    EXPECT_EQ(f.LinkGroup * 8 + f.LinkRow, 3);
    f.LINK_Grid.ClickCell(5, 1);  // the spacer belongs to group 1
    EXPECT_EQ(f.LinkGroup * 8 + f.LinkRow, 8);
}

TEST(LinkEditor, NumberEditorOpensOverTheEntryAndStoresEveryChange)
{
    Editors rig;
    TForm1& f = rig.F();
    f.LINK_Grid.ClickCell(3, 2);  // group 1, row 2: entry 9
    f.LINK_Grid.DoubleClick();
    EXPECT_EQ(f.ZoneEdit.Left(), 12 + 211);
    EXPECT_EQ(f.ZoneEdit.Top(), 8 + 2 + 19 * 2 - 2);
    EXPECT_EQ(f.ZoneEdit.Width(), 86);
    rig.loop.Advance(50ms);
    ASSERT_TRUE(f.ZoneEdit.Visible());
    EXPECT_TRUE(f.ZoneEdit.AllSelected());
    EXPECT_EQ(f.ZoneEdit.Text(), "9");
    for (char c : std::string("4613"))
        f.ZoneEdit.KeyPress(c);
    EXPECT_EQ(rig.config.LinkTable[9], 4613);
    EXPECT_EQ(f.LINK_Grid.Cell(4, 2), "ПР.-05 /A");
    f.ZoneEdit.KeyDown(vk::Return);
    EXPECT_FALSE(f.ZoneEdit.Visible());

    f.LINK_Grid.DoubleClick();
    rig.loop.Advance(50ms);
    f.ZoneEdit.SetTextByUser("65535");
    f.LINK_Grid.ClickCell(0, 1);  // a new selection commits and hides
    EXPECT_FALSE(f.ZoneEdit.Visible());
    EXPECT_EQ(rig.config.LinkTable[9], 0xFFFF);
    EXPECT_EQ(f.LINK_Grid.Cell(4, 2), "<ОТКЛ.>");
}

TEST(LinkEditor, SpacerColumnsAreWhiteGapsAndTheSelectedRowIsHighlighted)
{
    Editors rig;
    TForm1& f = rig.F();
    f.LINK_Grid.ClickCell(1, 4);
    const TCellPaint spacer = f.LINK_Grid.PaintCell(2, 4);
    const TRect cell = f.LINK_Grid.CellRect(2, 4);
    EXPECT_EQ(spacer.Fill, colors::White);
    EXPECT_EQ(spacer.FillRect,
              (TRect{cell.Left - 2, cell.Top - 2, cell.Right + 2, cell.Bottom + 2}));
    EXPECT_EQ(f.LINK_Grid.PaintCell(1, 4).Fill, colors::SelectedRow);
    EXPECT_EQ(f.LINK_Grid.PaintCell(1, 5).Fill, colors::White);
    EXPECT_EQ(f.LINK_Grid.PaintCell(1, 0).Fill, colors::ButtonFace);
    EXPECT_EQ(f.LINK_Grid.PaintCell(1, 0).Alignment, TAlignment::taCenter);
}
