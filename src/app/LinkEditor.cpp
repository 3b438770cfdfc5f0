// The slave-mode editor: the link grid, its in-place number editor and its popup menu.

#include "app/Form1.h"
#include "app/TabTexts.h"
#include "modbus/Text.h"

#include <array>

namespace imconf {

namespace {

constexpr int kLinkGroups = 3;
constexpr int kLinkRows = 8;
constexpr std::array<int, 8> kLinkColumnWidths{57, 86, 5, 57, 86, 5, 57, 86};
constexpr int kSpacerGrowth = 2;

bool IsSpacer(int col)
{
    return col == 2 || col == 5;
}

int EntryColumn(int group)
{
    return 1 + 3 * group;
}

}  // namespace

std::uint16_t& TForm1::SelectedLinkEntry()
{
    return Config.LinkTable[static_cast<std::size_t>(LinkGroup * kLinkRows + LinkRow)];
}

void TForm1::ShowLinkEntry(std::size_t index)
{
    const int group = static_cast<int>(index / kLinkRows);
    const int row = static_cast<int>(index % kLinkRows) + 1;
    LINK_Grid.SetCell(EntryColumn(group), row, tabtexts::LinkText(Config.LinkTable[index]));
}

void TForm1::SetUpLinkGrid()
{
    for (int col = 0; col < static_cast<int>(kLinkColumnWidths.size()); ++col) {
        LINK_Grid.SetColWidth(col, kLinkColumnWidths[static_cast<std::size_t>(col)]);
        LINK_Grid.SetCell(
            col, 0,
            IsSpacer(col) ? "" : (col % 3 == 0 ? tabtexts::kIndicator : tabtexts::kLinkZone));
    }
    for (int r = 1; r <= kLinkRows; ++r) {
        const int i = r - 1;
        for (int group = 0; group < kLinkGroups; ++group) {
            const int index = i + kLinkRows * group;
            LINK_Grid.SetCell(3 * group, r,
                              tabtexts::LinkIndicator(static_cast<std::size_t>(index)));
            // Raw numbers: only a zone entry reads as its text until its cell is rewritten.
            LINK_Grid.SetCell(
                EntryColumn(group), r,
                FormatZeroPadded(Config.LinkTable[static_cast<std::size_t>(index)], 4));
        }
    }
    LINK_Grid.SetBounds(LINK_Grid.Left(), LINK_Grid.Top(), LINK_Grid.ColWidthSum() + 11,
                        LINK_Grid.Height());
    LINK_Grid.SetRowCount(9);
}

TCellPaint TForm1::LINK_GridDrawCell(int col, int row, const TRect& rect) const
{
    TCellPaint paint;
    const TColor columnColour = IsSpacer(col) ? colors::White : colors::SelectedRow;
    paint.FillRect = rect;
    if (IsSpacer(col)) {
        paint.FillRect.Left -= kSpacerGrowth;
        paint.FillRect.Top -= kSpacerGrowth;
        paint.FillRect.Right += kSpacerGrowth;
        paint.FillRect.Bottom += kSpacerGrowth;
    }
    if (row == LINK_Grid.Row() && row >= LINK_Grid.FixedRows)
        paint.Fill = columnColour;
    else if (row < LINK_Grid.FixedRows)
        paint.Fill = LINK_Grid.FixedColor;
    else
        paint.Fill = colors::White;
    paint.TextRect = paint.FillRect;
    paint.TextRect.Right -= 2;
    paint.Text = LINK_Grid.Cell(col, row);
    paint.Alignment = TAlignment::taCenter;
    return paint;
}

void TForm1::LINK_GridSelectCell(int col, int row)
{
    if (ZoneEdit.Visible()) {
        SelectedLinkEntry() = static_cast<std::uint16_t>(ZoneEdit.Value());
        ShowLinkEntry(static_cast<std::size_t>(LinkGroup * kLinkRows + LinkRow));
    }
    LinkGroup = col <= 2 ? 0 : (col <= 5 ? 1 : 2);
    LinkRow = row - 1;
    ZoneEdit.SetVisible(false);
    ZoneEdit.KillFocus();
}

void TForm1::LINK_GridDblClick()
{
    int x = 0;
    for (int col = 0; col < 3 * LinkGroup + 1; ++col)
        x += LINK_Grid.ColWidth(col);
    x += 3 * (LinkGroup + 1);
    const int step = LINK_Grid.DefaultRowHeight + LINK_Grid.GridLineWidth;
    const int m = LinkRow + 1 - LINK_Grid.TopRow();
    const int y = 2 + step * (m + 1);
    ZoneEdit.SetBounds(LINK_Grid.Left() + x, LINK_Grid.Top() + y - 2,
                       LINK_Grid.ColWidth(EntryColumn(LinkGroup)), ZoneEdit.Height());
    PendingEditor = 2;
    TimerX1.SetEnabled(true);
    ZoneEdit.SetValue(SelectedLinkEntry());
}

void TForm1::ZoneEditChange()
{
    SelectedLinkEntry() = static_cast<std::uint16_t>(ZoneEdit.Value());
    ShowLinkEntry(static_cast<std::size_t>(LinkGroup * kLinkRows + LinkRow));
}

void TForm1::ZoneEditKeyDown(std::uint16_t key)
{
    if (key != vk::Return)
        return;
    ZoneEditChange();
    ZoneEdit.SetVisible(false);
    ZoneEdit.KillFocus();
}

void TForm1::LinkSwitchOffClick()
{
    SelectedLinkEntry() |= linkentry::SwitchedOff;
    ShowLinkEntry(static_cast<std::size_t>(LinkGroup * kLinkRows + LinkRow));
}

void TForm1::LinkSwitchOnClick()
{
    SelectedLinkEntry() &= static_cast<std::uint16_t>(~linkentry::SwitchedOff);
    ShowLinkEntry(static_cast<std::size_t>(LinkGroup * kLinkRows + LinkRow));
}

void TForm1::LinkZoneClick()
{
    SelectedLinkEntry() &= linkentry::ZoneMask;
    ShowLinkEntry(static_cast<std::size_t>(LinkGroup * kLinkRows + LinkRow));
}

void TForm1::LinkDeviceClick(std::uint16_t kind)
{
    const std::uint8_t device = static_cast<std::uint8_t>(SelectedLinkEntry() & 0xFF);
    if (device >= linkentry::DeviceLimit)
        return;  // no device of that number can exist
    SelectedLinkEntry() = static_cast<std::uint16_t>(kind + device);
    ShowLinkEntry(static_cast<std::size_t>(LinkGroup * kLinkRows + LinkRow));
}

}  // namespace imconf
