// The master-mode editor: the node grid, the zone grid, the address editor and the node
// popup menu; also the layout of both tabs' editors and the in-place editors' timer.

#include "app/Form1.h"
#include "app/TabTexts.h"
#include "config/Catalogue.h"
#include "modbus/Text.h"

#include <memory>

namespace imconf {

namespace {

constexpr int kGridRowHeight = 18;
constexpr int kNodesGridLeft = 8;
constexpr int kNodesGridTop = 14;
constexpr int kZoneGridLeft = 256;
constexpr int kZoneGridTop = 14;
constexpr int kMasterGridHeight = 232;
constexpr int kTextInset = 2;  // the text's right edge lies 2 pixels inside the cell

TCellPaint PlainCell(const TStringGrid& grid, int col, int row, const TRect& rect, TAlignment align)
{
    TCellPaint paint;
    paint.FillRect = rect;
    paint.TextRect = rect;
    paint.TextRect.Right -= kTextInset;
    if (row == grid.Row() && row >= grid.FixedRows)
        paint.Fill = colors::SelectedRow;
    else if (row < grid.FixedRows)
        paint.Fill = grid.FixedColor;
    else
        paint.Fill = grid.Color;
    paint.Text = grid.Cell(col, row);
    paint.Alignment = align;
    return paint;
}

void ClearRow(TStringGrid& grid, int row)
{
    for (int col = 0; col < grid.ColCount(); ++col)
        grid.SetCell(col, row, "");
}

}  // namespace

void TForm1::LayOutEditors()
{
    const TFont editorFont{"MS Sans Serif", 11, colors::Black};
    for (TStringGrid* grid : {&NodesGrid, &ZoneGrid, &LINK_Grid}) {
        grid->DefaultRowHeight = kGridRowHeight;
        grid->GridLineWidth = 1;
        grid->FixedRows = 1;
        grid->Color = colors::White;
        grid->Font = Font;
    }
    NodesGrid.SetParent(&TeTabSheet1);
    NodesGrid.SetColCount(3);
    NodesGrid.SetBounds(kNodesGridLeft, kNodesGridTop, 226, kMasterGridHeight);
    NodesGrid.PopupMenu = &TePopupMenu1;
    NodesGrid.OnDrawCell = [this](int col, int row, const TRect& rect) {
        return NodesGridDrawCell(col, row, rect);
    };
    NodesGrid.OnSelectCell = [this](int col, int row) { NodesGridSelectCell(col, row); };
    NodesGrid.OnDblClick = [this] { NodesGridDblClick(); };

    ZoneGrid.SetParent(&TeTabSheet1);
    ZoneGrid.SetColCount(2);
    ZoneGrid.SetBounds(kZoneGridLeft, kZoneGridTop, 195, kMasterGridHeight);
    ZoneGrid.OnDrawCell = [this](int col, int row, const TRect& rect) {
        return ZoneGridDrawCell(col, row, rect);
    };

    AddrEdit.SetParent(&TeTabSheet1);
    AddrEdit.SetBounds(40, 56, 73, 21);
    AddrEdit.SetRange(1, 247);
    AddrEdit.MaxLength = 3;
    AddrEdit.SetValue(1);
    AddrEdit.SpinButtonsLeft = true;
    AddrEdit.Font = editorFont;
    AddrEdit.SetVisible(false);
    AddrEdit.OnChange = [this] { AddrEditChange(); };
    AddrEdit.OnKeyDown = [this](std::uint16_t key) { AddrEditKeyDown(key); };

    LINK_Grid.SetParent(&TeTabSheet3);
    LINK_Grid.SetColCount(8);
    LINK_Grid.SetRowCount(9);
    LINK_Grid.SetBounds(12, 8, 450, 175);
    LINK_Grid.PopupMenu = &TePopupMenu2;
    LINK_Grid.OnDrawCell = [this](int col, int row, const TRect& rect) {
        return LINK_GridDrawCell(col, row, rect);
    };
    LINK_Grid.OnSelectCell = [this](int col, int row) { LINK_GridSelectCell(col, row); };
    LINK_Grid.OnDblClick = [this] { LINK_GridDblClick(); };

    ZoneEdit.SetParent(&TeTabSheet3);
    ZoneEdit.SetBounds(40, 40, 73, 21);
    ZoneEdit.SetRange(0, 65535);
    ZoneEdit.MaxLength = 5;
    ZoneEdit.SetValue(0);
    ZoneEdit.Font = editorFont;
    ZoneEdit.SetVisible(false);
    ZoneEdit.OnChange = [this] { ZoneEditChange(); };
    ZoneEdit.OnKeyDown = [this](std::uint16_t key) { ZoneEditKeyDown(key); };
}

void TForm1::BuildPopupMenus()
{
    TMenuItem& add =
        TePopupMenu1.Items.Add(std::make_unique<TMenuItem>("CustomItem13", "Добавить"));
    int number = 14;
    for (const TDeviceType& type : kDeviceCatalogue) {
        TMenuItem& item = add.Add(std::make_unique<TMenuItem>(
            "CustomItem" + std::to_string(number++), std::string(type.MenuCaption)));
        item.SetEnabled(type.MenuEnabled);
        const std::uint8_t code = type.Code;
        item.OnClick = [this, code](TMenuItem&) { AddNodeClick(code); };
    }
    auto command = [](TMenuItem& parent, const std::string& name, const std::string& caption,
                      std::function<void()> action) {
        TMenuItem& item = parent.Add(std::make_unique<TMenuItem>(name, caption));
        if (action)
            item.OnClick = [action = std::move(action)](TMenuItem&) { action(); };
    };
    command(TePopupMenu1.Items, "N1", "-", nullptr);
    command(TePopupMenu1.Items, "CustomItem30", "Удалить", [this] { DeleteNodeClick(); });
    command(TePopupMenu1.Items, "N2", "-", nullptr);
    command(TePopupMenu1.Items, "CustomItem31", "Сдвинуть вверх", [this] { MoveNodeUpClick(); });
    command(TePopupMenu1.Items, "CustomItem32", "Сдвинуть вниз", [this] { MoveNodeDownClick(); });

    command(TePopupMenu2.Items, "CustomItem33", "ОТКЛ.", [this] { LinkSwitchOffClick(); });
    command(TePopupMenu2.Items, "CustomItem34", "ВКЛ.", [this] { LinkSwitchOnClick(); });
    command(TePopupMenu2.Items, "N3", "-", nullptr);
    command(TePopupMenu2.Items, "CustomItem35", "ЗОНА", [this] { LinkZoneClick(); });
    command(TePopupMenu2.Items, "CustomItem36", "ПРИБОР /УЗЕЛ ",
            [this] { LinkDeviceClick(linkentry::Device); });
    // The А of the first parameter is the Cyrillic letter, B, C and D are Latin.
    command(TePopupMenu2.Items, "CustomItem37", "ПРИБОР /ПАРАМ. А",
            [this] { LinkDeviceClick(linkentry::ParameterA); });
    command(TePopupMenu2.Items, "CustomItem38", "ПРИБОР /ПАРАМ. B",
            [this] { LinkDeviceClick(linkentry::ParameterB); });
    command(TePopupMenu2.Items, "CustomItem39", "ПРИБОР /ПАРАМ. C",
            [this] { LinkDeviceClick(linkentry::ParameterC); });
    command(TePopupMenu2.Items, "CustomItem40", "ПРИБОР /ПАРАМ. D",
            [this] { LinkDeviceClick(linkentry::ParameterD); });
}

void TForm1::SetUpNodesGrid()
{
    NodesGrid.SetColWidth(0, 30);
    NodesGrid.SetColWidth(1, 130);
    NodesGrid.SetColWidth(2, 60);
    NodesGrid.SetCell(1, 0, tabtexts::kNodeType);
    NodesGrid.SetCell(2, 0, tabtexts::kNodeAddress);
    NodesGrid.SetBounds(NodesGrid.Left(), NodesGrid.Top(), 6 + NodesGrid.ColWidthSum(),
                        NodesGrid.Height());
    NodesGrid.SetRowCount(2);
}

void TForm1::SetUpZoneGrid()
{
    ZoneGrid.SetColWidth(0, 130);
    ZoneGrid.SetColWidth(1, 60);
    ZoneGrid.SetCell(0, 0, tabtexts::kZoneName);
    ZoneGrid.SetCell(1, 0, tabtexts::kIndicator);
    ZoneGrid.SetBounds(ZoneGrid.Left(), ZoneGrid.Top(), 5 + ZoneGrid.ColWidthSum(),
                       ZoneGrid.Height());
    ZoneGrid.SetRowCount(2);
}

void TForm1::ShowNodeList()
{
    if (Config.NodeCount == 0) {
        NodesGrid.SetRowCount(2);
        ClearRow(NodesGrid, 1);
    } else {
        const int selected = Config.SelectedNode;
        NodesGrid.SetRowCount(Config.NodeCount + 1);
        Config.SelectedNode = selected;
        for (int i = 0; i < Config.NodeCount; ++i) {
            const NodeRecord& node = Config.NodeTable[static_cast<std::size_t>(i)];
            NodesGrid.SetCell(0, i + 1, tabtexts::NodePosition(i));
            if (const auto text = tabtexts::NodeType(node.TypeCode))
                NodesGrid.SetCell(1, i + 1, *text);
            NodesGrid.SetCell(2, i + 1, tabtexts::NodeAddress(node.Address));
        }
        // Keep the selection near the view.
        const int s = Config.SelectedNode;
        if (NodesGrid.TopRow() - s == 2)
            NodesGrid.SetTopRow(NodesGrid.TopRow() - 1);
        if (s - NodesGrid.TopRow() > 14)
            NodesGrid.SetTopRow(NodesGrid.TopRow() + 1);
    }
    const int width = NodesGrid.VertScrollBarVisible()
                          ? NodesGrid.ColWidthSum() + NodesGrid.ScrollBarWidth + 8
                          : NodesGrid.ColWidthSum() + 6;
    NodesGrid.SetBounds(NodesGrid.Left(), NodesGrid.Top(), width, NodesGrid.Height());
    NodesGrid.SelectRow(Config.SelectedNode + 1);
    ShowZoneList();
}

void TForm1::ShowZoneList()
{
    if (Config.NodeCount == 0) {
        ZoneGrid.SetRowCount(2);
        ClearRow(ZoneGrid, 1);
    } else {
        const int selectedZone = Config.SelectedZone;
        const NodeRecord& node = Config.NodeTable[static_cast<std::size_t>(Config.SelectedNode)];
        // The header alone for a type without loops: the grid keeps a data row, shown empty.
        const int rows = ZoneGridRowCount(node.TypeCode);
        ZoneGrid.SetRowCount(rows);
        if (rows <= 1)
            ClearRow(ZoneGrid, 1);
        Config.SelectedZone = selectedZone;
        for (int r = 1; r < rows; ++r) {
            const TLoopSlot& slot = node.Loops[static_cast<std::size_t>(r - 1)];
            ZoneGrid.SetCell(0, r, tabtexts::ZoneName(slot));
            ZoneGrid.SetCell(1, r, tabtexts::ZoneIndicator(slot));
        }
    }
    const int width = ZoneGrid.VertScrollBarVisible()
                          ? ZoneGrid.ColWidthSum() + ZoneGrid.ScrollBarWidth + 7
                          : ZoneGrid.ColWidthSum() + 5;
    ZoneGrid.SetBounds(ZoneGrid.Left(), ZoneGrid.Top(), width, ZoneGrid.Height());
    ZoneGrid.SelectRow(Config.SelectedZone + 1);
}

TCellPaint TForm1::NodesGridDrawCell(int col, int row, const TRect& rect) const
{
    TAlignment align = TAlignment::taCenter;
    if (row >= NodesGrid.FixedRows && col == 1)
        align = TAlignment::taLeftJustify;
    return PlainCell(NodesGrid, col, row, rect, align);
}

TCellPaint TForm1::ZoneGridDrawCell(int col, int row, const TRect& rect) const
{
    TAlignment align = TAlignment::taCenter;
    if (row >= ZoneGrid.FixedRows && col == 0)
        align = TAlignment::taLeftJustify;
    return PlainCell(ZoneGrid, col, row, rect, align);
}

void TForm1::NodesGridSelectCell(int /*col*/, int row)
{
    if (Config.NodeCount == 0)
        return;
    if (AddrEdit.Visible()) {
        AddrEditChange();
        AddrEdit.SetVisible(false);
        AddrEdit.KillFocus();
    }
    Config.SelectedNode = row - 1;
    Config.SelectedZone = 0;
    ShowZoneList();
}

void TForm1::NodesGridDblClick()
{
    const int width =
        NodesGrid.ColWidth(2) + AddrEdit.SpinButtonWidth + AddrEdit.EditBorderWidth + 1;
    const int left = NodesGrid.Left() + NodesGrid.ColWidthSum() + 5 - width;
    const int step = NodesGrid.DefaultRowHeight + NodesGrid.GridLineWidth;
    const int m = Config.SelectedNode + 1 - NodesGrid.TopRow();
    const int top = m < 0 ? NodesGrid.Top() + 1 : NodesGrid.Top() + 1 + step * (m + 1);
    AddrEdit.SetBounds(left, top, width, AddrEdit.Height());
    AddrEdit.SetValue(Config.NodeTable[static_cast<std::size_t>(Config.SelectedNode)].Address);
    PendingEditor = 1;
    TimerX1.SetEnabled(true);
}

void TForm1::ShowInPlaceEditor(TSpinEdit& editor)
{
    editor.SetVisible(true);
    editor.SelectAll();
    editor.SetFocus();
}

void TForm1::TimerX1Timer()
{
    TimerX1.SetEnabled(false);
    if (PendingEditor == 1)
        ShowInPlaceEditor(AddrEdit);
    else if (PendingEditor == 2)
        ShowInPlaceEditor(ZoneEdit);
}

void TForm1::AddrEditChange()
{
    const std::uint8_t v = Config.NextFreeAddress(static_cast<std::uint8_t>(AddrEdit.Value()));
    AddrEdit.SetValue(v);
    Config.NodeTable[static_cast<std::size_t>(Config.SelectedNode)].Address = v;
    NodesGrid.SetCell(2, Config.SelectedNode + 1, tabtexts::NodeAddress(v));
}

void TForm1::AddrEditKeyDown(std::uint16_t key)
{
    if (key != vk::Return)
        return;
    AddrEditChange();
    AddrEdit.SetVisible(false);
    AddrEdit.KillFocus();
}

void TForm1::AddNodeClick(std::uint8_t type)
{
    if (Config.AddNode(type) == opresult::Done)
        ShowNodeList();
}

void TForm1::DeleteNodeClick()
{
    NodeCommand(&ConfigModel::DeleteNode);
}

void TForm1::MoveNodeUpClick()
{
    NodeCommand(&ConfigModel::MoveNodeUp);
}

void TForm1::MoveNodeDownClick()
{
    NodeCommand(&ConfigModel::MoveNodeDown);
}

void TForm1::NodeCommand(std::uint8_t (ConfigModel::*operation)())
{
    if ((Config.*operation)() == opresult::Done) {
        ShowNodeList();
        ShowZoneList();
    }
}

}  // namespace imconf
