// Behaviour of the headless controls that the window's handlers rely on.

#include "controls/Grid.h"
#include "controls/Menu.h"
#include "controls/Widgets.h"

#include <gtest/gtest.h>

using namespace imconf;

TEST(SpinEdit, ChangeEventOnlyWhenTheShownTextChanges)
{
    TSpinEdit spin("TeSpinEdit1");
    spin.SetRange(1, 247);
    spin.MaxLength = 3;
    spin.SetValue(247);
    int changes = 0;
    spin.OnChange = [&] { ++changes; };
    spin.SetValue(247);
    spin.SetValue(300);  // clamped to 247: nothing shown changes
    EXPECT_EQ(changes, 0);
    spin.SetValue(12);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(spin.Text(), "12");
}

TEST(SpinEdit, TypingTakesDigitsUpToMaxLengthAndEnterClamps)
{
    TSpinEdit spin("AddrEdit");
    spin.SetRange(1, 247);
    spin.MaxLength = 3;
    spin.SetValue(1);
    std::vector<std::string> seen;
    spin.OnChange = [&] { seen.push_back(spin.Text()); };
    spin.KeyPress('\b');
    spin.KeyPress('x');  // refused
    spin.KeyPress('2');
    spin.KeyPress('5');
    spin.KeyPress('0');
    spin.KeyPress('9');  // past MaxLength
    EXPECT_EQ(seen, (std::vector<std::string>{"", "2", "25", "250"}));
    EXPECT_EQ(spin.Value(), 247) << "the value reads clamped while the text shows 250";
    spin.KeyPress(13);
    EXPECT_EQ(spin.Text(), "247");
    spin.SpinUp();
    EXPECT_EQ(spin.Text(), "247");
    spin.SpinDown();
    EXPECT_EQ(spin.Text(), "246");
    spin.SetTextByUser("1a2");
    EXPECT_EQ(spin.Text(), "12");
    spin.SetTextByUser("");
    EXPECT_EQ(spin.Value(), 1);

    char swallowed = 0;
    spin.OnKeyPress = [&](char& key) {
        swallowed = key;
        key = 0;
    };
    spin.KeyPress('7');
    EXPECT_EQ(swallowed, '7');
    EXPECT_EQ(spin.Text(), "");
}

TEST(ComboBox, OnlyTheUsersChoiceRaisesTheChange)
{
    TComboBox combo("TeSComboBox1");
    combo.Items = {"1200", "2400", "4800"};
    int changes = 0;
    combo.OnChange = [&] { ++changes; };
    combo.SetItemIndex(2);
    EXPECT_EQ(changes, 0);
    combo.ChooseByUser(1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo.Text(), "2400");
    combo.ChooseByUser(7);
    EXPECT_EQ(changes, 1);
}

TEST(Menu, ItemsClickOnlyWhenVisibleAndEnabledAndNotifyTheirParents)
{
    TMenuBar bar("TeMenuBar1");
    TMenuItem& tools = bar.Items.Add(std::make_unique<TMenuItem>("Tools", "Tools"));
    TMenuItem& hidden = tools.Add(std::make_unique<TMenuItem>("CustomItem27", "Crypt Image"));
    int clicks = 0;
    hidden.OnClick = [&](TMenuItem&) { ++clicks; };
    int barChanges = 0;
    bar.Subscribe([&] { ++barChanges; });
    hidden.SetVisible(false);
    EXPECT_EQ(barChanges, 1) << "a change deep in the tree reaches the bar";
    hidden.Click();
    hidden.SetVisible(true);
    hidden.SetEnabled(false);
    hidden.Click();
    EXPECT_EQ(clicks, 0);
    hidden.SetEnabled(true);
    hidden.Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(bar.Items.Find("CustomItem27"), &hidden);
    EXPECT_EQ(hidden.Parent(), &tools);
}

namespace {

void MakeNodesLike(TStringGrid& grid, int rows)
{
    grid.SetColCount(3);
    grid.SetColWidth(0, 30);
    grid.SetColWidth(1, 130);
    grid.SetColWidth(2, 60);
    grid.SetBounds(8, 14, 226, 232);
    grid.SetRowCount(rows);
}

}  // namespace

TEST(StringGrid, GeometryAndScrollBar)
{
    TStringGrid grid("NodesGrid");
    MakeNodesLike(grid, 2);
    EXPECT_EQ(grid.ColWidthSum(), 220);
    EXPECT_EQ(grid.VisibleDataRows(), 11);
    EXPECT_FALSE(grid.VertScrollBarVisible());
    grid.SetRowCount(12);
    EXPECT_FALSE(grid.VertScrollBarVisible());
    grid.SetRowCount(13);
    EXPECT_TRUE(grid.VertScrollBarVisible());

    EXPECT_EQ(grid.CellRect(0, 0), (TRect{2, 2, 32, 20}));
    EXPECT_EQ(grid.CellRect(2, 1), (TRect{2 + 30 + 1 + 130 + 1, 21, 2 + 30 + 1 + 130 + 1 + 60, 39}));
    grid.SetTopRow(2);
    EXPECT_EQ(grid.CellRect(0, 2).Top, 21) << "row 2 is the first data row in view";
    EXPECT_EQ(grid.CellRect(0, 1), TRect{}) << "row 1 is scrolled out";
    grid.SetTopRow(50);
    EXPECT_EQ(grid.TopRow(), 13 - 11) << "the top row never scrolls past the last page";
}

TEST(StringGrid, UserSelectionRaisesTheEventCodeSelectionDoesNot)
{
    TStringGrid grid("NodesGrid");
    MakeNodesLike(grid, 20);
    std::vector<std::pair<int, int>> events;
    grid.OnSelectCell = [&](int col, int row) { events.emplace_back(col, row); };
    grid.SelectRow(5);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(grid.Row(), 5);
    grid.ClickCell(2, 3);
    grid.KeyDown(40);  // Down reports column 0
    grid.ClickCell(1, 0);  // header: nothing
    EXPECT_EQ(events, (std::vector<std::pair<int, int>>{{2, 3}, {0, 4}}));
    EXPECT_EQ(grid.Row(), 4);
    EXPECT_EQ(grid.Col(), 0);

    grid.SelectRow(19);
    EXPECT_EQ(grid.TopRow(), 1) << "a selection by code does not scroll";
    grid.KeyDown(38);  // the user's move brings the row into view
    EXPECT_EQ(grid.Row(), 18);
    EXPECT_EQ(grid.TopRow(), 18 - 11 + 1);
    grid.KeyDown(40);
    grid.KeyDown(40);  // past the last row: nothing
    EXPECT_EQ(grid.Row(), 19);
    grid.SetRowCount(5);
    EXPECT_EQ(grid.Row(), 4);
    EXPECT_EQ(grid.TopRow(), 1);
}

TEST(StringGrid, CellsSurviveRowCountChangesAndDrawRuleIsAsked)
{
    TStringGrid grid("NodesGrid");
    MakeNodesLike(grid, 3);
    grid.SetCell(1, 2, "keep");
    grid.SetCell(9, 9, "ignored");
    grid.SetRowCount(10);
    EXPECT_EQ(grid.Cell(1, 2), "keep");
    EXPECT_EQ(grid.Cell(9, 9), "");
    grid.SetRowCount(2);
    grid.SetRowCount(3);
    EXPECT_EQ(grid.Cell(1, 2), "") << "rows cut away lose their text";

    EXPECT_EQ(grid.PaintCell(0, 0).Fill, colors::ButtonFace);
    grid.OnDrawCell = [](int col, int row, const TRect& rect) {
        TCellPaint paint;
        paint.FillRect = rect;
        paint.Text = std::to_string(col) + ":" + std::to_string(row);
        return paint;
    };
    EXPECT_EQ(grid.PaintCell(2, 1).Text, "2:1");
}

TEST(Controls, ChangeEventsFireOnlyOnChange)
{
    TMemo memo("TeMemo2");
    int changes = 0;
    memo.Subscribe([&] { ++changes; });
    memo.SetVisible(true);
    memo.Lines.Clear();
    memo.SetFontColor(colors::Black);
    EXPECT_EQ(changes, 0);
    memo.Lines.Add("   : ОК.");
    memo.SetVisible(false);
    memo.SetFontColor(colors::Blue);
    EXPECT_EQ(changes, 3);
    EXPECT_THROW(memo.Lines.Delete(5), std::out_of_range);
}
