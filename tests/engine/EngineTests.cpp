// The transaction engine in virtual time against the in-process module simulator.

#include "modbus/Engine.h"
#include "modbus/Frames.h"

#include "LineTiming.h"
#include "ModuleSimulator.h"
#include "SimulatedLine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

using namespace imconf;
using namespace std::chrono_literals;

namespace {

struct Dispatch {
    Micros at{0};
    std::uint8_t replyKind = 0;
    std::uint8_t operationState = 0;
    std::vector<std::uint8_t> bytes;
};

// The engine with a recording client; the client can run a small operation of its own.
class Rig : public EngineClient {
public:
    VirtualEventLoop loop;
    ProgramState state;
    sim::TModuleSimulator module{247};
    SimulatedLine line{loop, module};
    TraceLog trace;
    TransactionEngine engine{loop, state, line, trace, *this};

    std::vector<Dispatch> dispatched;
    std::vector<std::string> calls;
    std::vector<std::string> errors;
    // Sequencer tick of the test's operation, if any.
    std::function<void()> programmTick;
    // Decides whether a failure call ends the operation (default: it does).
    bool failureEndsOperation = true;

    void DispatchReply() override
    {
        dispatched.push_back(
            {loop.Now(),
             state.ReplyKind,
             state.OperationState,
             {state.FrameBuffer.begin(), state.FrameBuffer.begin() + state.RxLength}});
    }
    void Failed(const char* name)
    {
        calls.push_back(name);
        if (failureEndsOperation)
            state.OperationState = opstate::Idle;
    }
    // The failure hook, routed by OperationState as the window does.
    bool TransactionFailed() override
    {
        const std::uint8_t op = state.OperationState;
        if (opstate::IsRead(op))
            Failed("ReadConfigFailed");
        else if (opstate::IsWrite(op))
            Failed("WriteConfigFailed");
        else if (op == opstate::Upgrade)
            Failed("UpgradeStepFailed");
        else if (op == opstate::Search)
            calls.push_back("SearchStepFailed");
        else
            return false;
        return true;
    }
    bool TakeReply() override { return false; }
    void Timer_ProgrammTimer() override
    {
        if (programmTick)
            programmTick();
    }
    void ShowGeneralError(const std::string& text) override { errors.push_back(text); }
    // What the client heard of received bytes, and what it does when a read begins.
    std::vector<std::string> news;
    std::function<void()> onReadBegun;
    void ReadBegun(bool forTransaction) override
    {
        news.push_back(forTransaction ? "begun for the transaction" : "begun, none in flight");
        if (onReadBegun)
            onReadBegun();
    }
    void BytesDropped() override { news.push_back("dropped"); }

    // A user command as the window's handlers do it: postponed while busy.
    void SoundOff()
    {
        if (state.OperationState == opstate::Search)
            return;
        if (engine.DeferCommandIfBusy([this] { SoundOff(); }))
            return;
        engine.SendWriteRegister(0x0024, 0xA55A);
    }
    void Block(std::uint16_t value)
    {
        if (engine.DeferCommandIfBusy([this, value] { Block(value); }))
            return;
        engine.SendWriteRegister(0x0023, value);
        state.ReplyKind = replykind::Block;
    }

    std::vector<std::string> Lines() const { return trace.Lines(); }
    void RunFor(Micros d) { loop.Advance(d); }
};

}  // namespace

TEST(Engine, CompleteReplyIsHandledFiveMillisecondsAfterItsLastByte)
{
    Rig rig;
    rig.SoundOff();
    EXPECT_TRUE(rig.engine.TransactionInFlight());
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{"TX : F7 06 00 24 A5 5A 26 3C ", "RX :"}));
    rig.RunFor(1s);

    ASSERT_EQ(rig.dispatched.size(), 1u);
    ASSERT_EQ(rig.line.Deliveries().size(), 1u);
    EXPECT_EQ(rig.line.Deliveries()[0].size, 8u);
    EXPECT_EQ(rig.dispatched[0].at, rig.line.Deliveries()[0].at + 5ms);
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{"TX : F7 06 00 24 A5 5A 26 3C ",
                                                     "RX : F7 06 00 24 A5 5A 26 3C "}));
    EXPECT_FALSE(rig.line.Connected());
    EXPECT_EQ(rig.state.RxLength, 0);
    EXPECT_EQ(rig.state.ReplyKind, replykind::None);
    EXPECT_EQ(rig.module.Module().SoundOffCount(), 1u);
}

TEST(Engine, ShortExceptionReplyIsHandledAfterTheLineFallsSilent)
{
    Rig rig;
    rig.engine.SendWriteRegister(0x0050, 1);  // outside the register map: exception reply
    rig.RunFor(1s);

    ASSERT_EQ(rig.dispatched.size(), 1u);
    const auto& request = rig.line.Requests().at(0);
    const Micros lastByte = request.doneAt + sim::kDefaultThinkTime + sim::LineTime(5, 9600);
    EXPECT_EQ(rig.dispatched[0].at, lastByte + 150ms + 5ms);
    ASSERT_EQ(rig.dispatched[0].bytes.size(), 5u);
    EXPECT_EQ(rig.dispatched[0].bytes[1], 0x86);
}

TEST(Engine, OneByteReplyFailsTheCrcAndIsShownWhenIdle)
{
    Rig rig;
    rig.line.Intercept = [](std::span<const std::uint8_t>) {
        return std::optional<sim::TReply>(sim::TReply{{0x42}, 1ms});
    };
    rig.SoundOff();
    rig.RunFor(1s);
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0].replyKind, replykind::BadCrc);
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{"TX : F7 06 00 24 A5 5A 26 3C ", "RX : 42 ",
                                                     "   : CRC ERROR."}));
}

TEST(Engine, NoAnswerTimesOutAfterTheResponseTime)
{
    Rig rig;
    rig.module.Module().Set(0x0001, 1);  // nobody at 247
    rig.SoundOff();
    rig.loop.RunUntil(Micros(350ms) - 1us);
    EXPECT_EQ(rig.Lines().back(), "RX :");
    rig.loop.RunUntil(350ms);
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{"TX : F7 06 00 24 A5 5A 26 3C ",
                                                     "RX :", "   : TIME OUT."}));
    EXPECT_FALSE(rig.line.Connected());
    EXPECT_TRUE(rig.dispatched.empty());
}

TEST(Engine, ReadTimeoutFollowsSpeedAndSearchDelay)
{
    Rig rig;
    const std::vector<std::pair<std::uint8_t, std::uint32_t>> expected{
        {0, 3000}, {1, 1500}, {2, 700}, {3, 350}, {7, 350}};
    for (auto [index, ms] : expected) {
        rig.state.BaudIndex = index;
        EXPECT_EQ(rig.engine.ReadTimeoutMs(), ms) << "BaudIndex " << int(index);
    }
    rig.state.OperationState = opstate::Search;
    rig.state.SearchDelay = 100;
    EXPECT_EQ(rig.engine.ReadTimeoutMs(), 100u);

    rig.state.OperationState = opstate::Idle;
    rig.state.BaudIndex = 3;
    rig.engine.SendReadRegisters(0x0120, 0);
    EXPECT_EQ(rig.state.ExpectedLength, 7);
    EXPECT_EQ(rig.engine.Timer_Rx.Interval(), 350u);
    rig.engine.SendWriteRegister(0x0023, 255);  // a new request re-arms the timer
    EXPECT_EQ(rig.state.ExpectedLength, 8);
}

TEST(Engine, FailuresGoToTheRunningOperation)
{
    struct Case {
        std::uint8_t op;
        const char* call;
    };
    for (const Case c :
         {Case{1, "ReadConfigFailed"}, Case{4, "ReadConfigFailed"}, Case{5, "ReadConfigFailed"},
          Case{6, "WriteConfigFailed"}, Case{10, "WriteConfigFailed"},
          Case{250, "UpgradeStepFailed"}, Case{254, "SearchStepFailed"}}) {
        for (bool badCrc : {false, true}) {
            Rig rig;
            if (badCrc) {
                rig.line.Intercept = [](std::span<const std::uint8_t>) {
                    return std::optional<sim::TReply>(sim::TReply{{0x01, 0x02, 0x03}, 1ms});
                };
            } else {
                rig.module.Module().Set(0x0001, 1);
            }
            rig.state.OperationState = c.op;
            rig.engine.SendReadRegisters(0x0100, 32);
            rig.RunFor(5s);
            ASSERT_FALSE(rig.calls.empty()) << int(c.op);
            EXPECT_EQ(rig.calls[0], c.call) << int(c.op);
            EXPECT_TRUE(rig.dispatched.empty()) << "bytes of a failed reply are not dispatched";
            for (const auto& line : rig.Lines()) {
                EXPECT_NE(line, kTimeOutLine);
                EXPECT_NE(line, kCrcErrorLine);
            }
        }
    }
}

TEST(Engine, CommandDuringAnOperationGoesOutBetweenStepsAndTheOperationResumesAt500ms)
{
    Rig rig;
    std::vector<Micros> stepSent;
    int step = 0;
    rig.programmTick = [&] {
        rig.engine.Timer_Programm.SetEnabled(false);
        if (step == 2) {
            rig.state.OperationState = opstate::Idle;
            return;
        }
        ++step;
        rig.state.OperationState =
            static_cast<std::uint8_t>(opstate::ReadRequested + step);  // the read's steps in turn
        stepSent.push_back(rig.loop.Now());
        rig.engine.SendReadRegisters(0x0100, 32);
        rig.state.ReplyKind = replykind::LinkArea;
    };
    rig.state.OperationState = opstate::ReadRequested;
    rig.engine.Timer_Programm.SetEnabled(true);
    rig.RunFor(20ms);
    ASSERT_EQ(stepSent.size(), 1u);
    ASSERT_TRUE(rig.engine.TransactionInFlight());

    rig.SoundOff();  // pressed while the first step waits for its reply
    EXPECT_EQ(rig.state.CommandDeferred, 1);
    EXPECT_EQ(rig.line.Requests().size(), 1u);

    rig.RunFor(3s);
    ASSERT_EQ(rig.dispatched.size(), 3u);
    const auto& requests = rig.line.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].bytes[1], 0x06) << "the command goes out between the steps";
    EXPECT_EQ(requests[1].writtenAt, rig.dispatched[0].at + 20ms);
    EXPECT_EQ(requests[2].bytes[1], 0x03);
    EXPECT_EQ(requests[2].writtenAt, rig.dispatched[1].at + 500ms);
    EXPECT_EQ(rig.dispatched[1].replyKind, replykind::None) << "sound-off leaves ReplyKind 0";
    EXPECT_EQ(rig.dispatched[2].replyKind, replykind::LinkArea);
}

TEST(Engine, TwoCommandsDuringOneTransactionSendOnlyTheLast)
{
    Rig rig;
    rig.state.OperationState = opstate::ReadLinkArea;
    rig.engine.SendReadRegisters(0x0100, 32);
    rig.SoundOff();
    rig.Block(255);
    rig.state.OperationState = opstate::Idle;  // the reply ends the operation
    rig.failureEndsOperation = true;
    rig.RunFor(3s);
    const auto& requests = rig.line.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].bytes,
              (std::vector<std::uint8_t>{0xF7, 0x06, 0x00, 0x23, 0x00, 0xFF, 0x2C, 0xD6}));
    EXPECT_EQ(rig.module.Module().SoundOffCount(), 0u);
}

TEST(Engine, CommandWhileIdleTransactionInFlightWaitsForIt)
{
    Rig rig;
    rig.SoundOff();
    rig.Block(255);  // no operation runs, yet the line is busy
    EXPECT_EQ(rig.line.Requests().size(), 1u);
    rig.RunFor(2s);
    ASSERT_EQ(rig.line.Requests().size(), 2u);
    EXPECT_GE(rig.line.Requests()[1].writtenAt, rig.dispatched.at(0).at);
    EXPECT_EQ(rig.dispatched.size(), 2u);
}

TEST(Engine, CommandsOwnFailureEndsTheInterruptedOperation)
{
    Rig rig;
    rig.state.OperationState = opstate::ReadNodeTypes;
    rig.engine.SendReadRegisters(0x0121, 32);
    rig.SoundOff();
    rig.module.Faults().Add({sim::TFaultKind::Drop, 2, 0.0, 0});  // the command's echo is lost
    rig.RunFor(3s);
    EXPECT_EQ(rig.calls, std::vector<std::string>{"ReadConfigFailed"});
    EXPECT_EQ(rig.state.OperationState, opstate::Idle);
    EXPECT_FALSE(rig.engine.Timer_Programm.Enabled());
}

TEST(Engine, PortStaysOpenAcrossSearchProbesAndClosesAfterStop)
{
    Rig rig;
    rig.module.Module().Set(0x0001, 200);
    rig.failureEndsOperation = false;
    rig.state.OperationState = opstate::Search;
    rig.state.SearchDelay = 100;
    int probes = 0;
    rig.programmTick = [&] {
        rig.engine.Timer_Programm.SetEnabled(false);
        rig.state.DeviceAddress = static_cast<std::uint8_t>(++probes);
        rig.engine.SendReadRegisters(0x0000, 1);
        rig.state.ReplyKind = replykind::SearchProbe;
    };
    rig.engine.Timer_Programm.SetInterval(5);
    rig.engine.Timer_Programm.SetEnabled(true);
    std::vector<Micros> sent;
    rig.RunFor(Micros(5 * 105ms + 10ms));
    for (const auto& r : rig.line.Requests())
        sent.push_back(r.writtenAt);
    EXPECT_EQ(sent, (std::vector<Micros>{5ms, 110ms, 215ms, 320ms, 425ms, 530ms}));
    EXPECT_EQ(probes, 6);
    ASSERT_TRUE(rig.engine.TransactionInFlight());
    EXPECT_EQ(rig.line.OpenCount(), 1);
    EXPECT_EQ(rig.line.CloseCount(), 0);
    EXPECT_EQ(std::count(rig.calls.begin(), rig.calls.end(), "SearchStepFailed"), 5);

    // Stop while probe 6 waits: the port stays open until that transaction ends.
    rig.state.OperationState = opstate::Idle;
    EXPECT_TRUE(rig.line.Connected());
    rig.RunFor(1s);
    EXPECT_FALSE(rig.line.Connected());
    EXPECT_EQ(rig.line.CloseCount(), 1);
    EXPECT_EQ(probes, 6);
    EXPECT_EQ(rig.Lines().back(), kTimeOutLine);
}

TEST(Engine, LateReplyIsDroppedWhenIdleButTakenByALaterSearchProbe)
{
    {
        Rig rig;  // idle: the reply after the time-out starts nothing
        rig.module.Faults().Add({sim::TFaultKind::Late, 1, 0.0, 500});
        rig.SoundOff();
        rig.RunFor(3s);
        EXPECT_TRUE(rig.dispatched.empty());
        EXPECT_EQ(rig.Lines().back(), kTimeOutLine);
        EXPECT_FALSE(rig.engine.TransactionInFlight());
        EXPECT_FALSE(rig.engine.Timer_Rx.Enabled());
    }
    {
        Rig rig;  // search: the late reply to probe 1 is taken as the reply to probe 2
        rig.failureEndsOperation = false;
        rig.module.Module().Set(0x0001, 1);
        rig.module.Faults().Add({sim::TFaultKind::Late, 1, 0.0, 200});
        rig.state.OperationState = opstate::Search;
        rig.state.SearchDelay = 100;
        int probes = 0;
        rig.programmTick = [&] {
            rig.engine.Timer_Programm.SetEnabled(false);
            if (probes == 3) {
                rig.state.OperationState = opstate::Idle;
                return;
            }
            rig.state.DeviceAddress = static_cast<std::uint8_t>(100 + ++probes);
            rig.engine.SendReadRegisters(0x0000, 1);
            rig.state.ReplyKind = replykind::SearchProbe;
        };
        rig.engine.Timer_Programm.SetInterval(5);
        rig.engine.Timer_Programm.SetEnabled(true);
        rig.state.DeviceAddress = 1;
        // Probe the module's address first so that it answers (late).
        rig.programmTick = [&, inner = rig.programmTick]() mutable {
            if (probes == 0) {
                rig.engine.Timer_Programm.SetEnabled(false);
                ++probes;
                rig.state.DeviceAddress = 1;
                rig.engine.SendReadRegisters(0x0000, 1);
                rig.state.ReplyKind = replykind::SearchProbe;
                return;
            }
            inner();
        };
        rig.RunFor(2s);
        ASSERT_EQ(rig.dispatched.size(), 1u);
        EXPECT_EQ(rig.dispatched[0].replyKind, replykind::SearchProbe);
        EXPECT_EQ(rig.dispatched[0].bytes.size(), 7u);
        EXPECT_GE(rig.line.Requests().size(), 2u);
    }
}

TEST(Engine, ClientHearsWhenAReadBeginsAndOfBytesNoTransactionTakes)
{
    Rig rig;
    rig.state.OperationState = opstate::Sweep;  // holds the port: late bytes still come in
    rig.module.Faults().Add({sim::TFaultKind::Late, 1, 0.0, 500});
    rig.engine.SendWriteRegister(0x0024, 0xA55A);  // its reply comes after the time-out
    rig.RunFor(2s);
    EXPECT_EQ(rig.news, (std::vector<std::string>{"begun, none in flight", "dropped"}));
    EXPECT_TRUE(rig.dispatched.empty());

    rig.news.clear();
    rig.module.Faults().Clear();
    rig.engine.SendWriteRegister(0x0024, 0xA55A);
    rig.RunFor(1s);
    EXPECT_EQ(rig.news, std::vector<std::string>{"begun for the transaction"});
    EXPECT_EQ(rig.dispatched.size(), 1u);
}

TEST(Engine, ResponseTimeIsExtendedWhenAReplyBeginsButNeverShortened)
{
    Rig rig;
    // An exception reply (5 bytes of 7) ends on the line's silence, 150 ms after it.
    rig.onReadBegun = [&] { rig.engine.ExtendResponse(200); };
    rig.engine.SendReadRegisters(0x7000, 1, 20);
    rig.RunFor(1s);
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0].bytes.size(), 5u);
    EXPECT_EQ(rig.dispatched[0].at, rig.line.Deliveries().back().at + 5ms);

    rig.onReadBegun = [&] { rig.engine.ExtendResponse(1); };
    rig.engine.SendReadRegisters(0x7000, 1);  // 350 ms at 9600 baud
    rig.RunFor(1s);
    EXPECT_EQ(rig.dispatched.size(), 2u);

    rig.onReadBegun = nullptr;
    rig.engine.SendReadRegisters(0x7000, 1, 20);  // not extended: the time-out comes first
    rig.RunFor(1s);
    EXPECT_EQ(rig.dispatched.size(), 2u);
    EXPECT_EQ(rig.Lines().back(), kTimeOutLine);
}

TEST(Engine, ReplyBetweenTwoSearchProbesIsHandedToTheNextProbe)
{
    Rig rig;
    rig.failureEndsOperation = false;
    rig.module.Module().Set(0x0001, 1);
    rig.state.OperationState = opstate::Search;
    rig.state.SearchDelay = 100;
    int probes = 0;
    rig.programmTick = [&] {
        rig.engine.Timer_Programm.SetEnabled(false);
        rig.state.DeviceAddress = static_cast<std::uint8_t>(100 + ++probes);
        rig.engine.SendReadRegisters(0x0000, 1);
        rig.state.ReplyKind = replykind::SearchProbe;
    };
    rig.engine.Timer_Programm.SetInterval(50);
    rig.engine.Timer_Programm.SetEnabled(true);
    rig.loop.RunUntil(151ms);  // probe 1 (at 50 ms) has timed out; probe 2 follows at 200 ms
    ASSERT_EQ(probes, 1);
    ASSERT_FALSE(rig.engine.TransactionInFlight());
    const std::vector<std::uint8_t> reply{0x01, 0x03, 0x02, 0x00, 0x18, 0xB8, 0x4E};
    rig.line.InjectFromLine(reply, 1ms);
    rig.loop.RunUntil(199ms);
    EXPECT_TRUE(rig.dispatched.empty()) << "no transaction of its own";
    rig.loop.RunUntil(250ms);
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0].at, Micros(205ms));
    EXPECT_EQ(rig.dispatched[0].bytes, reply);
    EXPECT_EQ(probes, 2);
}

TEST(Engine, PortThatCannotBeOpenedEndsReadOrWriteButNotTheSearch)
{
    for (std::uint8_t op :
         {opstate::Idle, opstate::ReadLinkArea, opstate::WriteLinkArea, opstate::Search}) {
        Rig rig;
        rig.failureEndsOperation = true;
        rig.line.SetPort("ttyUSB9");
        rig.line.OpenError = ENOENT;
        rig.state.OperationState = op;
        rig.engine.SendReadRegisters(0x0100, 32);
        EXPECT_FALSE(rig.engine.TransactionInFlight());
        EXPECT_EQ(rig.Lines().back(), "   : ОШИБКА ОТКРЫТИЯ ПОРТА ttyUSB9");
        EXPECT_TRUE(rig.line.Requests().empty());
        rig.RunFor(2s);
        if (op == opstate::ReadLinkArea)
            EXPECT_EQ(rig.calls, std::vector<std::string>{"ReadConfigFailed"});
        else if (op == opstate::WriteLinkArea)
            EXPECT_EQ(rig.calls, std::vector<std::string>{"WriteConfigFailed"});
        else
            EXPECT_TRUE(rig.calls.empty()) << int(op);
        EXPECT_EQ(rig.state.OperationState,
                  op == opstate::Search ? opstate::Search : opstate::Idle);
    }
}

TEST(Engine, WriteFailureIsReportedLikeAnOpenFailure)
{
    Rig rig;
    rig.line.WriteError = EIO;
    rig.SoundOff();
    EXPECT_EQ(rig.Lines().back(), "   : ОШИБКА ОТКРЫТИЯ ПОРТА COM1");
    EXPECT_FALSE(rig.engine.TransactionInFlight());
}

TEST(Engine, CloseErrorReachesTheGeneralReportAndTheTickCompletes)
{
    Rig rig;
    rig.state.OperationState = opstate::ReadLinkArea;
    rig.failureEndsOperation = false;
    int ticks = 0;
    rig.programmTick = [&] {
        rig.engine.Timer_Programm.SetEnabled(false);
        ++ticks;
    };
    rig.engine.SendReadRegisters(0x0100, 32);
    rig.line.CloseError = EIO;
    rig.RunFor(1s);
    ASSERT_FALSE(rig.errors.empty());
    EXPECT_NE(rig.errors[0].find("PurgeComm function failed"), std::string::npos);
    EXPECT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.state.RxLength, 0);
    EXPECT_EQ(ticks, 1) << "the operation goes on with its next step";
}

TEST(Engine, SendFrameWritesFromACopyAndTracesLongFrames)
{
    Rig rig;
    std::array<std::uint16_t, 24> link{};
    for (std::size_t i = 0; i < link.size(); ++i)
        link[i] = static_cast<std::uint16_t>(0x0200 + i);
    const std::size_t length = BuildWriteRegisters(rig.state.FrameBuffer, 247, 0x0100, link);
    const std::vector<std::uint8_t> frame(rig.state.FrameBuffer.begin(),
                                          rig.state.FrameBuffer.begin() + length);
    rig.engine.SendFrame(static_cast<std::uint16_t>(length), 8);
    EXPECT_EQ(rig.engine.Timer_Rx.Interval(), 1350u);
    ASSERT_EQ(rig.Lines().size(), 4u);  // 21 + 21 + 15 bytes, then the placeholder
    rig.RunFor(2s);
    EXPECT_EQ(rig.line.Requests().at(0).bytes, frame);
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0].bytes.size(), 8u);
    EXPECT_EQ(rig.module.Module().Get(0x0105).value_or(0), 0x0205);
}

TEST(Engine, EchoIsSaidOnceAPortAndCostsNothingOnceKnown)
{
    Rig rig;
    rig.line.Adapter.echo = true;
    rig.engine.SendReadRegisters(0x0000, 1);
    rig.RunFor(1s);
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0].bytes,
              (std::vector<std::uint8_t>{0xF7, 0x03, 0x02, 0x00, 0x18, 0x70, 0x5B}));
    // The reply's bytes alone, then the line said once, before the outcome of the dispatch.
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{"TX : F7 03 00 00 00 01 90 9C ",
                                                     "RX : F7 03 02 00 18 70 5B ", kEchoLine}));
    EXPECT_TRUE(rig.line.EchoExpected());

    // Known now: the reply is handled 5 ms after its last byte, as without echo.
    rig.engine.SendReadRegisters(0x0000, 1);
    rig.RunFor(1s);
    ASSERT_EQ(rig.dispatched.size(), 2u);
    const auto& request = rig.line.Requests().back();
    const Micros lastByte = request.doneAt + sim::kDefaultThinkTime + sim::LineTime(7, 9600);
    EXPECT_EQ(rig.dispatched[1].at, lastByte + 5ms);
    EXPECT_EQ(rig.Lines().size(), 2u);

    // Another port is another adapter: found and said again.
    rig.line.SetPort("COM2");
    rig.engine.SendReadRegisters(0x0000, 1);
    rig.RunFor(1s);
    EXPECT_EQ(rig.Lines().back(), kEchoLine);
}

TEST(Engine, SecondCopyOfARequestLongReplyIsDroppedAndProvesNoEcho)
{
    Rig rig;
    rig.line.Adapter.echo = true;
    rig.line.SetBaudRate(TBaudRate::br57600);
    rig.module.Module().Set(0x0002, 8);  // 57600 baud
    rig.module.SetThinkTime(1ms);        // the reply comes before the transaction has ended
    rig.SoundOff();
    rig.RunFor(1s);
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0].bytes, rig.line.Requests()[0].bytes);
    EXPECT_NE(rig.Lines().back(), kEchoLine);
    EXPECT_FALSE(rig.line.EchoExpected());
    EXPECT_EQ(rig.module.Module().SoundOffCount(), 1u);
    // A read shows the echo; from then on a command's echo is told from its reply.
    rig.module.SetThinkTime(3ms);
    rig.engine.SendReadRegisters(0, 1);
    rig.RunFor(1s);
    EXPECT_TRUE(rig.line.EchoExpected());
    ASSERT_EQ(rig.dispatched.size(), 2u);

    // Without a reply the echo alone is no answer.
    rig.module.Module().Set(0x0001, 1);
    rig.SoundOff();
    rig.RunFor(1s);
    EXPECT_EQ(rig.Lines().back(), kTimeOutLine);
    EXPECT_EQ(rig.dispatched.size(), 2u);
}
