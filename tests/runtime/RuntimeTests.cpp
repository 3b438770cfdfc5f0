#include "runtime/StdEventLoop.h"
#include "runtime/Timer.h"
#include "runtime/TimerQueue.h"
#include "runtime/VirtualEventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace imconf;
using namespace std::chrono_literals;

namespace {

std::vector<Micros> TickTimes(VirtualEventLoop& loop, Timer& timer, Micros runFor)
{
    std::vector<Micros> ticks;
    timer.OnTimer = [&] { ticks.push_back(loop.Now()); };
    loop.Advance(runFor);
    return ticks;
}

}  // namespace

TEST(Timer, TicksPeriodicallyWhileEnabled)
{
    VirtualEventLoop loop;
    Timer timer(loop, 20);
    EXPECT_FALSE(timer.Enabled());
    timer.SetEnabled(true);
    const auto ticks = TickTimes(loop, timer, 70ms);
    EXPECT_EQ(ticks, (std::vector<Micros>{20ms, 40ms, 60ms}));
}

TEST(Timer, SameIntervalOrEnableDoesNotRestartButNewIntervalDoes)
{
    VirtualEventLoop loop;
    Timer timer(loop, 350, true);
    loop.Advance(100ms);
    timer.SetInterval(350);
    timer.SetEnabled(true);
    EXPECT_EQ(timer.NextTick(), Micros(350ms));

    timer.SetInterval(5);  // restarts the count from now
    EXPECT_EQ(timer.NextTick(), Micros(105ms));
    std::vector<Micros> ticks;
    timer.OnTimer = [&] {
        ticks.push_back(loop.Now());
        timer.SetEnabled(false);
    };
    loop.Advance(100ms);
    EXPECT_EQ(ticks, std::vector<Micros>{105ms});
    EXPECT_FALSE(timer.NextTick().has_value());
}

TEST(Timer, HandlerMayChangeIntervalAndZeroNeverTicks)
{
    VirtualEventLoop loop;
    Timer timer(loop, 20, true);
    std::vector<Micros> ticks;
    timer.OnTimer = [&] {
        ticks.push_back(loop.Now());
        timer.SetInterval(500);
    };
    loop.Advance(1100ms);
    EXPECT_EQ(ticks, (std::vector<Micros>{20ms, 520ms, 1020ms}));

    Timer zero(loop, 0, true);
    int zeroTicks = 0;
    zero.OnTimer = [&] { ++zeroTicks; };
    loop.Advance(1s);
    EXPECT_EQ(zeroTicks, 0);

    Timer silent(loop, 10, true);  // no handler: ticks do nothing
    loop.Advance(50ms);
    silent.SetEnabled(false);
}

TEST(Timer, DestroyedTimerNeverTicks)
{
    VirtualEventLoop loop;
    int ticks = 0;
    {
        Timer timer(loop, 10, true);
        timer.OnTimer = [&] { ++ticks; };
    }
    loop.Advance(100ms);
    EXPECT_EQ(ticks, 0);
    EXPECT_FALSE(loop.HasPendingTimers());
}

TEST(TimerQueue, DueOrderThenAddOrderCancelAndRounds)
{
    TimerQueue queue;
    std::vector<int> order;
    queue.Add(20ms, [&] { order.push_back(3); });
    queue.Add(10ms, [&] { order.push_back(1); });
    const auto cancelled = queue.Add(10ms, [&] { order.push_back(99); });
    queue.Add(10ms, [&] { order.push_back(2); });
    queue.Cancel(cancelled);
    queue.Cancel(cancelled);  // spent: ignored
    EXPECT_EQ(queue.NextDue(), Micros(10ms));
    EXPECT_FALSE(queue.TakeDue(9ms).has_value());

    // A round leaves what was added during it for the next round, even when it is due.
    const auto roundEnd = queue.NextToken();
    queue.Add(5ms, [&] { order.push_back(0); });
    while (auto due = queue.TakeDue(10ms, roundEnd))
        due->Run();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    ASSERT_TRUE(queue.TakeDue(10ms).has_value());
    EXPECT_EQ(queue.Size(), 1u);
    EXPECT_EQ(queue.TakeDue(50ms)->Due, Micros(20ms));
    EXPECT_TRUE(queue.Empty());
}

TEST(TimerQueue, WaitTimeNeverEndsBeforeTheDueTime)
{
    TimerQueue queue;
    EXPECT_FALSE(queue.WaitTime(0us).has_value());
    queue.Add(10'200us, [] {});
    EXPECT_EQ(queue.WaitTime(0us), Micros(10'200us));
    EXPECT_EQ(queue.WaitTime(0us, 1ms), Micros(11ms)) << "a 1 ms clock rounds up";
    EXPECT_EQ(queue.WaitTime(200us, 1ms), Micros(10ms));
    EXPECT_EQ(queue.WaitTime(20ms, 1ms), Micros(0));
}

TEST(VirtualEventLoop, PostedEventsRunBeforeLaterTimersAndInOrder)
{
    VirtualEventLoop loop;
    std::vector<int> order;
    loop.ScheduleAt(10ms, [&] {
        order.push_back(1);
        loop.Post([&] { order.push_back(2); });
    });
    loop.ScheduleAt(10ms, [&] { order.push_back(3); });
    const auto cancelled = loop.ScheduleAt(5ms, [&] { order.push_back(99); });
    loop.Cancel(cancelled);
    loop.ScheduleAt(20ms, [&] { order.push_back(4); });
    loop.RunUntil(15ms);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.Now(), Micros(15ms));
    EXPECT_TRUE(loop.RunUntil([&] { return order.size() == 4; }, 1s));
    EXPECT_EQ(loop.Now(), Micros(20ms));
}

TEST(StdEventLoop, RunsPostsFromOtherThreadsAndTimers)
{
    StdEventLoop loop;
    std::atomic<int> posted{0};
    int timerRuns = 0;
    std::thread other([&] {
        for (int i = 0; i < 100; ++i)
            loop.Post([&] { posted.fetch_add(1); });
    });
    loop.ScheduleAt(loop.Now() + 10ms, [&] { ++timerRuns; });
    const bool done = loop.RunUntil([&] { return posted.load() == 100 && timerRuns == 1; }, 5s);
    other.join();
    EXPECT_TRUE(done);

    Timer timer(loop, 1, true);
    int ticks = 0;
    timer.OnTimer = [&] {
        if (++ticks == 3)
            loop.Quit();
    };
    loop.Run();
    EXPECT_EQ(ticks, 3);
}
