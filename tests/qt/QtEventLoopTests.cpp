// The Qt event loop: timer order and timing, cancelling, posting from other threads, errors
// that escape a task, and tasks that run a nested loop (as a modal box does).

#include "qt/QtEventLoop.h"
#include "runtime/Timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace imconf;
using namespace std::chrono_literals;

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 3000)
{
    return QTest::qWaitFor(done, ms);
}

}  // namespace

TEST(QtEventLoop, TimersRunInDueOrderAndNeverEarly)
{
    QtEventLoop loop;
    std::vector<std::string> order;
    std::vector<std::pair<Micros, Micros>> ranAt;  // due, now
    const Micros start = loop.Now();
    auto at = [&](Micros offset, std::string name) {
        const Micros due = start + offset;
        loop.ScheduleAt(due, [&, due, name] {
            order.push_back(name);
            ranAt.emplace_back(due, loop.Now());
        });
    };
    at(40ms, "late");
    at(10ms, "first");
    at(10ms, "second");  // same due time: in the order scheduled
    at(-5ms, "past");    // already due: runs at once
    ASSERT_TRUE(WaitFor([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"past", "first", "second", "late"}));
    for (const auto& [due, now] : ranAt)
        EXPECT_GE(now, due);
    EXPECT_LT(ranAt.back().second - start, Micros(2s));
    EXPECT_EQ(loop.PendingTimers(), 0u);
}

TEST(QtEventLoop, CancelledTasksNeverRun)
{
    QtEventLoop loop;
    int ran = 0;
    const auto token = loop.ScheduleAt(loop.Now() + 5ms, [&] { ran += 1; });
    loop.ScheduleAt(loop.Now() + 20ms, [&] { ran += 10; });
    loop.Cancel(token);
    loop.Cancel(token);   // spent
    loop.Cancel(999999);  // unknown
    ASSERT_TRUE(WaitFor([&] { return ran != 0; }));
    QTest::qWait(20);
    EXPECT_EQ(ran, 10);
}

TEST(QtEventLoop, PostedTasksRunOnTheGuiThreadInTheirOrder)
{
    QtEventLoop loop;
    constexpr int kPerThread = 500;
    const auto gui = std::this_thread::get_id();
    std::vector<int> seen[2];
    std::atomic<int> wrongThread{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 2; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                loop.Post([&, t, i] {
                    if (std::this_thread::get_id() != gui)
                        ++wrongThread;
                    seen[t].push_back(i);
                });
            }
        });
    }
    for (auto& poster : posters)
        poster.join();
    ASSERT_TRUE(WaitFor([&] { return seen[0].size() + seen[1].size() == 2 * kPerThread; }));
    EXPECT_EQ(wrongThread.load(), 0);
    for (const auto& list : seen) {
        ASSERT_EQ(list.size(), static_cast<std::size_t>(kPerThread));
        for (int i = 0; i < kPerThread; ++i)
            ASSERT_EQ(list[static_cast<std::size_t>(i)], i);
    }
}

TEST(QtEventLoop, AnEscapingErrorGoesToTheHandlerAndTheLoopGoesOn)
{
    QtEventLoop loop;
    std::vector<std::string> errors;
    loop.SetErrorHandler([&](const std::string& text) {
        errors.push_back(text);
        throw std::runtime_error("the report fails too");  // must not escape either
    });
    bool after = false;
    loop.Post([] { throw std::runtime_error("port gone"); });
    loop.ScheduleAt(loop.Now(), [] { throw 42; });
    loop.ScheduleAt(loop.Now() + 5ms, [&] { after = true; });
    ASSERT_TRUE(WaitFor([&] { return after; }));
    EXPECT_EQ(errors, (std::vector<std::string>{"port gone", "Unknown error."}));
}

TEST(QtEventLoop, ANestedLoopInsideATaskKeepsTimersAndPostsRunning)
{
    QtEventLoop loop;
    std::vector<std::string> order;
    loop.ScheduleAt(loop.Now(), [&] {
        order.push_back("modal opens");
        loop.ScheduleAt(loop.Now() + 5ms, [&] { order.push_back("tick inside"); });
        std::thread([&] { loop.Post([&] { order.push_back("post inside"); }); }).join();
        QEventLoop nested;
        loop.ScheduleAt(loop.Now() + 60ms, [&] { nested.quit(); });
        nested.exec();
        order.push_back("modal closed");
    });
    ASSERT_TRUE(WaitFor([&] { return order.size() == 4; }));
    ASSERT_EQ(order.front(), "modal opens");
    EXPECT_EQ(order.back(), "modal closed");
    {
        const std::vector<std::string> inside(order.begin() + 1, order.end() - 1);
        EXPECT_NE(std::find(inside.begin(), inside.end(), "tick inside"), inside.end());
        EXPECT_NE(std::find(inside.begin(), inside.end(), "post inside"), inside.end());
    }
}

TEST(QtEventLoop, ATaskThatKeepsSchedulingItselfForNowDoesNotStarveTheQueue)
{
    QtEventLoop loop;
    int spins = 0;
    bool stop = false;
    std::function<void()> spin = [&] {
        ++spins;
        if (!stop)
            loop.ScheduleAt(loop.Now(), spin);
    };
    loop.ScheduleAt(loop.Now(), spin);
    bool posted = false;
    loop.Post([&] { posted = true; });
    ASSERT_TRUE(WaitFor([&] { return posted; }));
    stop = true;
    EXPECT_GE(spins, 1);
    QTest::qWait(5);
}

TEST(QtEventLoop, AWindowTimerTicksAtItsInterval)
{
    QtEventLoop loop;
    std::vector<Micros> ticks;
    const Micros start = loop.Now();
    Timer timer(loop, 20);
    timer.OnTimer = [&] { ticks.push_back(loop.Now()); };
    timer.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return ticks.size() >= 3; }));
    timer.SetEnabled(false);
    const std::size_t count = ticks.size();
    QTest::qWait(50);
    EXPECT_EQ(ticks.size(), count);
    // Never early: tick n comes at least n intervals after the start.
    for (std::size_t i = 0; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - start, Micros(20ms) * static_cast<int>(i + 1));
}
