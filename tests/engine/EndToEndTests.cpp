// The engine through the real serial component against imconf-sim on a pseudo-terminal.

#include "modbus/Engine.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace imconf;
using namespace std::chrono_literals;

namespace {

class Recorder : public EngineClient {
public:
    explicit Recorder(ProgramState& state) : state_(state) {}
    std::vector<std::vector<std::uint8_t>> replies;
    std::vector<std::string> errors;
    void DispatchReply() override
    {
        replies.emplace_back(state_.FrameBuffer.begin(),
                             state_.FrameBuffer.begin() + state_.RxLength);
    }
    void ShowGeneralError(const std::string& text) override { errors.push_back(text); }
    bool TakeReply() override { return false; }
    bool TransactionFailed() override { return false; }
    void Timer_ProgrammTimer() override {}
    // When reads began for the transaction in flight.
    EventLoop* loop = nullptr;
    std::vector<Micros> begun;
    void ReadBegun(bool forTransaction) override
    {
        if (forTransaction)
            begun.push_back(loop->Now());
    }

private:
    ProgramState& state_;
};

struct RealRig {
    testsupport::TSimProcess sim;
    StdEventLoop loop;
    ProgramState state;
    TComPort port;
    ComPortLine line{port, loop};
    TraceLog memo;
    Recorder client{state};
    TransactionEngine engine{loop, state, line, memo, client};

    explicit RealRig(std::vector<std::string> options) : sim(std::move(options))
    {
        port.SetPort(sim.Pty());
        port.Timeouts.ReadInterval = 150;
        client.loop = &loop;
    }
    bool RunUntilIdle()
    {
        return loop.RunUntil([this] { return !engine.TransactionInFlight(); }, 10s);
    }
};

}  // namespace

TEST(EngineEndToEnd, ReadsWritesAndTimesOutThroughTheRealPort)
{
    RealRig rig({"--address", "247"});
    ASSERT_TRUE(rig.sim.Running());

    rig.engine.SendReadRegisters(0x0000, 1);
    ASSERT_TRUE(rig.RunUntilIdle());
    ASSERT_EQ(rig.client.replies.size(), 1u);
    EXPECT_EQ(rig.client.replies[0],
              (std::vector<std::uint8_t>{0xF7, 0x03, 0x02, 0x00, 0x18, 0x70, 0x5B}));
    EXPECT_EQ(rig.memo.Lines(), (std::vector<std::string>{"TX : F7 03 00 00 00 01 90 9C ",
                                                          "RX : F7 03 02 00 18 70 5B "}));
    EXPECT_FALSE(rig.port.Connected()) << "the port is closed between transactions";

    std::array<std::uint16_t, 24> link{};
    for (std::size_t i = 0; i < link.size(); ++i)
        link[i] = static_cast<std::uint16_t>(0x1200 + i);
    const std::size_t length = BuildWriteRegisters(rig.state.FrameBuffer, 247, 0x0100, link);
    rig.engine.SendFrame(static_cast<std::uint16_t>(length), 8);
    ASSERT_TRUE(rig.RunUntilIdle());
    ASSERT_EQ(rig.client.replies.size(), 2u);
    EXPECT_EQ(rig.client.replies[1].size(), 8u);

    rig.engine.SendReadRegisters(0x0100, 32);
    ASSERT_TRUE(rig.RunUntilIdle());
    ASSERT_EQ(rig.client.replies.size(), 3u);
    const auto& reply = rig.client.replies[2];
    ASSERT_EQ(reply.size(), 69u);
    for (std::size_t i = 0; i < link.size(); ++i)
        EXPECT_EQ(ReadBe16(reply.data(), 3 + 2 * i), link[i]) << i;
    EXPECT_EQ(ReadBe16(reply.data(), 3 + 2 * 24), 24)
        << "registers beyond the link table keep their values";

    rig.state.DeviceAddress = 12;  // nobody there
    rig.engine.SendWriteRegister(0x0024, 0xA55A);
    ASSERT_TRUE(rig.RunUntilIdle());
    EXPECT_EQ(rig.memo.Last(), kTimeOutLine);
    EXPECT_TRUE(rig.client.errors.empty());
}

TEST(EngineEndToEnd, ShortExceptionReplyEndsOnSilence)
{
    RealRig rig({"--address", "247"});
    ASSERT_TRUE(rig.sim.Running());
    const auto start = rig.loop.Now();
    rig.engine.SendReadRegisters(0x0200, 32);  // outside the map: a 5-byte exception reply
    ASSERT_TRUE(rig.RunUntilIdle());
    ASSERT_EQ(rig.client.replies.size(), 1u);
    EXPECT_EQ(rig.client.replies[0].size(), 5u);
    EXPECT_EQ(rig.client.replies[0][1], 0x83);
    EXPECT_GE(rig.loop.Now() - start, Micros(150ms)) << "ended by the read's silence time-out";
    // The read was announced when its first bytes came, long before it ended.
    ASSERT_EQ(rig.client.begun.size(), 1u);
    EXPECT_GE(rig.loop.Now() - rig.client.begun[0], Micros(150ms));
}

TEST(EngineEndToEnd, MissingPortGivesThePortErrorLine)
{
    StdEventLoop loop;
    ProgramState state;
    TComPort port;
    port.SetPort("/nonexistent/ttyIMCONF");
    ComPortLine line{port, loop};
    TraceLog memo;
    Recorder client{state};
    TransactionEngine engine{loop, state, line, memo, client};
    engine.SendReadRegisters(0, 1);
    EXPECT_EQ(memo.Last(), "   : ОШИБКА ОТКРЫТИЯ ПОРТА /nonexistent/ttyIMCONF");
    EXPECT_FALSE(engine.TransactionInFlight());
}
