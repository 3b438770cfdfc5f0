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

namespace {

// The address editor as the window has it, holding `text` with the caret at its end.
void MakeAddressLike(TSpinEdit& spin, const std::string& text)
{
    spin.SetRange(1, 247);
    spin.MaxLength = 3;
    spin.SetTextByUser(text);
}

}  // namespace

TEST(SpinEdit, DigitsGoInAtTheCaretInPlaceOfTheSelection)
{
    TSpinEdit spin("AddrEdit");
    MakeAddressLike(spin, "17");
    std::vector<std::string> seen;
    spin.OnChange = [&] { seen.push_back(spin.Text()); };
    spin.KeyDown(vk::Left);
    spin.KeyPress('2');
    EXPECT_EQ(spin.Text(), "127");
    EXPECT_EQ(spin.CaretPos(), 2);
    spin.KeyPress('5');        // three digits already
    spin.KeyPress('\b');       // the 2 before the caret
    spin.KeyDown(vk::Delete);  // the 7 after it
    EXPECT_EQ(seen, (std::vector<std::string>{"127", "17", "1"}));

    MakeAddressLike(spin, "123");
    spin.KeyDown(vk::Home);
    spin.KeyDown(vk::Right, ss::Shift);
    spin.KeyDown(vk::Right, ss::Shift);
    EXPECT_EQ(spin.SelText(), "12");
    spin.KeyPress('9');  // the selection makes room
    EXPECT_EQ(spin.Text(), "93");
    EXPECT_EQ(spin.CaretPos(), 1);
    spin.SelectAll();
    spin.KeyDown(vk::Left);  // a selection collapses to its start
    EXPECT_EQ(spin.CaretPos(), 0);
    EXPECT_EQ(spin.SelLength(), 0);

    // A handler that sets the value just typed leaves the caret; a new value puts it at the end.
    spin.OnChange = [&] { spin.SetValue(spin.Value()); };
    spin.KeyPress('1');
    EXPECT_EQ(spin.Text(), "193");
    EXPECT_EQ(spin.CaretPos(), 1);
    spin.SetValue(20);
    EXPECT_EQ(spin.CaretPos(), 2);
}

TEST(SpinEdit, PastedTextIsTakenOnlyWhenAllDigitsAndCutToTheRoom)
{
    TSpinEdit spin("ZoneEdit");
    spin.SetRange(0, 65535);
    spin.MaxLength = 5;
    spin.SetTextByUser("12");
    spin.TypeText("3x");
    spin.TypeText("\xd0\x96");  // a Cyrillic letter
    EXPECT_EQ(spin.Text(), "12");
    spin.SetSelection(0, 1);
    spin.TypeText("98765");
    EXPECT_EQ(spin.Text(), "98762") << "four of the five digits fit in place of the 1";
    EXPECT_EQ(spin.CaretPos(), 4);
    spin.SetSelection(1, 3);
    spin.ClearSelection();
    EXPECT_EQ(spin.Text(), "962");
}

TEST(SpinEdit, StepKeysClampAndEveryKeyReachesTheHandler)
{
    TSpinEdit spin("TeSpinEdit1");
    MakeAddressLike(spin, "240");
    std::vector<std::uint16_t> keys;
    spin.OnKeyDown = [&](std::uint16_t key) { keys.push_back(key); };
    EXPECT_TRUE(spin.KeyDown(vk::Prior));
    EXPECT_EQ(spin.Text(), "247");
    EXPECT_TRUE(spin.KeyDown(vk::Next));
    EXPECT_EQ(spin.Text(), "237");
    EXPECT_TRUE(spin.KeyDown(vk::Down));
    EXPECT_EQ(spin.Text(), "236");
    EXPECT_FALSE(spin.KeyDown(vk::Escape)) << "a key the editor has no use for";
    EXPECT_FALSE(spin.KeyDown('7')) << "digits come as typed characters";
    EXPECT_EQ(keys, (std::vector<std::uint16_t>{vk::Prior, vk::Next, vk::Down, vk::Escape, '7'}));
}

TEST(SpinEdit, FocusFromTheKeyboardSelectsAllAndLeavingKeepsTheSelection)
{
    TSpinEdit spin("TeSpinEdit2");
    MakeAddressLike(spin, "247");
    spin.Enter(TFocusCause::Mouse);
    EXPECT_TRUE(spin.Focused());
    EXPECT_FALSE(spin.AllSelected());
    spin.Exit();
    spin.Enter(TFocusCause::Keyboard);
    EXPECT_TRUE(spin.AllSelected());
    spin.Exit();
    EXPECT_FALSE(spin.Focused());
    EXPECT_TRUE(spin.AllSelected()) << "the selection waits for the focus to come back";
    spin.SetFocus();
    spin.KillFocus();
    EXPECT_FALSE(spin.AllSelected());
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

TEST(ComboBox, TheListDropsDownWhenTheFocusComesFromTheKeyboardOrTheProgram)
{
    TComboBox combo("TeSComboBox1");
    int dropDowns = 0;
    combo.SubscribeDropDown([&] { ++dropDowns; });
    combo.Enter(TFocusCause::Mouse);   // the click opens it by itself
    combo.Enter(TFocusCause::Return);  // back from the list
    EXPECT_EQ(dropDowns, 0);
    combo.Enter(TFocusCause::Keyboard);
    combo.Enter(TFocusCause::Program);
    EXPECT_EQ(dropDowns, 2);
}

TEST(PageControl, AClickOnATabShowsItsPageUnlessThePageIsDisabled)
{
    TPageControl pages("TePageControl1");
    TTabSheet master("TeTabSheet1");
    TTabSheet slave("TeTabSheet3");
    pages.AddPage(master);
    pages.AddPage(slave);
    slave.SetEnabled(false);
    pages.ClickTab(1);
    EXPECT_EQ(pages.ActivePageIndex(), 0u);
    slave.SetEnabled(true);
    pages.ClickTab(1);
    EXPECT_EQ(pages.ActivePageIndex(), 1u);
}

TEST(Menu, ItemsClickOnlyWhenVisibleAndEnabledAndNotifyTheirParents)
{
    TMenuBar bar("TeMenuBar1");
    int presses = 0;
    bar.OnMouseDown = [&] { ++presses; };
    bar.MouseDown(TMouseButton::mbRight, 140, 5);  // any button, anywhere on the bar
    EXPECT_EQ(presses, 1);
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
    EXPECT_EQ(grid.CellRect(2, 1),
              (TRect{2 + 30 + 1 + 130 + 1, 21, 2 + 30 + 1 + 130 + 1 + 60, 39}));
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
    grid.KeyDown(40);      // Down reports column 0
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

TEST(StringGrid, MouseAndKeysDecideTheSelectionAndThePopup)
{
    TStringGrid grid("NodesGrid");
    MakeNodesLike(grid, 20);
    TPopupMenu popup("TePopupMenu1");
    grid.PopupMenu = &popup;
    std::vector<std::pair<int, int>> selected;
    grid.OnSelectCell = [&](int col, int row) { selected.emplace_back(col, row); };
    int doubleClicks = 0;
    grid.OnDblClick = [&] { ++doubleClicks; };
    std::vector<std::pair<int, int>> shown;
    popup.SubscribeShow(
        [&](TPopupMenu& menu) { shown.emplace_back(menu.PopupX(), menu.PopupY()); });

    // Column 2 of row 3 begins at x 2 + 31 + 131; the grid line after column 1 is column 1's.
    const TRect cell = grid.CellRect(2, 3);
    grid.MouseDown(TMouseButton::mbLeft, cell.Left - 1, cell.Top);
    grid.MouseDown(TMouseButton::mbLeft, cell.Left, cell.Bottom);
    grid.MouseDown(TMouseButton::mbLeft, 500, 500);  // outside every cell
    EXPECT_EQ(selected, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}}));

    grid.MouseDown(TMouseButton::mbRight, cell.Left, cell.Top + 19);
    EXPECT_EQ(grid.Row(), 3) << "a right click leaves the selection to the popup's commands";
    EXPECT_EQ(shown, (std::vector<std::pair<int, int>>{{cell.Left, cell.Top + 19}}));
    EXPECT_EQ(popup.PopupComponent(), &grid);

    grid.MouseDoubleClick(TMouseButton::mbRight, 0, 0);
    grid.MouseDoubleClick(TMouseButton::mbLeft, 0, 0);
    EXPECT_EQ(doubleClicks, 1);

    EXPECT_FALSE(grid.KeyDown(vk::Prior)) << "a key the grid has no use for";
    EXPECT_TRUE(grid.KeyDown(vk::Down));
    EXPECT_EQ(selected.back(), std::make_pair(0, 4));

    grid.MouseWheel(-2);
    EXPECT_EQ(grid.TopRow(), 3);
    MakeNodesLike(grid, 5);
    grid.MouseWheel(-2);
    EXPECT_EQ(grid.TopRow(), 1) << "without a scroll bar the wheel scrolls nothing";
}
