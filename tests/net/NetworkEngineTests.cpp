// The engine over a line that connects first (a network port), in virtual time: the request
// waits for the connection, a connection that cannot be made ends as a port failure, and
// every response time-out gets the line's allowance.

#include "modbus/Engine.h"

#include "ModuleSimulator.h"
#include "SimulatedLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace imconf;
using namespace std::chrono_literals;

namespace {

// The simulated line as a network port: connecting until the test says otherwise.
class ConnectingLine : public ForwardingLine {
public:
    using ForwardingLine::ForwardingLine;
    ComLinkState link = ComLinkState::Connecting;
    std::uint32_t allowance = 100;
    ComLinkState LinkState() override { return Connected() ? link : ComLinkState::Failed; }
    std::uint32_t ResponseAllowanceMs() const override { return allowance; }
};

class Rig : public EngineClient {
public:
    VirtualEventLoop loop;
    ProgramState state;
    sim::TModuleSimulator module{247};
    SimulatedLine sim{loop, module};
    ConnectingLine line{sim};
    TraceLog trace;
    TransactionEngine engine{loop, state, line, trace, *this};
    std::vector<std::string> calls;

    Rig() { sim.SetPort("tcp://127.0.0.1:4001"); }

    void DispatchReply() override { calls.push_back("DispatchReply"); }
    bool TransactionFailed() override
    {
        if (state.OperationState == opstate::Idle)
            return false;
        calls.push_back("Failed");
        state.OperationState = opstate::Idle;
        return true;
    }
    bool TakeReply() override { return false; }
    void Timer_ProgrammTimer() override {}
    void ShowGeneralError(const std::string& text) override { calls.push_back(text); }
};

}  // namespace

TEST(NetworkEngine, RequestWaitsForTheConnectionAndItsTimeOutStartsWhenItIsSent)
{
    Rig rig;
    rig.line.allowance = 0;
    rig.module.Module().Set(0x0001, 1);  // nobody answers at 247
    rig.engine.SendWriteRegister(0x0024, 0xA55A);
    rig.loop.Advance(2s);
    EXPECT_TRUE(rig.engine.TransactionInFlight()) << "still connecting";
    EXPECT_TRUE(rig.sim.Requests().empty()) << "nothing is sent before the connection is made";

    rig.line.link = ComLinkState::Ready;
    rig.loop.Advance(TransactionEngine::kConnectPollMs * 1ms);
    ASSERT_EQ(rig.sim.Requests().size(), 1u);
    const Micros sent = rig.sim.Requests()[0].writtenAt;
    rig.loop.RunUntil(sent + 350ms - 1us);
    EXPECT_EQ(rig.trace.Last(), "RX :");
    rig.loop.RunUntil(sent + 350ms);
    EXPECT_EQ(rig.trace.Last(), kTimeOutLine);
}

TEST(NetworkEngine, ConnectionThatCannotBeMadeGivesThePortErrorLineAndEndsTheStep)
{
    Rig rig;
    rig.state.OperationState = 2;  // a configuration read step
    rig.engine.SendReadRegisters(0x0100, 24);
    rig.state.ReplyKind = 4;
    rig.loop.Advance(500ms);
    rig.line.link = ComLinkState::Failed;
    rig.loop.Advance(20ms);

    EXPECT_FALSE(rig.engine.TransactionInFlight());
    EXPECT_TRUE(rig.sim.Requests().empty());
    EXPECT_EQ(rig.trace.Last(), std::string(kPortErrorLine) + "tcp://127.0.0.1:4001");
    EXPECT_EQ(rig.calls, (std::vector<std::string>{"Failed"}));
    EXPECT_EQ(rig.state.ReplyKind, replykind::None);
    EXPECT_FALSE(rig.sim.Connected()) << "a failed connection is not kept";
}

TEST(NetworkEngine, CommandWaitingForTheConnectionRunsAfterItFailed)
{
    Rig rig;
    rig.engine.SendWriteRegister(0x0024, 0xA55A);
    int commands = 0;
    EXPECT_TRUE(rig.engine.DeferCommandIfBusy([&] {
        ++commands;
        rig.engine.Timer_Wait.SetEnabled(false);
    }));
    rig.line.link = ComLinkState::Failed;
    rig.loop.Advance(100ms);
    EXPECT_EQ(commands, 1);
    EXPECT_EQ(rig.trace.Last(), std::string(kPortErrorLine) + "tcp://127.0.0.1:4001");
}

TEST(NetworkEngine, EveryResponseTimeOutGetsTheLinesAllowance)
{
    Rig rig;
    rig.line.link = ComLinkState::Ready;
    rig.line.allowance = 250;
    rig.module.Module().Set(0x0001, 1);  // nobody answers at 247
    rig.engine.SendReadRegisters(0x0000, 1);
    rig.loop.RunUntil(350ms + 250ms - 1us);
    EXPECT_EQ(rig.trace.Last(), "RX :");
    rig.loop.RunUntil(600ms);
    EXPECT_EQ(rig.trace.Last(), kTimeOutLine);

    // A reply slower than the plain time-out but within the allowance is no TIME OUT.
    rig.module.Module().Set(0x0001, 247);
    rig.module.SetThinkTime(500ms);
    rig.engine.SendWriteRegister(0x0024, 0xA55A);
    rig.loop.Advance(2s);
    EXPECT_EQ(rig.calls, (std::vector<std::string>{"DispatchReply"}));
}
