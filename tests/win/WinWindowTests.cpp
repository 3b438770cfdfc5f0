// The Win32 window in-process under wine: the real window over the real Win32 serial
// component, its rectangles at the monitor's DPI, its start-up texts and menus, the question
// box and the file dialog answered through their windows, and (with IMCONF_WINE_PORT naming a
// simulator's COM port) a bus search, a configuration read, an edit and a write-back.

#include "AppTestSupport.h"
#include "win/Dpi.h"
#include "win/Snapshot.h"
#include "win/ToolWindow.h"
#include "win/WinText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace imconf;
using namespace imconf::win;
using namespace std::chrono_literals;

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::wstring TextOf(HWND hwnd)
{
    wchar_t text[1024] = {};
    ::GetWindowTextW(hwnd, text, 1024);
    return text;
}

struct Tool {
    explicit Tool(const std::vector<std::string>& ports = {"COM5"})
    {
        auto list = std::make_unique<imconf::testing::FixedPortList>();
        portList = list.get();
        list->ports = std::vector<SystemPort>{};
        for (const std::string& name : ports)
            list->ports->push_back({name, "simulator"});
        tool = std::make_unique<ToolWindow>(dir.Path().string(), std::move(list));
        Pump([this] { return tool->Window().FormActivations() > 0; }, 10s);
    }
    bool Pump(const std::function<bool()>& done, Micros limit)
    {
        return tool->loop.PumpUntil(done, limit);
    }
    bool Idle() const
    {
        return tool->state.OperationState == opstate::Idle &&
               !tool->form.Engine.TransactionInFlight();
    }
    TForm1& form() { return tool->form; }
    MainWindow& window() { return tool->Window(); }

    imconf::testing::TempDir dir;
    imconf::testing::FixedPortList* portList = nullptr;
    std::unique_ptr<ToolWindow> tool;
};

// The rectangle of a window in its parent's client area.
RECT PlacedRect(HWND hwnd)
{
    RECT rect;
    ::GetWindowRect(hwnd, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(hwnd), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The caption of every entry of a native menu, with "*" after a checked one.
std::vector<std::wstring> Entries(HMENU menu)
{
    std::vector<std::wstring> entries;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STRING | MIIM_STATE | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = 256;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        std::wstring entry = (info.fType & MFT_SEPARATOR) != 0 ? L"-" : text;
        if ((info.fState & MFS_CHECKED) != 0)
            entry += L"*";
        entries.push_back(entry);
    }
    return entries;
}

// Picks the entry with this caption (on any level) as the user would; 0 when there is none.
UINT Choose(HMENU menu, const std::wstring& caption)
{
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            if (const UINT found = Choose(sub, caption))
                return found;
            continue;
        }
        wchar_t text[256] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        if (caption == text)
            return ::GetMenuItemID(menu, i);
    }
    return 0;
}

// A shown top-level window of this class on the thread (the question box's "#32770", an open
// menu's "#32768"), or nullptr.
HWND ShownWindowOfClass(DWORD thread, const std::wstring& className)
{
    struct Search {
        const std::wstring& name;
        HWND found = nullptr;
    } search{className};
    ::EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM data) {
            auto& s = *reinterpret_cast<Search*>(data);
            wchar_t cls[32] = {};
            ::GetClassNameW(hwnd, cls, 32);
            if (s.name == cls && ::IsWindowVisible(hwnd)) {
                s.found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Answers the next dialog box of the window's thread from a thread of its own, as a user
// would: `answer` reads the box and presses one of its buttons.
class DialogAnswerer {
public:
    DialogAnswerer(std::function<void(HWND box)> answer)
        : thread_([this, answer, ui = ::GetCurrentThreadId()] {
              const auto end = std::chrono::steady_clock::now() + 30s;
              while (std::chrono::steady_clock::now() < end) {
                  HWND box = ShownWindowOfClass(ui, L"#32770");
                  if (box != nullptr) {
                      answer(box);
                      answered_ = true;
                      return;
                  }
                  ::Sleep(20);  // the user's pace: the box is looked for again
              }
          })
    {
    }
    ~DialogAnswerer() { thread_.join(); }
    bool Answered() const { return answered_; }

private:
    std::atomic<bool> answered_{false};
    std::thread thread_;
};

}  // namespace

// With IMCONF_WINDOW_PICTURES naming a folder, the window's picture as the user guide shows it
// (scripts/screenshot-windows.sh).
void Picture(Tool& t, const std::string& name)
{
    const std::string folder = Env("IMCONF_WINDOW_PICTURES");
    if (folder.empty())
        return;
    HWND window = t.window().Handle();
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    t.Pump([] { return false; }, 300ms);
    EXPECT_TRUE(SaveClientPicture(window, Widen(folder + "\\" + name + ".bmp"))) << name;
}

// ---- the event loop ------------------------------------------------------------------------

TEST(WinEventLoop, TasksPostedFromAnotherThreadAndTicksRunOnTheWindowThreadNotEarly)
{
    Win32EventLoop loop;
    const DWORD ui = ::GetCurrentThreadId();
    std::atomic<DWORD> postedOn{0};
    std::thread other([&] { loop.Post([&] { postedOn = ::GetCurrentThreadId(); }); });
    other.join();
    ASSERT_TRUE(loop.PumpUntil([&] { return postedOn != 0u; }, 5s));
    EXPECT_EQ(postedOn, ui);

    // The end-of-reply tick, 5 ms, twenty times over.
    int ticks = 0;
    std::function<void()> tick = [&] {
        ++ticks;
        if (ticks < 20) {
            const Micros due = loop.Now() + std::chrono::milliseconds(5);
            loop.ScheduleAt(due, [&, due] {
                EXPECT_GE(loop.Now(), due);
                tick();
            });
        }
    };
    tick();
    ASSERT_TRUE(loop.PumpUntil([&] { return ticks == 20; }, 10s));
    EXPECT_EQ(loop.PendingTimers(), 0u);
}

// ---- without a module ----------------------------------------------------------------------

TEST(WinWindow, EveryControlLiesAtTheLayoutsRectangleScaledToTheMonitor)
{
    Tool t;
    TForm1& f = t.form();
    const int dpi = t.window().Dpi();
    if (const std::string expected = Env("IMCONF_EXPECT_DPI"); !expected.empty()) {
        ASSERT_EQ(dpi, std::stoi(expected)) << "the wine prefix's LogPixels";
    }
    const auto s = [dpi](int v) { return Scale(v, dpi); };

    RECT client;
    ::GetClientRect(t.window().Handle(), &client);
    EXPECT_EQ(client.right, s(kClientWidth));
    EXPECT_EQ(client.bottom, s(kClientHeight));
    const LONG style = ::GetWindowLongW(t.window().Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    const std::vector<const TControl*> controls{
        &f.TeGroupBox1,    &f.TePageControl1, &f.NodesGrid,    &f.ZoneGrid,    &f.TeGroupBox2,
        &f.TeLabel4,       &f.TeLabel5,       &f.TeSComboBox1, &f.TeSpinEdit1, &f.TeButton1,
        &f.TeSpinEdit2,    &f.TeButton5,      &f.TeButton2,    &f.TeMemo1,     &f.TeMemo2,
        &f.TeProgressBar1, &f.TeButton3,      &f.TeCheckBox1,  &f.Sound_Butt,  &f.StatusBar1,
        &f.LINK_Grid};
    for (const TControl* c : controls) {
        HWND hwnd = t.window().HandleOf(*c);
        ASSERT_NE(hwnd, nullptr) << c->Name();
        const RECT r = PlacedRect(hwnd);
        EXPECT_EQ(r.left, s(c->Left())) << c->Name();
        EXPECT_EQ(r.top, s(c->Top())) << c->Name();
        EXPECT_EQ(r.right - r.left, s(c->Width())) << c->Name();
        EXPECT_EQ(r.bottom - r.top, s(c->Height())) << c->Name();
    }
    // The menu bar sizes itself to its items.
    const RECT bar = PlacedRect(t.window().HandleOf(f.TeMenuBar1));
    EXPECT_EQ(bar.left, s(3));
    EXPECT_EQ(bar.top, 0);
    EXPECT_GE(bar.right - bar.left, s(152));
    EXPECT_EQ(bar.bottom - bar.top, s(22));
    // What the start-up shows and hides.
    EXPECT_TRUE(::IsWindowVisible(t.window().HandleOf(f.TeMemo1)));
    EXPECT_FALSE(::IsWindowVisible(t.window().HandleOf(f.TeMemo2)));
    EXPECT_FALSE(::IsWindowVisible(t.window().HandleOf(f.TeProgressBar1)));
    EXPECT_TRUE(::IsWindowVisible(t.window().HandleOf(f.NodesGrid)));
    EXPECT_FALSE(::IsWindowVisible(t.window().HandleOf(f.LINK_Grid))) << "on the second tab";
    EXPECT_FALSE(::IsWindowEnabled(t.window().HandleOf(f.TeCheckBox1)));
}

TEST(WinWindow, StartUpTexts)
{
    Tool t;
    TForm1& f = t.form();
    MainWindow& w = t.window();
    EXPECT_EQ(Narrow(TextOf(w.Handle())), kWindowTitle);
    EXPECT_EQ(Narrow(TextOf(w.HandleOf(f.TeLabel5))), "АДРЕС ПРИБОРА - 247");
    EXPECT_EQ(Narrow(TextOf(w.HandleOf(f.TeSpinEdit1))), "247");
    EXPECT_EQ(Narrow(TextOf(w.HandleOf(f.TeButton5))), "&ЧТЕНИЕ КОНФИГА");
    EXPECT_EQ(TextOf(w.HandleOf(f.TeMemo1)), L"TX :\r\nRX :");
    EXPECT_EQ(::SendMessageW(w.HandleOf(f.TeSComboBox1), CB_GETCURSEL, 0, 0), 3);
    HWND status = w.HandleOf(f.StatusBar1);
    ASSERT_EQ(::SendMessageW(status, SB_GETPARTS, 0, 0), 3);
    wchar_t text[256] = {};
    ::SendMessageW(status, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(Narrow(text), "\tBaudRate = 9600") << "centred";
    ::SendMessageW(status, SB_GETTEXTW, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(Narrow(text), "DEVICE : A = 247; Baud = 9600");
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = text;
    tab.cchTextMax = 256;
    ::SendMessageW(w.HandleOf(f.TePageControl1), TCM_GETITEMW, 1, reinterpret_cast<LPARAM>(&tab));
    EXPECT_EQ(Narrow(text), "РЕЖИМ <SLAVE>");
}

TEST(WinWindow, MenusShowTheMenuTreeWithItsMarksAndHiddenItems)
{
    Tool t;
    TForm1& f = t.form();
    MainWindow& w = t.window();
    std::vector<std::wstring> connection, speeds, search, delays, tools;
    const int portListReads = t.portList->reads;
    w.ChooseMenusWith([&](HMENU menu) {
        connection = Entries(menu);
        speeds = Entries(::GetSubMenu(menu, 1));
        return 0u;
    });
    w.PressMenuBarItem(0);
    w.ChooseMenusWith([&](HMENU menu) {
        search = Entries(menu);
        delays = Entries(::GetSubMenu(menu, 1));
        return 0u;
    });
    w.PressMenuBarItem(1);
    w.ChooseMenusWith([&](HMENU menu) {
        tools = Entries(menu);
        return 0u;
    });
    w.PressMenuBarItem(2);
    EXPECT_EQ(t.portList->reads, portListReads + 3)
        << "each press on the bar reads the port list again";
    EXPECT_EQ(connection, (std::vector<std::wstring>{L"Port", L"BaudRate"}));
    EXPECT_EQ(speeds, (std::vector<std::wstring>{L"1200", L"2400", L"4800", L"9600*", L"14400",
                                                 L"19200", L"38400", L"57600"}));
    EXPECT_EQ(search, (std::vector<std::wstring>{L"Start", L"Delay"}));
    EXPECT_EQ(delays, (std::vector<std::wstring>{L"100ms", L"150ms*", L"200ms", L"250ms", L"300ms",
                                                 L"350ms"}));
    EXPECT_EQ(tools, (std::vector<std::wstring>{L"Firmware Upgrade...", L"-"}))
        << "Crypt Image stays hidden";

    // The start-up gives the bar the focus: the keys move along it and open a menu.
    HWND bar = w.HandleOf(f.TeMenuBar1);
    EXPECT_EQ(::GetFocus(), bar);
    std::vector<std::wstring> opened;
    w.ChooseMenusWith([&](HMENU menu) {
        opened = Entries(menu);
        return 0u;
    });
    ::SendMessageW(bar, WM_KEYDOWN, VK_RIGHT, 0);
    ::SendMessageW(bar, WM_KEYDOWN, VK_RIGHT, 0);
    ::SendMessageW(bar, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(opened, search);

    // A choice goes to the item: the speed's mark moves.
    w.ChooseMenusWith([](HMENU menu) { return Choose(menu, L"19200"); });
    w.PressMenuBarItem(0);
    EXPECT_TRUE(f.BR_19200->Checked());
    EXPECT_FALSE(f.BR_9600->Checked());
}

TEST(WinWindow, WithABarMenuOpenTheMouseOnAnotherItemOfTheBarOpensThatItemsMenu)
{
    Tool t;
    MainWindow& w = t.window();
    const std::optional<RECT> search = w.MenuBarItemRect(1);
    ASSERT_TRUE(search.has_value());
    POINT over{(search->left + search->right) / 2, (search->top + search->bottom) / 2};
    ::ClientToScreen(w.HandleOf(t.form().TeMenuBar1), &over);
    // The user, on a thread of their own: with the first item's menu open, the mouse moves onto
    // the second item; once its menu shows, Escape closes it.
    std::vector<std::wstring> first, then;
    std::thread user([&, ui = ::GetCurrentThreadId()] {
        const auto shown = [ui] {
            HWND popup = ShownWindowOfClass(ui, L"#32768");
            return popup == nullptr
                       ? std::vector<std::wstring>{}
                       : Entries(reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0)));
        };
        const auto until = [](const std::function<bool()>& done) {
            const auto end = std::chrono::steady_clock::now() + 10s;
            while (!done() && std::chrono::steady_clock::now() < end)
                ::Sleep(20);  // the user's pace: the menu is looked at again
        };
        until([&] { return !(first = shown()).empty(); });
        // A menu that has just shown may not follow the mouse yet: like a user, the mouse keeps
        // moving a pixel to and fro over the item until its menu shows.
        int step = 0;
        until([&] {
            INPUT move{};
            move.type = INPUT_MOUSE;
            move.mi.dx =
                ::MulDiv(over.x + (step++ % 2), 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
            move.mi.dy = ::MulDiv(over.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
            move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
            ::SendInput(1, &move, sizeof(move));
            then = shown();
            return !then.empty() && then != first;
        });
        INPUT escape[2] = {};
        escape[0].type = escape[1].type = INPUT_KEYBOARD;
        escape[0].ki.wVk = escape[1].ki.wVk = VK_ESCAPE;
        escape[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(2, escape, sizeof(INPUT));
    });
    w.PressMenuBarItem(0);
    user.join();
    EXPECT_EQ(first, (std::vector<std::wstring>{L"Port", L"BaudRate"}));
    EXPECT_EQ(then, (std::vector<std::wstring>{L"Start", L"Delay"}));
}

TEST(WinWindow, TheSpinEditorsKeysAndCharactersGoThroughTheControl)
{
    Tool t;
    TForm1& f = t.form();
    HWND edit = t.window().HandleOf(f.TeSpinEdit2);
    ::SetFocus(edit);
    const auto key = [edit](WPARAM code) { ::SendMessageW(edit, WM_KEYDOWN, code, 0); };
    const auto type = [edit](wchar_t c) { ::SendMessageW(edit, WM_CHAR, c, 0); };
    key(VK_END);
    type(L'\b');
    type(L'x');  // refused by the control
    type(L'1');
    EXPECT_EQ(f.TeSpinEdit2.Text(), "241");
    EXPECT_EQ(TextOf(edit), L"241") << "the edit control shows the control's text";
    key(VK_HOME);
    key(VK_DELETE);
    type(L'9');
    EXPECT_EQ(f.TeSpinEdit2.Text(), "941") << "typed at the control's caret";
    key(VK_UP);
    EXPECT_EQ(TextOf(edit), L"247") << "a step clamps into the range";
}

TEST(WinWindow, TheFirmwareFileDialogShowsItsTitleAndName)
{
    Tool t;
    std::wstring title, name;
    DialogAnswerer answerer([&](HWND box) {
        title = TextOf(box);
        // The file name box: the combo box of the Explorer-style dialog, or the old edit.
        HWND field = ::GetDlgItem(box, 0x47c);
        if (field == nullptr)
            field = ::GetDlgItem(box, 0x480);
        name = TextOf(field);
        ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    });
    t.window().ChooseMenusWith([](HMENU menu) { return Choose(menu, L"Firmware Upgrade..."); });
    t.window().PressMenuBarItem(2);
    ASSERT_TRUE(answerer.Answered());
    EXPECT_EQ(Narrow(title), "    OPEN");
    EXPECT_EQ(Narrow(name), " -> ВЫБЕРИТЕ ФАЙЛ С ПРОШИВКОЙ...");
    EXPECT_EQ(ToWin32FileFilter("hex файлы|*.hex"), std::wstring(L"hex файлы\0*.hex\0\0", 17));
}

// ---- against the simulator -----------------------------------------------------------------

TEST(WinWindowSim, SearchReadEditAndWriteBackThroughTheWindow)
{
    const std::string port = Env("IMCONF_WINE_PORT");
    if (port.empty())
        GTEST_SKIP() << "IMCONF_WINE_PORT names no simulator port";
    Tool t({port});
    TForm1& f = t.form();
    MainWindow& w = t.window();

    // The bus search finds the module at address 6.
    w.ChooseMenusWith([](HMENU menu) { return Choose(menu, L"Start"); });
    w.PressMenuBarItem(1);
    ASSERT_TRUE(t.Pump([&] { return t.Idle() && f.CustomItem5->Caption() == "Start"; }, 120s));
    EXPECT_EQ(Narrow(TextOf(w.HandleOf(f.TeSpinEdit1))), "6");

    // The read fills the grids.
    const auto read = [&] {
        ::SendMessageW(w.HandleOf(f.TeButton5), BM_CLICK, 0, 0);
        return t.Pump([&] { return t.Idle(); }, 60s) && f.TeMemo1.Lines.Last() == "   : ОК.";
    };
    ASSERT_TRUE(read()) << f.TeMemo1.Lines.Text();
    EXPECT_EQ(t.tool->config.NodeCount, 3);
    EXPECT_FALSE(f.NodesGrid.Cell(1, 1).empty());
    Picture(t, "windows-master");

    // The link table's second tab; a click on the entry, its popup's "ОТКЛ." and the write.
    HWND tabs = w.HandleOf(f.TePageControl1);
    ::SendMessageW(tabs, TCM_SETCURSEL, 1, 0);
    NMHDR change{tabs, static_cast<UINT_PTR>(::GetDlgCtrlID(tabs)), TCN_SELCHANGE};
    ::SendMessageW(::GetParent(tabs), WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
    ASSERT_EQ(f.TePageControl1.ActivePageIndex(), 1u);
    HWND grid = w.HandleOf(f.LINK_Grid);
    ASSERT_TRUE(::IsWindowVisible(grid));
    const TRect cell = f.LINK_Grid.CellRect(1, 3);
    const int dpi = w.Dpi();
    const LPARAM at = MAKELPARAM(Scale(cell.Left + 2, dpi), Scale(cell.Top + 2, dpi));
    ::SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(grid, WM_LBUTTONUP, 0, at);
    const std::size_t entry = static_cast<std::size_t>(f.LinkGroup * 8 + f.LinkRow);
    const std::uint16_t before = t.tool->config.LinkTable[entry];
    w.ChooseMenusWith([](HMENU menu) { return Choose(menu, L"ОТКЛ."); });
    ::SendMessageW(grid, WM_RBUTTONDOWN, MK_RBUTTON, at);
    ::SendMessageW(grid, WM_RBUTTONUP, 0, at);
    const std::uint16_t edited = t.tool->config.LinkTable[entry];
    ASSERT_NE(edited, before) << "the popup's command changed the entry";
    Picture(t, "windows-slave");
    ::SendMessageW(w.HandleOf(f.TeButton2), BM_CLICK, 0, 0);
    ASSERT_TRUE(t.Pump([&] { return t.Idle(); }, 60s));
    EXPECT_EQ(f.TeMemo1.Lines.Last(), "   : ОК.") << f.TeMemo1.Lines.Text();

    // Read back from the module (Alt+Ч, the read button's accelerator): the edit is in its
    // registers.
    t.tool->config.LinkTable[entry] = before;
    ::SendMessageW(w.Handle(), WM_SYSCOMMAND, SC_KEYMENU, L'ч');
    ASSERT_TRUE(t.Pump([&] { return t.Idle(); }, 60s));
    ASSERT_EQ(f.TeMemo1.Lines.Last(), "   : ОК.") << f.TeMemo1.Lines.Text();
    EXPECT_EQ(t.tool->config.LinkTable[entry], edited);

    // The module takes a new speed and echoes it; the question whether the PC follows is a
    // warning box with Yes and No, answered No.
    HWND combo = t.window().HandleOf(f.TeSComboBox1);
    std::wstring question;
    bool icon = false, yes = false, no = false;
    DialogAnswerer answerer([&](HWND box) {
        ::EnumChildWindows(
            box,
            [](HWND child, LPARAM out) {
                auto& q = *reinterpret_cast<std::wstring*>(out);
                wchar_t cls[32] = {};
                ::GetClassNameW(child, cls, 32);
                if (std::wstring(cls) == L"Static")
                    q += TextOf(child);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&question));
        ::EnumChildWindows(
            box,
            [](HWND child, LPARAM out) {
                if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                    *reinterpret_cast<bool*>(out) = true;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&icon));
        yes = ::GetDlgItem(box, IDYES) != nullptr;
        no = ::GetDlgItem(box, IDNO) != nullptr;
        ::PostMessageW(box, WM_COMMAND, IDNO, 0);
    });
    // The user picks 19200 in the drop-down list.
    ::SendMessageW(combo, CB_SETCURSEL, 5, 0);
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
    ASSERT_TRUE(t.Pump([&] { return answerer.Answered(); }, 30s));
    EXPECT_NE(Narrow(question).find("Сменить скорость обмена COM-порта ПК?"), std::string::npos)
        << Narrow(question);
    EXPECT_TRUE(icon);
    EXPECT_TRUE(yes && no);
    EXPECT_TRUE(f.BR_9600->Checked()) << "answered No: the PC's speed stays";
}
