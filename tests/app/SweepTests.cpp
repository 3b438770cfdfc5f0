// The sweep over addresses and speeds against simulated devices on one line, in virtual time.

#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(BusSweep, EmptyLineAtAllSpeedsTakesUnderAMinute)
{
    // The full wait of a re-probe: the request, the longest reply and 20 ms.
    EXPECT_EQ(BusSweep::WaitMs(k1200), 125u + 20);
    EXPECT_EQ(BusSweep::WaitMs(k57600), 3u + 20);
    // The short window: the request, a reply's first byte and 3 ms; at slow speeds the next
    // request waits for the silence that ends a frame (3.5 characters).
    EXPECT_EQ(BusSweep::WindowMs(k9600), 10u + 3);
    EXPECT_EQ(BusSweep::ProbeMs(k9600), 14u);
    EXPECT_EQ(BusSweep::ProbeMs(k1200), 96u);

    Rig rig;
    rig.line.Intercept = [](std::span<const std::uint8_t>) { return sim::TReply{}; };
    const Micros begin = rig.loop.Now();
    ASSERT_TRUE(rig.Sweep(BusSweep::FastestFirst(), true));
    const Micros took = rig.loop.Now() - begin;
    EXPECT_EQ(rig.line.Requests().size(), 247u * 8);
    EXPECT_EQ(rig.End().result, OutcomeKind::NotFound);

    // The line floor: the requests alone, 8 bytes of 10 bits at each speed.
    Micros floor{0};
    Micros probes{0};
    for (std::uint8_t speed = 0; speed < 8; ++speed) {
        floor += sim::LineTime(247 * 8, BaudRateToInt(BaudRateOfIndex(speed)));
        probes += 247 * std::chrono::milliseconds(BusSweep::ProbeMs(speed));
    }
    EXPECT_GT(floor, 34s);
    EXPECT_GE(took, probes);
    // Each speed ends once late answers to its last probes could be in: a full wait more.
    EXPECT_LE(took, probes + 8 * 150ms);
    EXPECT_LT(took, 60s);
    EXPECT_LT(took, floor * 16 / 10);
    // Every request is followed by the silence that ends a frame.
    const auto& requests = rig.line.Requests();
    for (std::size_t i = 1; i < requests.size(); ++i) {
        if (requests[i].baud == requests[i - 1].baud) {
            ASSERT_GE(requests[i].writtenAt - requests[i - 1].doneAt,
                      sim::LineTime(35, requests[i].baud) / 10)
                << i;
        }
    }
}

TEST(BusSweep, ModuleBehindALatencyAdapterIsFoundOnceAtItsAddressAndSpeed)
{
    Rig rig;
    rig.line.Adapter.latency = sim::kUsualUsbLatency;
    rig.PlaceModule(77, 6);  // 38400 baud
    sim::TModbusSlave& meter = rig.module.AddDevice(12, 7);
    meter.Set(sim::reg::Speed, k9600 + 1);
    ASSERT_TRUE(rig.Sweep(BusSweep::FastestFirst(), true));

    const auto& answers = rig.form->Sweep.Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].address, 77);
    EXPECT_EQ(answers[0].baudIndex, 6);
    EXPECT_TRUE(answers[0].IsModule());
    EXPECT_EQ(answers[1].address, 12);
    EXPECT_EQ(answers[1].baudIndex, k9600);
    EXPECT_EQ(answers[1].identification, std::optional<std::uint16_t>(7));
    EXPECT_EQ(rig.recorder.ended.size(), 3u);  // two devices and the sweep
    EXPECT_EQ(rig.End().result, OutcomeKind::Done);
    EXPECT_EQ(rig.End().address, 77);
    EXPECT_EQ(rig.End().value, 6);
}

TEST(BusSweep, LateDamagedReplyLeadsToAReprobeWithTheFullWait)
{
    Rig rig;
    rig.PlaceModule(9, k57600);
    // The module's first answer comes late and damaged (a collision on the wire); the next
    // one comes as it should.
    int asked = 0;
    rig.line.Intercept = [&](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (frame[0] != 9 || asked++ > 0)
            return std::nullopt;
        return sim::TReply{{9, 3, 2, 0x55, 0x55, 0x12, 0x34}, 12ms};
    };
    ASSERT_TRUE(rig.Sweep({k57600}, true));

    std::vector<std::uint8_t> probed;
    for (const auto& request : rig.line.Requests())
        probed.push_back(request.bytes[0]);
    EXPECT_EQ(std::count(probed.begin(), probed.end(), 9), 2);
    ASSERT_EQ(rig.form->Sweep.Answers().size(), 1u);
    EXPECT_EQ(rig.form->Sweep.Answers()[0].address, 9);
    EXPECT_EQ(rig.End().result, OutcomeKind::Done);
    // Only the addresses probed just before the bytes came are probed again.
    EXPECT_LE(probed.size(), 247u + 6);
}

TEST(BusSweep, StrayByteOnAnEmptyLineLeadsToReprobesOfTheAddressesJustProbed)
{
    Rig rig;
    rig.line.Intercept = [](std::span<const std::uint8_t>) { return sim::TReply{}; };
    const Micros byteAt = rig.loop.Now() + 100ms + sim::ByteTime(57600);
    rig.line.InjectFromLine({0xA5}, 100ms);
    ASSERT_TRUE(rig.Sweep({k57600}, true));

    EXPECT_TRUE(rig.form->Sweep.Answers().empty());
    EXPECT_EQ(rig.End().result, OutcomeKind::NotFound);
    const auto& requests = rig.line.Requests();
    // The addresses probed within a full wait (23 ms) before the byte came are probed again,
    // in order, and nothing probed much longer before.
    std::vector<std::uint8_t> within;
    for (std::size_t i = 0; i < 247; ++i)
        if (requests[i].writtenAt <= byteAt && requests[i].writtenAt + 23ms >= byteAt)
            within.push_back(requests[i].bytes[0]);
    ASSERT_FALSE(within.empty());
    ASSERT_GT(requests.size(), 247u);
    std::vector<std::uint8_t> again;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const auto before = requests.begin() + static_cast<std::ptrdiff_t>(i);
        if (std::any_of(requests.begin(), before,
                        [&](const auto& r) { return r.bytes[0] == requests[i].bytes[0]; }))
            again.push_back(requests[i].bytes[0]);
    }
    EXPECT_TRUE(std::includes(again.begin(), again.end(), within.begin(), within.end()));
    EXPECT_LE(again.size(), within.size() + 2);
}

TEST(BusSweep, LateReplyIsCreditedToItsSender)
{
    Rig rig;
    rig.PlaceModule(5, k57600);
    rig.module.SetThinkTime(30ms);  // longer than the full wait at 57600 (23 ms)
    ASSERT_TRUE(rig.Sweep({k57600}, false));
    ASSERT_EQ(rig.form->Sweep.Answers().size(), 1u);
    EXPECT_EQ(rig.form->Sweep.Answers()[0].address, 5);
    EXPECT_EQ(rig.End().address, 5);
    EXPECT_GT(rig.line.Requests().back().bytes[0], 5);  // read while a later one was probed
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
