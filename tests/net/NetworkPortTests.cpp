// The network port over real loopback sockets: the engine through the serial component and
// its network device against a device server stand-in, with the network's faults.

#include "modbus/Engine.h"
#include "runtime/StdEventLoop.h"
#include "runtime/VirtualEventLoop.h"
#include "serial/ComDevice.h"
#include "serial/ComPortLine.h"

#include "LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace imconf;
using namespace imconf::nettest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kSoundOffTx = "TX : F7 06 00 24 A5 5A 26 3C ";
constexpr const char* kSoundOffRx = "RX : F7 06 00 24 A5 5A 26 3C ";

// Waits (bounded) for a condition that another thread makes true.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class Rig : public EngineClient {
public:
    StdEventLoop loop;
    ProgramState state;
    TComPort port;
    ComPortLine line{port, loop};
    TraceLog trace;
    TransactionEngine engine{loop, state, line, trace, *this};
    int replies = 0;

    explicit Rig(const std::string& name)
    {
        ApplyToolPortSettings(port);
        line.SetPort(name);
    }
    // One sound-off command to the end of its transaction; false when it did not end.
    bool SoundOff()
    {
        engine.SendWriteRegister(0x0024, 0xA55A);
        return loop.RunUntil([this] { return !engine.TransactionInFlight(); }, 10s);
    }
    std::string PortErrorLine() const { return std::string(kPortErrorLine) + port.Port(); }

    void DispatchReply() override { ++replies; }
    bool TransactionFailed() override { return false; }
    bool TakeReply() override { return false; }
    void Timer_ProgrammTimer() override {}
    void ShowGeneralError(const std::string&) override {}
};

}  // namespace

TEST(NetworkPort, ReplySplitOverSegmentsIsTakenWholeAndTheConnectionIsKept)
{
    LoopbackServer server;
    server.SetAnswer(LoopbackServer::Echo(40ms));
    Rig rig(server.Name());
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_EQ(rig.trace.Lines(), (std::vector<std::string>{kSoundOffTx, kSoundOffRx}));
    EXPECT_TRUE(rig.port.Connected()) << "kept for the next transaction";
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_EQ(rig.replies, 2);
    EXPECT_EQ(server.Accepted(), 1) << "one connection for both transactions";
}

TEST(NetworkPort, RefusedConnectionGivesThePortErrorLineAndTheNextWorksOnceTheServerIsUp)
{
    std::uint16_t port = 0;
    {
        LoopbackServer gone;
        port = gone.Port();
    }
    Rig rig("tcp://127.0.0.1:" + std::to_string(port));
    const auto start = Clock::now();
    rig.engine.SendWriteRegister(0x0024, 0xA55A);
    // Bounds far below the connect limit (3 s), not tight: starting the monitoring thread alone
    // takes a good part of 100 ms under wine on a busy machine.
    EXPECT_LT(Clock::now() - start, 1s) << "the sender never waits for the network";
    ASSERT_TRUE(rig.loop.RunUntil([&] { return !rig.engine.TransactionInFlight(); }, 10s));
    EXPECT_EQ(rig.trace.Lines(),
              (std::vector<std::string>{kSoundOffTx, "RX :", rig.PortErrorLine()}));

    LoopbackServer server(port);
    server.SetAnswer(LoopbackServer::Echo());
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_EQ(rig.trace.Last(), kSoundOffRx);
}

TEST(NetworkPort, HostThatNeverAnswersTheConnectGivesUpAndNeverHoldsUpClose)
{
    LoopbackServer server(0, -1);
    BacklogFiller filler(server.Port());

    auto device = OpenNetworkDevice(server.Name(), 300);
    device->StartMonitoring(evRxChar);
    const auto start = Clock::now();
    EXPECT_EQ(device->WaitEvents(), 0);
    EXPECT_GE(Clock::now() - start, 290ms);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(device->LinkState(), ComLinkState::Failed);

    // Through the component: Open and Close return at once while the connect waits (for up to
    // 3 s).
    TComPort port;
    port.SetPort(server.Name());
    auto begin = Clock::now();
    port.Open();
    EXPECT_EQ(port.LinkState(), ComLinkState::Connecting);
    port.Close();
    EXPECT_LT(Clock::now() - begin, 1s);
}

TEST(NetworkPort, ServerClosingMidReplyGivesACrcErrorAndTheNextTransactionReconnects)
{
    LoopbackServer server;
    server.SetAnswer(LoopbackServer::CloseAfter(3));
    Rig rig(server.Name());
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_EQ(rig.trace.Lines(),
              (std::vector<std::string>{kSoundOffTx, "RX : F7 06 00 ", kCrcErrorLine}));

    server.SetAnswer(LoopbackServer::Echo());
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_EQ(rig.trace.Last(), kSoundOffRx);
    EXPECT_EQ(server.Accepted(), 2);
}

TEST(NetworkPort, ServerRestartedBetweenTwoTransactionsIsConnectedAgain)
{
    auto first = std::make_unique<LoopbackServer>();
    first->SetAnswer(LoopbackServer::Echo());
    const std::uint16_t port = first->Port();
    Rig rig(first->Name());
    ASSERT_TRUE(rig.SoundOff());
    first.reset();
    ASSERT_TRUE(Eventually([&] { return rig.port.LinkState() == ComLinkState::Failed; }))
        << "the lost connection is noticed";

    LoopbackServer second(port);
    second.SetAnswer(LoopbackServer::Echo());
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_EQ(rig.trace.Last(), kSoundOffRx);
    EXPECT_EQ(second.Accepted(), 1);
}

TEST(NetworkPort, ServerThatNeverRepliesTimesOutAfterTheTimeOutAndItsAllowance)
{
    LoopbackServer server;
    server.SetAnswer(LoopbackServer::Silent());
    Rig rig(server.Name());
    rig.line.SetNetworkLatency(200);
    const auto start = Clock::now();
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_GE(Clock::now() - start, 350ms + 200ms);
    EXPECT_EQ(rig.trace.Last(), kTimeOutLine);

    server.SetAnswer(LoopbackServer::Echo());
    ASSERT_TRUE(rig.SoundOff());
    EXPECT_EQ(rig.trace.Last(), kSoundOffRx);
}

TEST(NetworkPort, KeptConnectionIsClosedAfterThirtyIdleSecondsAndWhenAnotherPortIsChosen)
{
    LoopbackServer server;
    VirtualEventLoop loop;
    TComPort port;
    ComPortLine line{port, loop};
    line.SetPort(server.Name());
    EXPECT_EQ(line.ResponseAllowanceMs(), kDefaultNetworkLatencyMs);
    EXPECT_FALSE(line.SpeedSwitchable());

    line.Open();
    ASSERT_TRUE(Eventually([&] { return line.LinkState() == ComLinkState::Ready; }));
    line.Close();
    loop.Advance(29900ms);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(server.Closed(), 0);
    loop.Advance(200ms);
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(Eventually([&] { return server.Closed() == 1; }));

    line.Open();
    ASSERT_TRUE(Eventually([&] { return line.LinkState() == ComLinkState::Ready; }));
    line.Close();
    line.SetPort(server.Name() + "?latency=40");
    EXPECT_FALSE(port.Connected()) << "the connection goes with its port";
    EXPECT_EQ(line.ResponseAllowanceMs(), 40u);
    line.SetPort("ttyS0");
    EXPECT_EQ(line.ResponseAllowanceMs(), 0u);
    EXPECT_TRUE(line.SpeedSwitchable());
}
