// A second program holding the port: the window reports the port error line and sends
// nothing; once the holder lets go, the window works again.

#include "FaultRig.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace imconf;
using namespace imconf::faults;

TEST(SecondHolder, PortErrorLineUntilTheHolderLetsGo)
{
    PrivateRuntimeDir runtime;
    SimRun sim(runtime.Path(), "held0", {});
    ASSERT_TRUE(sim.Running());
    PortWindow w("held0");
    const std::string portLine = std::string(kPortErrorLine) + "held0";

    testsupport::TChild holder({IMCONF_PORT_HOLDER, sim.Pty()}, runtime.Path(),
                               runtime.Path() + "/holder.stderr");
    ASSERT_EQ(holder.ReadLine(10s), "held");

    // A configuration read ends at its first step with the port's line.
    w.F().TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle(5s));
    EXPECT_EQ(w.Trace(), (std::vector<std::string>{kReadTitle, portLine, kError}));
    EXPECT_TRUE(w.F().TeMemo1.Visible());
    EXPECT_FALSE(w.F().TeProgressBar1.Visible());
    // A command: its request traced, the port's line instead of a reply, no time-out armed.
    w.F().Sound_Butt.Click();
    EXPECT_FALSE(w.F().Engine.TransactionInFlight());
    ASSERT_EQ(w.Trace().size(), 3u);
    EXPECT_EQ(w.Trace()[0].rfind("TX : F7 06 00 24 ", 0), 0u) << w.Trace()[0];
    EXPECT_EQ(w.Trace()[1], "RX :");
    EXPECT_EQ(w.Trace()[2], portLine);
    EXPECT_EQ(w.line.writes, 0u) << "nothing reached the line";
    EXPECT_FALSE(w.port.Connected());

    holder.Signal(SIGTERM);
    ASSERT_EQ(holder.Wait(10s), 0);
    w.F().TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle(10s));
    EXPECT_EQ(w.Trace(), (std::vector<std::string>{kReadTitle, kOk}));

    // And the other way round: while the window holds the port (a transaction in flight),
    // the other program is turned away.
    w.F().Sound_Butt.Click();
    ASSERT_TRUE(w.F().Engine.TransactionInFlight());
    testsupport::TChild second({IMCONF_PORT_HOLDER, sim.Pty()}, runtime.Path(),
                               runtime.Path() + "/second.stderr");
    EXPECT_EQ(second.Wait(10s), 1);
    ASSERT_TRUE(w.RunToIdle(5s));
    EXPECT_EQ(w.LastLine(), kOk);
}

TEST(SecondHolder, CannotTakeThePortBetweenTheStepsOfAWrite)
{
    PrivateRuntimeDir runtime;
    SimRun sim(runtime.Path(), "held1", {});
    ASSERT_TRUE(sim.Running());
    PortWindow w("held1");

    // Between the first and the second step of a write, another program tries the port.
    w.F().TeButton2.Click();
    ASSERT_TRUE(w.loop.RunUntil(
        [&] { return w.line.writes == 1 && !w.F().Engine.TransactionInFlight(); }, 10s));
    testsupport::TChild between({IMCONF_PORT_HOLDER, sim.Pty()}, runtime.Path(),
                                runtime.Path() + "/between.stderr");
    EXPECT_EQ(between.Wait(10s), 1);

    ASSERT_TRUE(w.RunToIdle(10s));
    EXPECT_EQ(w.line.writes, 4u);
    EXPECT_EQ(w.LastLine(), kOk);
    EXPECT_FALSE(w.port.Kept());

    // Once the write is over the port is free.
    testsupport::TChild after({IMCONF_PORT_HOLDER, sim.Pty()}, runtime.Path(),
                              runtime.Path() + "/after.stderr");
    ASSERT_EQ(after.ReadLine(10s), "held");
    after.Signal(SIGTERM);
    EXPECT_EQ(after.Wait(10s), 0);
}
