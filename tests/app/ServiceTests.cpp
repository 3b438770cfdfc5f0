// Bus search and the interface commands against the in-process simulator, in virtual time.

#include "AppTestSupport.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

const std::string kFound = "   : ОБНАРУЖЕН ПРИБОР <СР.-ПУИ -МОДУЛЬ ИНДИКАЦИИ V.2> ПО АДРЕСУ ";
const std::string kNotFound = "   : ПРИБОР <СР.-ПУИ - МОДУЛЬ ИНДИКАЦИИ V.2> НЕ ОБНАРУЖЕН...";

struct Rig : WindowRig {
    explicit Rig(std::uint8_t moduleAddress = 247)
    {
        module.Module().Set(0x0001, moduleAddress);
        Create();
        form->FormActivate();
    }
    TForm1& F() { return *form; }
    bool RunToIdle(Micros limit = 60s)
    {
        return loop.RunUntil(
            [this] {
                return state.OperationState == opstate::Idle && !form->Engine.TransactionInFlight();
            },
            limit);
    }
    std::vector<std::string> Trace() const { return form->TeMemo1.Lines.Items(); }
    std::vector<std::uint8_t> LastRequest() const { return line.Requests().back().bytes; }
};

}  // namespace

TEST(BusSearch, ModuleAtAddressOneIsFoundByTheFirstProbe)
{
    Rig rig(1);
    rig.F().CustomItem5->Click();
    EXPECT_EQ(rig.F().CustomItem5->Caption(), "Stop");
    EXPECT_EQ(rig.state.OperationState, opstate::Search);
    EXPECT_TRUE(rig.F().TeProgressBar1.Visible());
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.Trace(),
              (std::vector<std::string>{"TX : 01 03 00 00 00 01 84 0A ",
                                        "RX : 01 03 02 00 18 B8 4E ", kFound + "001", "   : ОК."}));
    EXPECT_EQ(rig.line.Requests().size(), 1u);
    EXPECT_EQ(rig.state.DeviceAddress, 1);
    EXPECT_EQ(rig.F().TeSpinEdit1.Value(), 1);
    EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : A = 001; Baud = 9600;");
    EXPECT_EQ(rig.F().TeLabel5.Caption(), "АДРЕС ПРИБОРА - 001");
    EXPECT_EQ(rig.F().CustomItem5->Caption(), "Start");
    EXPECT_FALSE(rig.F().TeProgressBar1.Visible());
    EXPECT_FALSE(rig.line.Connected());
    EXPECT_EQ(rig.line.OpenCount(), 1);
}

TEST(BusSearch, LaterModuleIsFoundAfterEveryEarlierProbeTimedOut)
{
    Rig rig(200);
    rig.F().CustomItem7->Click();  // 100 ms
    EXPECT_EQ(rig.state.SearchDelay, 100);
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.RunToIdle(120s));
    EXPECT_EQ(rig.line.Requests().size(), 200u);
    EXPECT_EQ(rig.Trace()[2], kFound + "200");
    EXPECT_EQ(rig.state.DeviceAddress, 200);
    EXPECT_EQ(rig.line.OpenCount(), 1) << "the port stays open across the probes";
    // Probe k+1 is written 100 ms + 5 ms after probe k.
    const auto& r = rig.line.Requests();
    EXPECT_EQ(r[1].writtenAt - r[0].writtenAt, Micros(105ms));
    EXPECT_EQ(r[199].writtenAt - r[198].writtenAt, Micros(105ms));
}

TEST(BusSearch, EmptyBusEndsAfter247ProbesAndForeignDevicesArePassedOver)
{
    Rig rig(1);
    rig.module.Module().Set(0x0001, 12);
    rig.module.Module().Set(0x0000, 7);  // the only device answers 7: not the module
    rig.F().CustomItem7->Click();
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.RunToIdle(120s));
    ASSERT_EQ(rig.line.Requests().size(), 247u);
    EXPECT_EQ(rig.line.Requests().back().bytes[0], 247);
    EXPECT_EQ(rig.Trace().back(), kNotFound);
    EXPECT_EQ(rig.state.DeviceAddress, 247);
    EXPECT_EQ(rig.F().TeSpinEdit1.Value(), 247);
    EXPECT_EQ(rig.module.Module().RequestCount(), 1u)
        << "address 12 answered once and the search went on";
    EXPECT_FALSE(rig.line.Connected());
}

TEST(BusSearch, ForeignDeviceAt247EndsWithNotFoundAndNothingAbove)
{
    Rig rig(247);
    rig.module.Module().Set(0x0000, 7);
    rig.state.SearchDelay = 100;
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.RunToIdle(120s));
    EXPECT_EQ(rig.line.Requests().size(), 247u);
    const auto trace = rig.Trace();
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[trace.size() - 2], kNotFound) << "the not-found line comes before the OK";
    EXPECT_EQ(trace.back(), "   : ОК.");
    rig.loop.Advance(2s);
    EXPECT_EQ(rig.line.Requests().size(), 247u);
}

TEST(BusSearch, ExceptionAt247DoesNotPollAnAddressAbove)
{
    Rig rig(247);
    rig.line.Intercept = [](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (frame[0] != 247)
            return sim::TReply{};
        std::vector<std::uint8_t> reply{247, 0x83, 2, 0, 0};
        PlaceCrc(reply.data(), 3);
        return sim::TReply{reply, 1ms};
    };
    rig.state.SearchDelay = 100;
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.RunToIdle(120s));
    EXPECT_EQ(rig.line.Requests().size(), 247u);
    EXPECT_EQ(rig.Trace().back(), kNotFound);
}

TEST(BusSearch, StopAfterThirtyAndALateAnswerToTheLastProbe)
{
    Rig rig(30);
    rig.module.Faults().Add({sim::TFaultKind::Late, 1, 0.0, 50});  // the module answers late
    rig.F().CustomItem8->Click();                                  // 150 ms
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.loop.RunUntil([&] { return rig.line.Requests().size() == 30; }, 60s));
    rig.F().CustomItem5->Click();  // Stop while probe 30 waits
    EXPECT_EQ(rig.F().CustomItem5->Caption(), "Start");
    EXPECT_EQ(rig.state.DeviceAddress, 30);
    EXPECT_EQ(rig.F().TeSpinEdit1.Value(), 30);
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.Trace()[2], kFound + "030");
    EXPECT_FALSE(rig.line.Connected());
    rig.loop.Advance(1s);
    EXPECT_EQ(rig.line.Requests().size(), 30u);
}

TEST(BusSearch, StopBetweenTwoProbesClosesThePortAtOnce)
{
    Rig rig(200);
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.loop.RunUntil(
        [&] { return rig.line.Requests().size() == 3 && !rig.F().Engine.TransactionInFlight(); },
        60s));
    ASSERT_TRUE(rig.line.Connected());
    rig.F().CustomItem5->Click();
    EXPECT_FALSE(rig.line.Connected());
    EXPECT_FALSE(rig.line.DeviceOpen());
}

TEST(BusSearch, LateRepliesAreCreditedToTheirSenderNotToTheProbedAddress)
{
    // A foreign device at 3 answers with an exception, whose read ends only after 150 ms of
    // silence; or the module itself answers later than the delay. Either way its reply comes
    // in while a later address is probed: the module is still found at 4.
    for (bool foreignException : {true, false}) {
        Rig rig(4);
        rig.line.Intercept =
            [&](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
            if (foreignException && frame[0] == 3) {
                std::vector<std::uint8_t> refused{3, 0x83, 0x02, 0, 0};
                PlaceCrc(refused.data(), 3);
                return sim::TReply{refused, 1ms};
            }
            if (!foreignException && frame[0] == 4) {
                std::vector<std::uint8_t> identified{4, 0x03, 0x02, 0x00, 0x18, 0, 0};
                PlaceCrc(identified.data(), 5);
                return sim::TReply{identified, 200ms};
            }
            return std::nullopt;
        };
        rig.F().CustomItem8->Click();  // 150 ms
        rig.F().CustomItem5->Click();
        ASSERT_TRUE(rig.RunToIdle());
        const auto trace = rig.Trace();
        ASSERT_GE(trace.size(), 2u);
        EXPECT_EQ(trace[trace.size() - 2], kFound + "004") << foreignException;
        EXPECT_EQ(rig.state.DeviceAddress, 4);
        EXPECT_EQ(rig.F().TeSpinEdit1.Value(), 4);
        EXPECT_FALSE(rig.line.Connected());
    }
}

TEST(BusSearch, EndingWithoutAReplyOfItsOwnClosesThePort)
{
    // The search ends at the sequencer's tick, after a last reply that was no identification
    // or after the address editor was set to 247 between two probes.
    for (bool editor : {false, true}) {
        Rig rig(247);
        rig.line.Intercept = [](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
            std::vector<std::uint8_t> refused{frame[0], 0x83, 0x02, 0, 0};
            PlaceCrc(refused.data(), 3);
            return frame[0] == 247 ? sim::TReply{refused, 1ms} : sim::TReply{};
        };
        rig.F().CustomItem9->Click();  // 200 ms: the exception's read ends within it
        rig.F().CustomItem5->Click();
        if (editor) {
            ASSERT_TRUE(rig.loop.RunUntil(
                [&] {
                    return rig.line.Requests().size() == 2 && !rig.F().Engine.TransactionInFlight();
                },
                60s));
            rig.F().TeSpinEdit1.SetValue(247);
        }
        ASSERT_TRUE(rig.RunToIdle(120s));
        EXPECT_EQ(rig.Trace().back(), kNotFound);
        EXPECT_FALSE(rig.line.Connected()) << editor;
    }
}

TEST(BusSearch, DelayChosenDuringTheSearchAppliesFromTheNextProbe)
{
    Rig rig(100);
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.loop.RunUntil([&] { return rig.line.Requests().size() == 3; }, 60s));
    rig.F().CustomItem11->Click();  // 300ms
    EXPECT_TRUE(rig.F().CustomItem11->Checked());
    EXPECT_FALSE(rig.F().CustomItem8->Checked());
    ASSERT_TRUE(rig.loop.RunUntil([&] { return rig.line.Requests().size() == 6; }, 60s));
    const auto& r = rig.line.Requests();
    EXPECT_EQ(r[3].writtenAt - r[2].writtenAt, Micros(155ms));
    EXPECT_EQ(r[5].writtenAt - r[4].writtenAt, Micros(305ms));
}

TEST(BusSearch, CommandsDuringTheSearchSendNothing)
{
    Rig rig(200);
    rig.F().CustomItem5->Click();
    ASSERT_TRUE(rig.loop.RunUntil([&] { return rig.line.Requests().size() == 2; }, 60s));
    rig.F().Sound_Butt.Click();
    rig.F().TeButton3.Click();
    rig.F().TeButton1.Click();
    rig.F().TeSComboBox1.ChooseByUser(5);
    rig.F().TeSpinEdit1.SetValue(12);  // the editor still sets the address and the panel
    EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : A = 012; Baud = 9600;");
    rig.loop.Advance(200ms);
    for (const auto& request : rig.line.Requests())
        EXPECT_EQ(request.bytes[1], 0x03);
}

TEST(Commands, RequestsAreByteExact)
{
    Rig rig;
    rig.F().TeSpinEdit2.SetValue(5);
    rig.F().TeButton1.Click();
    EXPECT_EQ(rig.LastRequest(),
              (std::vector<std::uint8_t>{0xF7, 0x06, 0x00, 0x01, 0x00, 0x05, 0x0C, 0x9F}));
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.state.DeviceAddress, 5);
    EXPECT_EQ(rig.F().TeSpinEdit1.Value(), 5);
    EXPECT_EQ(rig.F().TeLabel5.Caption(), "АДРЕС ПРИБОРА - 005");
    EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : A = 005; Baud = 9600");
    EXPECT_EQ(rig.Trace().back(), "   : ОК.");

    rig.F().TeSpinEdit1.SetValue(247);
    rig.module.Module().Set(0x0001, 247);
    rig.dialogs.answerYes = false;
    rig.F().TeSComboBox1.ChooseByUser(5);  // "19200"
    EXPECT_EQ(rig.LastRequest(),
              (std::vector<std::uint8_t>{0xF7, 0x06, 0x00, 0x02, 0x00, 0x06, 0xBC, 0x9E}));
    ASSERT_TRUE(rig.RunToIdle());
    rig.module.Module().Set(0x0002, 4);  // keep the module at 9600 for the rest
    rig.F().TeButton3.Click();
    EXPECT_EQ(rig.LastRequest(),
              (std::vector<std::uint8_t>{0xF7, 0x06, 0x00, 0x23, 0x00, 0xFF, 0x2C, 0xD6}));
    ASSERT_TRUE(rig.RunToIdle());
    rig.F().Sound_Butt.Click();
    EXPECT_EQ(rig.LastRequest(),
              (std::vector<std::uint8_t>{0xF7, 0x06, 0x00, 0x24, 0xA5, 0x5A, 0x26, 0x3C}));
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.Trace().back(), "   : ОК.");
}

TEST(Commands, SpeedEchoAsksAndYesSwitchesThePort)
{
    for (bool yes : {true, false}) {
        Rig rig;
        rig.F().FormActivate();
        rig.config.AddNode(22);
        rig.config.LinkTable[2] = 0x0205;
        rig.F().ShowNodeList();
        rig.dialogs.answerYes = yes;
        rig.F().TeSComboBox1.ChooseByUser(5);
        ASSERT_TRUE(rig.RunToIdle());
        ASSERT_EQ(rig.dialogs.questions,
                  std::vector<std::string>{"Сменить скорость обмена COM-порта ПК?"});
        EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : А = 247; Baud = 19200");
        EXPECT_EQ(rig.state.BaudIndex, 5);
        EXPECT_EQ(rig.line.BaudRate(), yes ? TBaudRate::br19200 : TBaudRate::br9600);
        EXPECT_EQ(rig.F().BR_19200->Checked(), yes);
        EXPECT_EQ(rig.F().BR_9600->Checked(), !yes);
        EXPECT_EQ(rig.F().StatusBar1.PanelText(1), yes ? "BaudRate = 19200" : "BaudRate = 9600");
        EXPECT_EQ(rig.Trace().back(), "   : ОК.");
        // The grids still show the tables after the activation steps.
        EXPECT_EQ(rig.F().NodesGrid.Cell(1, 1), "  СИРТА-16И : 16ШС");
        EXPECT_EQ(rig.F().ZoneGrid.RowCount(), 17);
        EXPECT_EQ(rig.F().LINK_Grid.Cell(1, 3), "ПР.-05");
        if (yes) {
            // The tool keeps talking to the module at its new speed.
            rig.F().Sound_Butt.Click();
            ASSERT_TRUE(rig.RunToIdle());
            EXPECT_EQ(rig.Trace().back(), "   : ОК.");
        }
    }
}

TEST(Commands, EchoWithAnOddSpeedCodeGivesNinetySixHundred)
{
    for (std::uint8_t code : {std::uint8_t{0}, std::uint8_t{9}, std::uint8_t{200}}) {
        Rig rig;
        rig.dialogs.answerYes = false;
        rig.line.Intercept =
            [code](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
            std::vector<std::uint8_t> echo(frame.begin(), frame.end());
            echo[5] = code;
            PlaceCrc(echo.data(), 6);
            return sim::TReply{echo, 1ms};
        };
        rig.F().TeSComboBox1.ChooseByUser(6);
        ASSERT_TRUE(rig.RunToIdle());
        EXPECT_EQ(rig.state.BaudIndex, 3) << int(code);
        EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : А = 247; Baud = 9600");
    }
}

TEST(Commands, BlockMarkFollowsAcknowledgedPressesOnly)
{
    Rig rig;
    rig.F().TeButton3.Click();
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_TRUE(rig.F().TeCheckBox1.Checked());
    EXPECT_TRUE(rig.module.Module().Blocked());
    rig.F().TeButton3.Click();
    EXPECT_EQ(ReadBe16(rig.LastRequest().data(), 4), 0);
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_FALSE(rig.F().TeCheckBox1.Checked());

    rig.module.Faults().Add({sim::TFaultKind::Drop, 1, 0.0, 0});
    rig.F().TeButton3.Click();
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.Trace().back(), "   : TIME OUT.");
    EXPECT_FALSE(rig.F().TeCheckBox1.Checked());
    rig.module.Faults().Clear();
    rig.line.Intercept = [](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        std::vector<std::uint8_t> reply{frame[0], 0x86, 4, 0, 0};
        PlaceCrc(reply.data(), 3);
        return sim::TReply{reply, 1ms};
    };
    rig.F().TeButton3.Click();
    EXPECT_EQ(ReadBe16(rig.LastRequest().data(), 4), 255) << "the same value again";
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.Trace().back(), "   : ОШИБКА.");
    EXPECT_FALSE(rig.F().TeCheckBox1.Checked());
}

TEST(Commands, EnterInTheAddressEditorAppliesIt)
{
    Rig rig;
    rig.F().TeSpinEdit1.SelectAll();
    rig.F().TeSpinEdit1.KeyPress('3');
    rig.F().TeSpinEdit1.KeyPress('0');
    rig.F().TeSpinEdit1.KeyPress('0');  // past MaxLength? no: three digits, 300 reads as 247
    rig.F().TeSpinEdit1.KeyPress(13);
    EXPECT_EQ(rig.F().TeSpinEdit1.Text(), "247");
    EXPECT_EQ(rig.state.DeviceAddress, 247);
    EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : A = 247; Baud = 9600;");
}

TEST(Commands, PortErrorLeavesNothingAwaited)
{
    Rig rig;
    rig.line.OpenError = EBUSY;
    rig.F().TeButton1.Click();
    EXPECT_EQ(rig.Trace().back(), "   : ОШИБКА ОТКРЫТИЯ ПОРТА COM1");
    EXPECT_EQ(rig.state.ReplyKind, replykind::None);
    rig.line.OpenError = 0;
    rig.F().Sound_Butt.Click();  // its echo must not be taken for an address change
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.state.DeviceAddress, 247);
}
