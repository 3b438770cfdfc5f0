// Configuration read and write against the in-process simulator, in virtual time.

#include "AppTestSupport.h"
#include "config/Catalogue.h"
#include "modbus/Crc16.h"
#include "modbus/Text.h"

#include <gtest/gtest.h>

#include <random>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

const std::string kReadTitle = "   : чтение конфигурации модуля...";
const std::string kWriteTitle = "   : запись конфигурации модуля...";

struct Rig : WindowRig {
    Rig()
    {
        Create();
        form->FormActivate();
    }
    TForm1& F() { return *form; }
    sim::TModbusSlave& Module() { return module.Module(); }
    void SetRegister(std::uint16_t r, std::uint16_t v) { ASSERT_EQ(Module().Set(r, v), ""); }
    std::uint16_t Register(std::uint16_t r) { return Module().Get(r).value_or(0xDEAD); }
    // Runs until the operation is over and no transaction is in flight.
    bool RunToEnd(Micros limit = 20s)
    {
        return loop.RunUntil(
            [this] {
                return state.OperationState == opstate::Idle &&
                       !form->Engine.TransactionInFlight() && !form->Timer_Wait.Enabled();
            },
            limit);
    }
    std::vector<std::vector<std::uint8_t>> Sent() const
    {
        std::vector<std::vector<std::uint8_t>> frames;
        for (const auto& r : line.Requests())
            frames.push_back(r.bytes);
        return frames;
    }
    std::vector<std::string> Trace() const { return form->TeMemo1.Lines.Items(); }
};

void ExpectEnding(Rig& rig, const std::string& title, const std::string& outcome)
{
    EXPECT_EQ(rig.Trace(), (std::vector<std::string>{title, outcome}));
    EXPECT_TRUE(rig.F().TeMemo1.Visible());
    EXPECT_FALSE(rig.F().TeMemo2.Visible());
    EXPECT_FALSE(rig.F().TeProgressBar1.Visible());
    EXPECT_EQ(rig.state.OperationState, opstate::Idle);
}

}  // namespace

TEST(ConfigRead, FillsTheModelAndAllThreeGrids)
{
    Rig rig;
    for (std::uint16_t i = 0; i < 32; ++i)
        rig.SetRegister(static_cast<std::uint16_t>(0x0100 + i),
                        static_cast<std::uint16_t>(i < 24 ? 0x0200 + i : 0x4242));
    rig.SetRegister(0x0105, 0x1205);
    rig.SetRegister(0x0121, 22);
    rig.SetRegister(0x0122, 8);
    rig.SetRegister(0x0141, 10);
    rig.SetRegister(0x0142, 0x0311);  // only the low byte counts
    rig.SetRegister(0x0120, 2);

    TForm1& f = rig.F();
    f.TeButton5.Click();
    EXPECT_EQ(rig.state.OperationState, opstate::ReadRequested);
    EXPECT_TRUE(f.TeMemo2.Visible());
    EXPECT_EQ(f.TeMemo2.Lines.Items(), std::vector<std::string>{kReadTitle});
    EXPECT_EQ(f.TeProgressBar1.Max(), 5);
    EXPECT_EQ(f.TeProgressBar1.Position(), 1);

    // The link cells are written by the first reply, before the second step is sent.
    ASSERT_TRUE(rig.loop.RunUntil([&] { return f.TeProgressBar1.Position() == 2; }, 5s));
    EXPECT_EQ(rig.line.Requests().size(), 1u);
    EXPECT_EQ(f.LINK_Grid.Cell(1, 1), "ПР.-00");
    EXPECT_EQ(f.LINK_Grid.Cell(1, 6), "ПР.-05 /A");
    EXPECT_EQ(f.LINK_Grid.Cell(7, 8), "ПР.-23");

    ASSERT_TRUE(rig.RunToEnd());
    ExpectEnding(rig, kReadTitle, "   : ОК.");
    EXPECT_EQ(rig.config.LinkTable[23], 0x0217);
    ASSERT_EQ(rig.config.NodeCount, 2);
    EXPECT_EQ(rig.config.NodeTable[0].TypeCode, 22);
    EXPECT_EQ(rig.config.NodeTable[0].Address, 10);
    EXPECT_EQ(rig.config.NodeTable[1].TypeCode, 8);
    EXPECT_EQ(rig.config.NodeTable[1].Address, 0x11);
    EXPECT_EQ(rig.config.NodeTable[1].Loops[0].IndicatorIndex, 16);
    EXPECT_EQ(rig.config.NodeTable[1].Loops[3].IndicatorIndex, 19);
    EXPECT_EQ(rig.config.SelectedNode, 0);
    EXPECT_EQ(f.NodesGrid.RowCount(), 3);
    EXPECT_EQ(f.NodesGrid.Cell(2, 2), "017");
    EXPECT_EQ(f.ZoneGrid.RowCount(), 17);
    EXPECT_EQ(f.ZoneGrid.Cell(1, 16), "16");

    const auto sent = rig.Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(ReadBe16(sent[0].data(), 2), 0x0100);
    EXPECT_EQ(ReadBe16(sent[1].data(), 2), 0x0121);
    EXPECT_EQ(ReadBe16(sent[2].data(), 2), 0x0141);
    EXPECT_EQ(ReadBe16(sent[3].data(), 2), 0x0120);
    EXPECT_EQ(ReadBe16(sent[3].data(), 4), 1);
}

TEST(ConfigRead, CountAboveThirtyTwoIsCut)
{
    Rig rig;
    for (std::uint16_t i = 0; i < 32; ++i)
        rig.SetRegister(static_cast<std::uint16_t>(0x0121 + i), 4);  // one-loop nodes
    rig.SetRegister(0x0120, 32);
    rig.Module().Set(0x0120, 40);  // the simulator refuses the value as a setting...
    rig.line.Intercept = [&](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (frame.size() == 8 && frame[1] == 3 && ReadBe16(frame.data(), 2) == 0x0120) {
            std::vector<std::uint8_t> reply{247, 3, 2, 0, 40, 0, 0};
            PlaceCrc(reply.data(), 5);
            return sim::TReply{reply, 1ms};  // ...so a module with 40 is played here
        }
        return std::nullopt;
    };
    rig.F().TeButton5.Click();
    ASSERT_TRUE(rig.RunToEnd());
    EXPECT_EQ(rig.config.NodeCount, 32);
    EXPECT_EQ(rig.Trace().back(), "   : ОК.");
}

TEST(ConfigWrite, PutsTheModelIntoTheModuleByteExact)
{
    Rig rig;
    TForm1& f = rig.F();
    rig.config.AddNode(22);
    rig.config.AddNode(9);
    rig.config.NodeTable[1].Address = 77;
    rig.config.LinkTable[3] = 0x3207;
    f.TeButton2.Click();
    EXPECT_EQ(f.TeMemo2.Lines.Items(), std::vector<std::string>{kWriteTitle});
    EXPECT_EQ(f.TeProgressBar1.Max(), 4);
    ASSERT_TRUE(rig.RunToEnd());
    ExpectEnding(rig, kWriteTitle, "   : ОК.");
    EXPECT_EQ(f.TeProgressBar1.Position(), 4);

    EXPECT_EQ(rig.Register(0x0103), 0x3207);
    EXPECT_EQ(rig.Register(0x0121), 22);
    EXPECT_EQ(rig.Register(0x0122), 9);
    EXPECT_EQ(rig.Register(0x0123), 0x00FF);
    EXPECT_EQ(rig.Register(0x0141), 1);
    EXPECT_EQ(rig.Register(0x0142), 77);
    EXPECT_EQ(rig.Register(0x0120), 2);

    const auto sent = rig.Sent();
    ASSERT_EQ(sent.size(), 4u);
    ASSERT_EQ(sent[0].size(), 57u);
    EXPECT_EQ((std::vector<std::uint8_t>(sent[0].begin(), sent[0].begin() + 7)),
              (std::vector<std::uint8_t>{247, 0x10, 0x01, 0x00, 0x00, 0x18, 0x30}));
    EXPECT_EQ(sent[0][7 + 6], 0x32);
    EXPECT_EQ(sent[0][7 + 7], 0x07);
    EXPECT_TRUE(CrcMatches(sent[0].data(), 57));
    ASSERT_EQ(sent[1].size(), 73u);
    EXPECT_EQ((std::vector<std::uint8_t>(sent[1].begin(), sent[1].begin() + 7)),
              (std::vector<std::uint8_t>{247, 0x10, 0x01, 0x21, 0x00, 0x20, 0x40}));
    EXPECT_EQ(sent[2][3], 0x41);
    EXPECT_EQ(sent[3],
              (std::vector<std::uint8_t>{247, 6, 0x01, 0x20, 0, 2, sent[3][6], sent[3][7]}));
}

TEST(ConfigSequences, PortStaysOursFromTheFirstStepToTheLast)
{
    // Each step still opens and closes the line (trace and timing as ever), but the device is
    // opened once and kept between the steps, so no other program can take it; it is let go
    // when the operation ends, also when it fails half-way.
    Rig rig;
    rig.F().TeButton2.Click();
    ASSERT_TRUE(rig.RunToEnd());
    EXPECT_EQ(rig.line.OpenCount(), 4);
    EXPECT_EQ(rig.line.DeviceOpenCount(), 1);
    EXPECT_FALSE(rig.line.DeviceOpen());

    int seen = 0;
    rig.line.Intercept = [&](std::span<const std::uint8_t>) -> std::optional<sim::TReply> {
        if (++seen == 3)
            return sim::TReply{};  // no answer to the third step
        return std::nullopt;
    };
    rig.F().TeButton5.Click();
    ASSERT_TRUE(rig.RunToEnd());
    EXPECT_EQ(rig.Trace().back(), "   : ОШИБКА.");
    EXPECT_EQ(rig.line.DeviceOpenCount(), 2);
    EXPECT_FALSE(rig.line.DeviceOpen());
}

TEST(ConfigWrite, EmptyTableWritesFreePositionsAndCountZero)
{
    Rig rig;
    rig.SetRegister(0x0120, 5);
    rig.F().TeButton2.Click();
    ASSERT_TRUE(rig.RunToEnd());
    const auto sent = rig.Sent();
    ASSERT_EQ(sent.size(), 4u);
    for (int frame : {1, 2})
        for (int i = 0; i < 32; ++i) {
            EXPECT_EQ(sent[static_cast<std::size_t>(frame)][7 + 2 * i], 0x00);
            EXPECT_EQ(sent[static_cast<std::size_t>(frame)][8 + 2 * i], 0xFF);
        }
    EXPECT_EQ(ReadBe16(sent[3].data(), 4), 0);
    EXPECT_EQ(rig.Register(0x0120), 0);
}

TEST(ConfigSequences, EveryStepFailureEndsWithTheErrorEnding)
{
    enum class Fault { Timeout, BadCrc, Exception };
    for (bool write : {false, true})
        for (int step = 0; step < 4; ++step)
            for (Fault fault : {Fault::Timeout, Fault::BadCrc, Fault::Exception}) {
                Rig rig;
                int seen = 0;
                rig.line.Intercept =
                    [&](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
                    if (seen++ != step)
                        return std::nullopt;
                    if (fault == Fault::Timeout)
                        return sim::TReply{};
                    std::vector<std::uint8_t> reply{
                        frame[0], static_cast<std::uint8_t>(frame[1] | 0x80), 2, 0, 0};
                    PlaceCrc(reply.data(), 3);
                    if (fault == Fault::BadCrc)
                        reply[4] ^= 0xFF;
                    return sim::TReply{reply, 1ms};
                };
                const std::string title = write ? kWriteTitle : kReadTitle;
                (write ? rig.F().TeButton2 : rig.F().TeButton5).Click();
                ASSERT_TRUE(rig.RunToEnd()) << write << step;
                const std::string where = std::string(write ? "write" : "read") + " step " +
                                          std::to_string(step + 1) + " fault " +
                                          std::to_string(static_cast<int>(fault));
                if (write && fault == Fault::Exception && step < 3) {
                    // A refused block write does not stop the write, but its ending says so.
                    EXPECT_EQ(rig.line.Requests().size(), 4u) << where;
                    ExpectEnding(rig, title, "   : ОШИБКА.");
                    EXPECT_EQ(rig.F().TeProgressBar1.Position(), 1 + 2) << where;
                } else {
                    EXPECT_EQ(rig.line.Requests().size(), static_cast<std::size_t>(step + 1))
                        << where;
                    ExpectEnding(rig, title, "   : ОШИБКА.");
                }
            }
}

TEST(ConfigSequences, ExceptionToTheSecondReadStepKeepsTheLinkTable)
{
    Rig rig;
    rig.SetRegister(0x0100, 0x0207);
    int seen = 0;
    rig.line.Intercept = [&](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (seen++ != 1)
            return std::nullopt;
        std::vector<std::uint8_t> reply{frame[0], 0x83, 2, 0, 0};
        PlaceCrc(reply.data(), 3);
        return sim::TReply{reply, 1ms};
    };
    rig.F().TeButton5.Click();
    ASSERT_TRUE(rig.RunToEnd());
    ExpectEnding(rig, kReadTitle, "   : ОШИБКА.");
    EXPECT_EQ(rig.config.LinkTable[0], 0x0207);
}

TEST(ConfigSequences, PortGoneEndsTheSequenceAndKeepsThePortLine)
{
    for (int failAt : {0, 2}) {
        Rig rig;
        rig.line.SetPort("ttyUSB0");
        rig.F().TeButton5.Click();
        if (failAt > 0) {
            ASSERT_TRUE(rig.loop.RunUntil(
                [&] {
                    return rig.line.Requests().size() == 2 && !rig.F().Engine.TransactionInFlight();
                },
                5s));
        }
        rig.line.OpenError = ENOENT;
        ASSERT_TRUE(rig.RunToEnd());
        EXPECT_EQ(rig.Trace(),
                  (std::vector<std::string>{kReadTitle, "   : ОШИБКА ОТКРЫТИЯ ПОРТА ttyUSB0",
                                            "   : ОШИБКА."}));
        EXPECT_EQ(rig.state.OperationState, opstate::Idle);
        EXPECT_FALSE(rig.F().TeProgressBar1.Visible());
        rig.line.OpenError = 0;
        rig.F().TeButton5.Click();
        EXPECT_EQ(rig.state.OperationState, opstate::ReadRequested)
            << "the next press starts normally";
    }
}

TEST(ConfigSequences, ButtonsDoNothingWhileAnyOperationRuns)
{
    for (std::uint8_t op : {opstate::ReadRequested, opstate::ReadNodeTypes, opstate::WriteLinkArea,
                            opstate::Upgrade, opstate::Search}) {
        Rig rig;
        rig.state.OperationState = op;
        rig.F().TeButton5.Click();
        rig.F().TeButton2.Click();
        EXPECT_EQ(rig.state.OperationState, op);
        EXPECT_FALSE(rig.F().TeMemo2.Visible());
        EXPECT_FALSE(rig.F().Timer_Programm.Enabled());
    }
}

TEST(ConfigSequences, CommandDuringAReadGoesOutBetweenStepsAndTheReadResumesAt500ms)
{
    Rig rig;
    TForm1& f = rig.F();
    f.TeButton5.Click();
    ASSERT_TRUE(rig.loop.RunUntil([&] { return f.Engine.TransactionInFlight(); }, 1s));
    // A command as the window sends it (postponed while the step waits for its reply).
    std::function<void()> soundOff = [&] {
        if (f.Engine.DeferCommandIfBusy(soundOff))
            return;
        f.Engine.SendWriteRegister(0x0024, 0xA55A);
    };
    soundOff();
    ASSERT_TRUE(rig.RunToEnd());
    const auto& requests = rig.line.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[1].bytes[1], 0x06);
    EXPECT_EQ(rig.Module().SoundOffCount(), 1u);
    EXPECT_GE(requests[2].writtenAt - requests[1].doneAt, Micros(500ms));
    EXPECT_LT(requests[2].writtenAt - requests[1].doneAt, Micros(600ms));
    EXPECT_EQ(rig.Trace().back(), "   : ОК.");
}

TEST(ConfigSequences, RandomConfigurationsSurviveAWriteAndAReadBack)
{
    std::mt19937 random(20261209);
    const std::array<std::uint8_t, 9> codes{22, 24, 8, 9, 6, 5, 7, 4, 3};
    for (int round = 0; round < 40; ++round) {
        WindowRig writer;
        writer.Create();
        writer.form->FormActivate();
        ConfigModel& model = writer.config;
        const int wanted = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < wanted; ++i)
            model.AddNode(
                codes[std::uniform_int_distribution<std::size_t>(0, codes.size() - 1)(random)]);
        for (int i = 0; i < model.NodeCount; ++i)
            model.NodeTable[static_cast<std::size_t>(i)].Address =
                static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, 247)(random));
        for (auto& entry : model.LinkTable) {
            const std::uint16_t n =
                static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, 31)(random));
            const std::array<std::uint16_t, 8> kinds{
                static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, 511)(random)),
                static_cast<std::uint16_t>(0x0200 + n),
                static_cast<std::uint16_t>(0x1200 + n),
                static_cast<std::uint16_t>(0x2200 + n),
                static_cast<std::uint16_t>(0x3200 + n),
                static_cast<std::uint16_t>(0x4200 + n),
                static_cast<std::uint16_t>(0x0A00 + n),
                static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, 0xFFFF)(random))};
            entry = kinds[std::uniform_int_distribution<std::size_t>(0, kinds.size() - 1)(random)];
        }
        writer.form->TeButton2.Click();
        ASSERT_TRUE(writer.loop.RunUntil(
            [&] {
                return writer.state.OperationState == opstate::Idle &&
                       !writer.form->Engine.TransactionInFlight();
            },
            20s));
        ASSERT_EQ(writer.form->TeMemo1.Lines.Last(), "   : ОК.") << round;

        // A fresh window reads the module back.
        WindowRig reader;
        reader.Create();
        reader.form->FormActivate();
        // The reader's module gets the registers the write left in the writer's module.
        for (std::uint16_t r = 0x0100; r <= 0x0160; ++r)
            ASSERT_EQ(reader.module.Module().Set(r, writer.module.Module().Get(r).value_or(0)), "")
                << r;
        reader.form->TeButton5.Click();
        ASSERT_TRUE(reader.loop.RunUntil(
            [&] {
                return reader.state.OperationState == opstate::Idle &&
                       !reader.form->Engine.TransactionInFlight();
            },
            20s));
        ASSERT_EQ(reader.form->TeMemo1.Lines.Last(), "   : ОК.") << round;

        EXPECT_EQ(reader.config.LinkTable, model.LinkTable) << round;
        ASSERT_EQ(reader.config.NodeCount, model.NodeCount) << round;
        for (std::size_t i = 0; i < model.NodeCount; ++i) {
            const NodeRecord& a = model.NodeTable[i];
            const NodeRecord& b = reader.config.NodeTable[i];
            EXPECT_EQ(b.TypeCode, a.TypeCode) << round << " node " << i;
            EXPECT_EQ(b.Address, a.Address) << round << " node " << i;
            EXPECT_EQ(b.TypeName, a.TypeName);
            for (std::size_t k = 0; k < LoopCountOf(a.TypeCode); ++k) {
                EXPECT_EQ(b.Loops[k].Label, a.Loops[k].Label);
                EXPECT_EQ(b.Loops[k].IndicatorIndex, a.Loops[k].IndicatorIndex);
            }
        }
        for (int i = 0; i < model.NodeCount; ++i)
            EXPECT_EQ(reader.form->NodesGrid.Cell(2, i + 1),
                      FormatZeroPadded(model.NodeTable[static_cast<std::size_t>(i)].Address, 3));
    }
}

TEST(ConfigSequences, AnyReplyToTheLastStepEndsTheSequence)
{
    // Well-formed replies that are not the last step's answer: each ends the sequence with
    // its error ending, and the tool is idle again.
    auto reply = [](std::vector<std::uint8_t> bytes) {
        bytes.resize(bytes.size() + 2);
        PlaceCrc(bytes.data(), static_cast<std::uint16_t>(bytes.size() - 2));
        return bytes;
    };
    struct Case {
        bool write;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases{
        {false, reply({247, 0x2B, 0x0E, 0x01, 0x00})},
        {false, reply({247, 0x86, 0x02})},
        {false, reply({247, 0x90, 0x02})},
        {false, {0xFF, 0xFF}},  // the CRC of no bytes: noise passes the check
        {true, reply({247, 0x03, 0x02, 0x00, 0x02})},
        {true, reply({247, 0x83, 0x02})},
        {true, reply({247, 0x10, 0x01, 0x20, 0x00, 0x01})},
    };
    for (const Case& c : cases) {
        Rig rig;
        int seen = 0;
        rig.line.Intercept = [&](std::span<const std::uint8_t>) -> std::optional<sim::TReply> {
            if (seen++ != 3)
                return std::nullopt;
            return sim::TReply{c.bytes, 1ms};
        };
        (c.write ? rig.F().TeButton2 : rig.F().TeButton5).Click();
        ASSERT_TRUE(rig.RunToEnd()) << c.write << " " << int(c.bytes[1]);
        ExpectEnding(rig, c.write ? kWriteTitle : kReadTitle, "   : ОШИБКА.");
        EXPECT_FALSE(rig.F().Timer_Programm.Enabled());
        rig.F().TeButton5.Click();
        EXPECT_EQ(rig.state.OperationState, opstate::ReadRequested) << "the next press starts";
    }
}

TEST(ConfigSequences, RefusedCommandBetweenWriteStepsDoesNotSpoilTheWrite)
{
    Rig rig;
    TForm1& f = rig.F();
    rig.line.Intercept = [](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (frame[1] != 0x06 || frame[3] != 0x23)
            return std::nullopt;
        std::vector<std::uint8_t> refused{frame[0], 0x86, 0x02, 0, 0};
        PlaceCrc(refused.data(), 3);
        return sim::TReply{refused, 1ms};
    };
    f.TeButton2.Click();
    ASSERT_TRUE(rig.loop.RunUntil([&] { return f.Engine.TransactionInFlight(); }, 1s));
    f.TeButton3Click();  // block, postponed until the first step's reply
    ASSERT_TRUE(rig.RunToEnd());
    ASSERT_EQ(rig.line.Requests().size(), 5u);
    EXPECT_EQ(rig.line.Requests()[1].bytes[3], 0x23);
    ExpectEnding(rig, kWriteTitle, "   : ОК.");
    EXPECT_FALSE(f.TeCheckBox1.Checked());
}
