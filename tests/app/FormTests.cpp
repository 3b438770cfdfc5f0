// The headless main window: start-up, activation, pane switch and the connection menu.

#include "AppTestSupport.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::testing;

namespace {

std::vector<std::string> CheckedBaudItems(const TForm1& form)
{
    std::vector<std::string> checked;
    for (const TMenuItem* item : form.BaudItems)
        if (item->Checked())
            checked.push_back(item->Caption());
    return checked;
}

const std::string kUnreadable1 = "   : РЕЕСТР - ОШИБКА ДОСТУПА К СПИСКУ COM-ПОРТОВ.";
const std::string kUnreadable2 = "   : ЗАПРОС СПИСКА ИЗ ФАЙЛА \"COMPORTS.TXT\".....";
const std::string kNoFile = "   : ФАЙЛ \"\u0421OMPORTS.TXT\": - File not found.";

}  // namespace

TEST(Form1, StartsUpWithTheDefaults)
{
    WindowRig rig;
    rig.ports.Set({"ttyS0"});
    TForm1& form = rig.Create();

    EXPECT_EQ(form.Caption(), "СИРТА - МОДУЛЬ ИНДИКАЦИИ   (MODBUS-RTU)   V2.1 -2025");
    EXPECT_EQ(form.StatusBar1.PanelText(1), "BaudRate = 9600");
    EXPECT_EQ(form.StatusBar1.PanelText(2), "DEVICE : A = 247; Baud = 9600");
    EXPECT_EQ(form.TeLabel5.Caption(), "АДРЕС ПРИБОРА - 247");
    EXPECT_EQ(form.TeSpinEdit1.Value(), 247);
    EXPECT_EQ(form.TeSpinEdit2.Value(), 247);
    EXPECT_EQ(CheckedBaudItems(form), std::vector<std::string>{"9600"});
    EXPECT_TRUE(form.CustomItem8->Checked());
    EXPECT_EQ(form.CustomItem8->Caption(), "150ms");
    for (TMenuItem* item : {form.CustomItem7, form.CustomItem9, form.CustomItem10,
                            form.CustomItem11, form.CustomItem12})
        EXPECT_FALSE(item->Checked()) << item->Caption();
    EXPECT_FALSE(form.CustomItem27->Visible());
    EXPECT_FALSE(form.CustomItem27->Enabled());
    EXPECT_EQ(form.CustomItem27->Caption(), "Crypt Image");
    EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br9600);
    EXPECT_EQ(rig.state.DeviceAddress, 247);
    EXPECT_EQ(rig.state.BaudIndex, 3);
    EXPECT_EQ(rig.state.OperationState, opstate::Idle);
    EXPECT_EQ(rig.state.SearchDelay, 150);

    EXPECT_TRUE(form.TeMemo1.Visible());
    EXPECT_FALSE(form.TeMemo2.Visible());
    EXPECT_FALSE(form.TeProgressBar1.Visible());
    EXPECT_EQ(form.TeMemo1.Lines.Items(), (std::vector<std::string>{"TX :", "RX :"}));
    EXPECT_FALSE(form.TeCheckBox1.Enabled());
    EXPECT_FALSE(form.TeCheckBox1.Checked());
    EXPECT_EQ(form.TeSComboBox1.Text(), "9600");
    EXPECT_EQ(form.StatusBar1.PanelText(0), "ttyS0");
    EXPECT_FALSE(form.Timer_Rx.Enabled());
    EXPECT_FALSE(form.Timer_Programm.Enabled());
    EXPECT_FALSE(form.Timer_Wait.Enabled());
    EXPECT_FALSE(form.TimerX1.Enabled());
    EXPECT_EQ(form.Timer_Rx.Interval(), 5u);
    EXPECT_EQ(form.Timer_Programm.Interval(), 20u);
    EXPECT_EQ(form.TimerX1.Interval(), 50u);

    form.FormActivate();
    EXPECT_TRUE(form.TeMenuBar1.Focused());
}

TEST(Form1, ControlsSitWhereTheLayoutPutsThem)
{
    WindowRig rig;
    TForm1& form = rig.Create(false);
    struct Place {
        const TControl& control;
        const TControl* parent;
        int l, t, w, h;
    };
    const Place places[] = {
        {form.TeMenuBar1, &form, 3, 0, 152, 22},
        {form.TeGroupBox1, &form, 0, 24, 513, 489},
        {form.TePageControl1, &form.TeGroupBox1, 16, 22, 481, 291},
        {form.TeGroupBox2, &form.TeTabSheet3, 9, 194, 455, 64},
        {form.TeSpinEdit1, &form.TeGroupBox2, 176, 32, 65, 21},
        {form.TeButton5, &form.TeGroupBox1, 15, 326, 185, 30},
        {form.TeMemo2, &form.TeGroupBox1, 15, 368, 482, 104},
        {form.TeProgressBar1, &form.TeGroupBox1, 24, 448, 465, 16},
        {form.TeCheckBox1, &form.TeGroupBox1, 382, 16, 14, 14},
        {form.StatusBar1, &form, 0, 517, 514, 21},
    };
    for (const auto& p : places) {
        EXPECT_EQ(p.control.Parent(), p.parent) << p.control.Name();
        EXPECT_EQ((std::vector<int>{p.control.Left(), p.control.Top(), p.control.Width(),
                                    p.control.Height()}),
                  (std::vector<int>{p.l, p.t, p.w, p.h}))
            << p.control.Name();
    }
    EXPECT_EQ(form.StatusBar1.Panel(0).Width, 50);
    EXPECT_EQ(form.StatusBar1.Panel(1).Width, 100);
    EXPECT_EQ(form.StatusBar1.Panel(2).Alignment, TAlignment::taLeftJustify);
    EXPECT_EQ(form.TeGroupBox2.Caption(), "  ПАРАМЕТРЫ ИНТЕРФЕЙСА  ");
    EXPECT_EQ(form.TeButton5.Caption(), "&ЧТЕНИЕ КОНФИГА");
    EXPECT_EQ(form.Sound_Butt.Hint(), "Отключение звук. сигнализации");
}

TEST(Form1, SmallScreenFitShrinksAndWidensTheWindow)
{
    {
        WindowRig rig;
        rig.screen.height = 538 + 30 + 25;  // exactly enough
        TForm1& form = rig.Create();
        EXPECT_EQ(form.ClientHeight, 538);
        EXPECT_EQ(form.ClientWidth, 514);
        EXPECT_FALSE(form.VertScrollBarVisible);
    }
    {
        WindowRig rig;
        rig.screen.height = 480;
        TForm1& form = rig.Create();
        EXPECT_EQ(form.ClientHeight + rig.screen.frame, 480 - 25);
        EXPECT_EQ(form.ClientWidth, 514 + 17);
        EXPECT_TRUE(form.VertScrollBarVisible);
    }
}

TEST(Form1, PaneSwitchAroundALongOperation)
{
    WindowRig rig;
    TForm1& form = rig.Create();
    form.ShowOperationPanes(0, 5, 1, "   : чтение конфигурации модуля...");
    EXPECT_FALSE(form.TeMemo1.Visible());
    EXPECT_TRUE(form.TeMemo2.Visible());
    EXPECT_TRUE(form.TeProgressBar1.Visible());
    EXPECT_EQ(form.TeProgressBar1.Max(), 5);
    EXPECT_EQ(form.TeMemo2.Lines.Items(),
              std::vector<std::string>{"   : чтение конфигурации модуля..."});
    form.ShowTracePane();
    EXPECT_TRUE(form.TeMemo1.Visible());
    EXPECT_FALSE(form.TeMemo2.Visible());
    EXPECT_FALSE(form.TeProgressBar1.Visible());
}

TEST(Form1, TraceGoesIntoTheTracePaneInItsColour)
{
    WindowRig rig;
    TForm1& form = rig.Create();
    form.TeMemo1.SetFontColor(colors::Black);
    form.TeMemo1.Lines.Add("old line");
    form.Trace.ShowRequest({"TX : 01 ", "RX :"});
    EXPECT_EQ(form.TeMemo1.FontColor(), colors::Blue);
    form.Trace.ShowReply({"RX : 42 "});
    form.Trace.ShowLine("   : ОК.");
    EXPECT_EQ(form.TeMemo1.Lines.Items(),
              (std::vector<std::string>{"TX : 01 ", "RX : 42 ", "   : ОК."}));
}

TEST(PortMenu, ChoosesTheCurrentPortThenCom1ThenTheFirst)
{
    {
        WindowRig rig;
        rig.ports.Set({"COM3", "COM1"});
        rig.Create();
        EXPECT_EQ(rig.PortCaptions(), (std::vector<std::string>{"COM3", "COM1"}));
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{"COM1"});
        EXPECT_EQ(rig.form->StatusBar1.PanelText(0), "COM1");
    }
    {
        WindowRig rig;
        rig.ports.Set({"COM3", "COM4"});
        TForm1& form = rig.Create();
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{"COM3"});
        EXPECT_EQ(rig.line.Port(), "COM3");

        form.PORT1->Item(1).Click();  // the user picks COM4
        EXPECT_EQ(rig.line.Port(), "COM4");
        EXPECT_EQ(form.StatusBar1.PanelText(0), "COM4");
        form.TeMenuBar1.OnMouseDown();  // the next press on the menu bar rebuilds the list
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{"COM4"});
        EXPECT_EQ(rig.ports.reads, 2);
        EXPECT_EQ(form.PortItems[1], &form.PORT1->Item(1));

        rig.ports.Set({"COM3", "COM5"});  // COM4 unplugged: back to the first entry
        form.TeMenuBar1.OnMouseDown();
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{"COM3"});
        EXPECT_EQ(rig.line.Port(), "COM3");
    }
    {
        WindowRig rig;
        rig.ports.Set({"com1", "COM9"});  // names compare exactly
        rig.Create();
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{"com1"});
    }
}

TEST(PortMenu, UnreadableSystemListFallsBackToTheFile)
{
    WindowRig rig;
    rig.ports.ports.reset();
    std::string twelve;
    for (int i = 1; i <= 12; ++i)
        twelve += "COM" + std::to_string(i + 10) + "\n";
    rig.dir.Write("comports.txt", twelve);
    TForm1& form = rig.Create();
    EXPECT_EQ(form.PORT1->Count(), 10u);
    EXPECT_EQ(form.TeMemo1.Lines.Items(),
              (std::vector<std::string>{kUnreadable1, kUnreadable2, "   : OK."}));
    EXPECT_EQ(rig.line.Port(), "COM11");

    rig.state.OperationState = opstate::Search;  // also while an operation runs
    form.TeMemo1.Lines.Add("TX : something");
    form.TeMenuBar1.OnMouseDown();
    form.TeMenuBar1.OnMouseDown();
    EXPECT_EQ(form.TeMemo1.Lines.Items(),
              (std::vector<std::string>{kUnreadable1, kUnreadable2, "   : OK."}));
    EXPECT_EQ(form.PORT1->Count(), 10u);
}

TEST(PortMenu, FileChoiceFollowsTheSameRule)
{
    struct Case {
        const char* file;
        const char* current;
        const char* chosen;
    };
    for (const Case c : {Case{"COM5\nCOM1\n", "COM1", "COM1"}, Case{"COM5\nCOM1\n", "COM7", "COM1"},
                         Case{"COM5\n", "COM1", "COM5"}, Case{"COM5\r\nCOM6", "COM6", "COM6"}}) {
        WindowRig rig;
        rig.ports.ports.reset();
        rig.dir.Write("comports.txt", c.file);
        rig.line.SetPort(c.current);
        rig.Create();
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{c.chosen})
            << c.file << " / " << c.current;
        EXPECT_EQ(rig.line.Port(), c.chosen);
    }
}

TEST(PortMenu, MissingOrEmptyFile)
{
    {
        WindowRig rig;  // unreadable list, no file
        rig.ports.ports.reset();
        TForm1& form = rig.Create();
        EXPECT_EQ(form.TeMemo1.Lines.Items(),
                  (std::vector<std::string>{kUnreadable1, kUnreadable2, kNoFile}));
        EXPECT_EQ(form.PORT1->Count(), 0u);
        EXPECT_EQ(rig.line.Port(), "COM1");
    }
    {
        WindowRig rig;  // unreadable list, empty file: no entries, no choice, OK
        rig.ports.ports.reset();
        rig.dir.Write("comports.txt", "");
        TForm1& form = rig.Create();
        EXPECT_EQ(form.TeMemo1.Lines.Items(),
                  (std::vector<std::string>{kUnreadable1, kUnreadable2, "   : OK."}));
        EXPECT_EQ(form.PORT1->Count(), 0u);
        EXPECT_EQ(form.StatusBar1.PanelText(0), "");
    }
    {
        WindowRig rig;  // empty system list, no file: only the file error line
        TForm1& form = rig.Create();
        EXPECT_EQ(form.TeMemo1.Lines.Items(), std::vector<std::string>{kNoFile});
    }
    {
        WindowRig rig;  // empty system list, a file: its entries and no line at all
        rig.dir.Write("comports.txt", "ttyUSB3\n");
        TForm1& form = rig.Create();
        EXPECT_EQ(form.TeMemo1.Lines.Items(), (std::vector<std::string>{"TX :", "RX :"}));
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{"ttyUSB3"});
    }
}

TEST(PortMenu, ManyPortsAreAllListed)
{
    WindowRig rig;
    rig.ports.ports = std::vector<SystemPort>{};
    for (int i = 0; i < 40; ++i)
        rig.ports.ports->push_back({"ttyUSB" + std::to_string(i), "adapter " + std::to_string(i)});
    TForm1& form = rig.Create();
    ASSERT_EQ(form.PORT1->Count(), 40u);
    EXPECT_EQ(form.PORT1->Item(39).Hint(), "adapter 39");
    EXPECT_EQ(form.PortItems[31], &form.PORT1->Item(31));
    form.PORT1->Item(39).Click();
    EXPECT_EQ(rig.line.Port(), "ttyUSB39");
}

TEST(BaudRateMenu, SetsPanelPortSpeedAndBaudIndex)
{
    WindowRig rig;
    TForm1& form = rig.Create();
    form.BR_57600->Click();
    EXPECT_EQ(form.StatusBar1.PanelText(1), "BaudRate = 57600");
    EXPECT_EQ(rig.state.BaudIndex, 7);
    EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br57600);
    EXPECT_EQ(form.StatusBar1.PanelText(2), "DEVICE : A = 247; Baud = 9600");
    EXPECT_EQ(CheckedBaudItems(form), std::vector<std::string>{"57600"});
    form.BR_1200Click();
    EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br1200);
    EXPECT_EQ(rig.state.BaudIndex, 0);
    EXPECT_EQ(CheckedBaudItems(form), std::vector<std::string>{"1200"});
}

TEST(Form1, ErrorsOfAnEventReachTheGeneralErrorReport)
{
    WindowRig rig;
    TForm1& form = rig.Create();
    form.HandleEvent([] { throw EComPort(comerr::SetCommState, 22); });
    ASSERT_EQ(rig.dialogs.errors.size(), 1u);
    EXPECT_EQ(rig.dialogs.errors[0], "SetCommState function failed (win error code: 22)");
}
