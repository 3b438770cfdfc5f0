// The sweep over addresses and speeds against simulated devices on one line, in virtual time.

#include "AppTestSupport.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

constexpr std::uint8_t k1200 = 0;
constexpr std::uint8_t k9600 = 3;
constexpr std::uint8_t k19200 = 5;
constexpr std::uint8_t k57600 = 7;

struct Rig : WindowRig {
    OperationRecorder recorder;

    Rig()
    {
        Create();
        form->FormActivate();
        form->Observers.Add(recorder);
    }
    ~Rig() { form->Observers.Remove(recorder); }
    // The module (device 0) at `address` and the speed of `baudIndex`.
    void PlaceModule(std::uint8_t address, std::uint8_t baudIndex)
    {
        module.Module().Set(sim::reg::Address, address);
        module.Module().Set(sim::reg::Speed, static_cast<std::uint16_t>(baudIndex + 1));
    }
    bool Sweep(std::vector<std::uint8_t> speeds, bool all)
    {
        return Sweep({std::move(speeds), all});
    }
    bool Sweep(SweepPlan plan)
    {
        if (!form->Sweep.Start(std::move(plan)))
            return false;
        return loop.RunUntil(
            [this] {
                return state.OperationState == opstate::Idle && !form->Engine.TransactionInFlight();
            },
            10min);
    }
    const OperationOutcome& End() const { return recorder.ended.back(); }
};

}  // namespace

TEST(BusSweep, ModuleAtAnUnknownAddressAndSpeedIsFoundFastestFirst)
{
    Rig rig;
    rig.PlaceModule(5, k19200);
    ASSERT_TRUE(rig.Sweep(BusSweep::FastestFirst(), false));

    // 57600 and 38400 in full, then addresses 1 to 5 at 19200, all over one open port.
    ASSERT_EQ(rig.line.Requests().size(), 247u * 2 + 5);
    EXPECT_EQ(rig.line.Requests().front().baud, 57600u);
    EXPECT_EQ(rig.line.Requests()[247].baud, 38400u);
    const std::vector<std::uint8_t>& last = rig.line.Requests().back().bytes;
    EXPECT_EQ(std::vector<std::uint8_t>(last.begin(), last.begin() + 6),
              (std::vector<std::uint8_t>{5, 3, 0, 0, 0, 1}));
    EXPECT_EQ(rig.line.OpenCount(), 1);
    EXPECT_FALSE(rig.line.Connected());

    ASSERT_EQ(rig.form->Sweep.Answers().size(), 1u);
    const SweepAnswer& found = rig.form->Sweep.Answers()[0];
    EXPECT_EQ(found.address, 5);
    EXPECT_EQ(found.baudIndex, k19200);
    EXPECT_TRUE(found.IsModule());
    EXPECT_EQ(rig.recorder.started, std::vector<OperationKind>{OperationKind::Sweep});
    ASSERT_EQ(rig.recorder.ended.size(), 2u);
    EXPECT_EQ(rig.recorder.ended[0].operation, OperationKind::Identify);
    EXPECT_EQ(rig.recorder.ended[0].result, OutcomeKind::Done);
    EXPECT_EQ(rig.recorder.ended[0].value, k19200);
    EXPECT_EQ(rig.End().operation, OperationKind::Sweep);
    EXPECT_EQ(rig.End().result, OutcomeKind::Done);
    EXPECT_EQ(rig.End().address, 5);

    // The window's address and speed are as they were.
    EXPECT_EQ(rig.state.DeviceAddress, 247);
    EXPECT_EQ(rig.line.PortBaud(), 9600u);
    EXPECT_EQ(rig.form->TeSpinEdit1.Value(), 247);
}

TEST(BusSweep, AllGoesOnAndTellsTheModuleFromForeignDevicesAtEachSpeed)
{
    Rig rig;  // the module at 247, 9600 baud
    sim::TModbusSlave& meter = rig.module.AddDevice(12, 7);
    meter.Set(sim::reg::Speed, k1200 + 1);
    ASSERT_TRUE(rig.Sweep({k9600, k1200}, true));

    EXPECT_EQ(rig.line.Requests().size(), 247u * 2);
    const auto& answers = rig.form->Sweep.Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].address, 247);
    EXPECT_EQ(answers[0].baudIndex, k9600);
    EXPECT_TRUE(answers[0].IsModule());
    EXPECT_EQ(answers[1].address, 12);
    EXPECT_EQ(answers[1].baudIndex, k1200);
    EXPECT_EQ(answers[1].identification, std::optional<std::uint16_t>(7));
    EXPECT_FALSE(answers[1].IsModule());
    ASSERT_EQ(rig.recorder.ended.size(), 3u);
    EXPECT_EQ(rig.recorder.ended[1].result, OutcomeKind::Refused);
    EXPECT_EQ(rig.recorder.ended[1].address, 12);
    EXPECT_EQ(rig.End().result, OutcomeKind::Done);
    EXPECT_EQ(rig.End().address, 247);
}

TEST(BusSweep, ForeignDevicesAloneEndWithNotFound)
{
    Rig rig;
    rig.PlaceModule(247, k1200);
    rig.module.AddDevice(1, 7);
    ASSERT_TRUE(rig.Sweep({k9600}, false));
    EXPECT_EQ(rig.line.Requests().size(), 247u);
    EXPECT_EQ(rig.form->Sweep.Answers().size(), 1u);
    EXPECT_EQ(rig.End().result, OutcomeKind::NotFound);
}

TEST(BusSweep, WaitAtEachAddressFollowsTheSpeed)
{
    // The request, the longest reply and 20 ms.
    EXPECT_EQ(BusSweep::WaitMs(k1200), 125u + 20);
    EXPECT_EQ(BusSweep::WaitMs(k9600), 16u + 20);
    EXPECT_EQ(BusSweep::WaitMs(k57600), 3u + 20);

    Rig rig;
    rig.line.Intercept = [](std::span<const std::uint8_t>) { return sim::TReply{}; };
    const Micros begin = rig.loop.Now();
    ASSERT_TRUE(rig.Sweep(BusSweep::FastestFirst(), true));
    const Micros took = rig.loop.Now() - begin;
    EXPECT_EQ(rig.line.Requests().size(), 247u * 8);
    EXPECT_EQ(rig.End().result, OutcomeKind::NotFound);
    std::uint32_t waits = 0;
    for (std::uint8_t speed = 0; speed < 8; ++speed)
        waits += BusSweep::WaitMs(speed);
    // Each probe its wait, and at most 2 ms of pacing and timer rounding on top.
    EXPECT_GE(took, Micros(247 * waits * 1000));
    EXPECT_LE(took, Micros(247 * (waits + 8 * 2) * 1000));
}

TEST(BusSweep, LateReplyIsCreditedToItsSender)
{
    Rig rig;
    rig.PlaceModule(5, k57600);
    rig.module.SetThinkTime(30ms);  // longer than the 23 ms wait at 57600
    ASSERT_TRUE(rig.Sweep({k57600}, false));
    ASSERT_EQ(rig.form->Sweep.Answers().size(), 1u);
    EXPECT_EQ(rig.form->Sweep.Answers()[0].address, 5);
    EXPECT_EQ(rig.End().address, 5);
    EXPECT_EQ(rig.line.Requests().back().bytes[0], 6);  // read while 6 was probed
}

TEST(BusSweep, OneAddressWithALongerWaitTakesASlowAnswer)
{
    Rig rig;
    rig.PlaceModule(5, k57600);
    rig.module.SetThinkTime(30ms);
    ASSERT_TRUE(rig.Sweep({{k57600}, false, 5, 5, 350}));
    EXPECT_EQ(rig.line.Requests().size(), 1u);
    EXPECT_EQ(rig.End().result, OutcomeKind::Done);
    EXPECT_EQ(rig.End().address, 5);

    ASSERT_TRUE(rig.Sweep({{k57600}, false, 6, 6, 350}));
    EXPECT_EQ(rig.line.Requests().size(), 2u);
    EXPECT_EQ(rig.End().result, OutcomeKind::NotFound);
}

TEST(BusSweep, PortErrorEndsTheSweepAtOnce)
{
    Rig rig;
    rig.line.OpenError = 13;
    ASSERT_TRUE(rig.Sweep({k9600}, true));
    EXPECT_EQ(rig.End().operation, OperationKind::Sweep);
    EXPECT_EQ(rig.End().result, OutcomeKind::PortError);
    EXPECT_TRUE(rig.line.Requests().empty());
    EXPECT_EQ(rig.state.OperationState, opstate::Idle);
}

TEST(BusSweep, StopsAndRefusesToStartOverAnotherOperation)
{
    Rig rig;
    EXPECT_FALSE(rig.form->Sweep.Start({{}, true}));
    EXPECT_FALSE(rig.form->Sweep.Start({{8}, true}));
    ASSERT_TRUE(rig.form->Sweep.Start({{k57600}, true}));
    EXPECT_FALSE(rig.form->Sweep.Start({{k57600}, true}));
    rig.loop.Advance(200ms);
    rig.form->Sweep.Stop();
    EXPECT_EQ(rig.state.OperationState, opstate::Idle);
    EXPECT_EQ(rig.End().result, OutcomeKind::Stopped);
    EXPECT_EQ(rig.state.DeviceAddress, 247);
    EXPECT_EQ(rig.line.PortBaud(), 9600u);
    const std::size_t sent = rig.line.Requests().size();
    rig.loop.Advance(1s);
    EXPECT_EQ(rig.line.Requests().size(), sent);
    EXPECT_FALSE(rig.line.Connected());

    rig.form->TeButton5Click();  // a configuration read runs: no sweep over it
    EXPECT_FALSE(rig.form->Sweep.Start({{k57600}, true}));
}
