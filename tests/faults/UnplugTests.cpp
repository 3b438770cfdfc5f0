// The adapter pulled out in the middle of a read, a write, a search and an upgrade (the
// simulator killed, its pseudo-terminal gone with it): the window reports it with the
// operation's own ending, is usable again, uses no CPU while idle, and works again once the
// port comes back under the same name.

#include "FaultRig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

using namespace imconf;
using namespace imconf::faults;

namespace {

constexpr const char* kName = "unplug0";
const std::string kPortLine = std::string(kPortErrorLine) + kName;

// Five idle seconds of the window's loop: the process uses (almost) no CPU.
void ExpectIdleWithoutCpu(PortWindow& w)
{
    const double before = ProcessCpuSeconds();
    w.loop.RunFor(5s);
    const double used = ProcessCpuSeconds() - before;
    EXPECT_LT(used, 0.05) << "CPU seconds used over 5 idle seconds";
}

// The port is back under its name: a configuration read succeeds.
void ExpectReadWorksAgain(PortWindow& w, const std::string& runtimeDir,
                          std::vector<std::string> options = {})
{
    SimRun back(runtimeDir, kName, std::move(options));
    ASSERT_TRUE(back.Running());
    w.F().TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle(10s));
    EXPECT_EQ(w.Trace(), (std::vector<std::string>{kReadTitle, kOk}));
    EXPECT_FALSE(w.port.Connected());
}

// Runs the loop until `when` holds, then pulls the adapter after `delay`.
void UnplugWhen(PortWindow& w, SimRun& sim, const std::function<bool()>& when, Micros delay)
{
    ASSERT_TRUE(w.loop.RunUntil(when, 20s));
    w.loop.RunFor(delay);
    sim.Kill();
}

}  // namespace

TEST(Unplug, DuringAReadAndAWrite)
{
    PrivateRuntimeDir runtime;
    for (const bool read : {true, false}) {
        SCOPED_TRACE(read ? "read" : "write");
        // 1200 baud, paced: a 69-byte reply takes 575 ms on the line, so the adapter goes
        // while the reply's bytes are coming in.
        SimRun sim(runtime.Path(), kName, {"--baud", "1200", "--pace"});
        ASSERT_TRUE(sim.Running());
        PortWindow w(kName);
        w.F().BR_1200->Click();
        if (read) {
            w.F().TeButton5.Click();
            UnplugWhen(
                w, sim,
                [&] {
                    return w.state.OperationState == opstate::ReadNodeTypes &&
                           w.F().Engine.TransactionInFlight();
                },
                300ms);
        } else {
            // A write of an empty table: the node-type block write's echo is awaited.
            w.F().TeButton2.Click();
            UnplugWhen(
                w, sim,
                [&] {
                    return w.state.OperationState == opstate::WriteNodeTypes &&
                           w.F().Engine.TransactionInFlight();
                },
                30ms);
        }
        ASSERT_TRUE(w.RunToIdle(10s));
        EXPECT_EQ(w.Trace(), (std::vector<std::string>{read ? kReadTitle : kWriteTitle, kError}));
        EXPECT_TRUE(w.F().TeMemo1.Visible());
        EXPECT_FALSE(w.F().TeProgressBar1.Visible());
        EXPECT_FALSE(w.port.Connected());

        // Usable: the next press starts the operation again, which now reports the port.
        w.F().TeButton5.Click();
        ASSERT_TRUE(w.RunToIdle(5s));
        EXPECT_EQ(w.Trace(), (std::vector<std::string>{kReadTitle, kPortLine, kError}));
        ExpectIdleWithoutCpu(w);
        ExpectReadWorksAgain(w, runtime.Path(), {"--baud", "1200"});
    }
}

TEST(Unplug, DuringASearch)
{
    PrivateRuntimeDir runtime;
    SimRun sim(runtime.Path(), kName, {"--address", "9"});
    ASSERT_TRUE(sim.Running());
    PortWindow w(kName);
    w.F().CustomItem7->Click();  // 100 ms a probe
    w.F().CustomItem5->Click();
    // The search keeps the port open across its probes: it is open when the adapter goes.
    UnplugWhen(
        w, sim, [&] { return w.state.DeviceAddress == 4; }, 30ms);
    EXPECT_TRUE(w.loop.RunUntil([&] { return w.LastLine() == kPortLine; }, 5s)) << w.LastLine();
    // The search stands at that address until the user stops it.
    const std::uint8_t standing = w.state.DeviceAddress;
    EXPECT_EQ(w.state.OperationState, opstate::Search);
    EXPECT_EQ(w.F().CustomItem5->Caption(), "Stop");
    ExpectIdleWithoutCpu(w);
    EXPECT_EQ(w.state.DeviceAddress, standing);
    w.F().CustomItem5->Click();
    EXPECT_EQ(w.state.OperationState, opstate::Idle);
    EXPECT_EQ(w.F().CustomItem5->Caption(), "Start");
    EXPECT_FALSE(w.port.Connected()) << "the vanished port is not kept open";

    // The module answers at 9: set the address back and read.
    w.F().TeSpinEdit1.SetValue(9);
    ExpectReadWorksAgain(w, runtime.Path(), {"--address", "9"});
}

TEST(Unplug, DuringAnUpgrade)
{
    PrivateRuntimeDir runtime;
    SimRun sim(runtime.Path(), kName, {"--bootloader"});
    ASSERT_TRUE(sim.Running());
    PortWindow w(kName);
    std::vector<std::uint8_t> image(14338 + 100);
    std::mt19937 random(3);
    for (auto& b : image)
        b = static_cast<std::uint8_t>(random());
    const std::string path = w.dir.File("fw.hex");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    w.dialogs.fileAnswer = path;
    w.F().CustomItem24->Click();
    ASSERT_EQ(w.state.OperationState, opstate::Upgrade);
    UnplugWhen(
        w, sim, [&] { return w.F().UpgradeStep == 5 && w.F().Engine.TransactionInFlight(); }, 20ms);
    ASSERT_TRUE(w.RunToIdle(20s));
    EXPECT_EQ(w.Trace(), (std::vector<std::string>{"   : firmware upgrade...",
                                                   "   : ОСТАНОВЛЕНО - ОШИБКА ОТКРЫТИЯ ПОРТА " +
                                                       std::string(kName)}));
    EXPECT_TRUE(w.F().TeMemo1.Visible());
    EXPECT_FALSE(w.F().TeMemo2.Visible());
    EXPECT_FALSE(w.F().TeProgressBar1.Visible());
    EXPECT_EQ(w.port.BaudRate(), TBaudRate::br9600);
    EXPECT_FALSE(w.port.Connected());
    ExpectIdleWithoutCpu(w);
    ExpectReadWorksAgain(w, runtime.Path());
}
