// imconf-cli interrupted in the middle of a write: the step on the line ends, the command says
// what reached the module, exits with 130, and the port is free for the next program at once.

#include "FaultRig.h"

#include "runtime/Interrupt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

using namespace imconf;
using namespace imconf::faults;
using namespace std::chrono_literals;

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(Interrupt, WriteStopsAfterItsStepSaysWhatReachedTheModuleAndFreesThePort)
{
    PrivateRuntimeDir runtime;
    const std::string file = runtime.Path() + "/module.json";
    {
        SimRun source(runtime.Path(), "intr0", {});
        ASSERT_TRUE(source.Running());
        testsupport::TChild read({IMCONF_CLI, "--port", source.Pty(), "read", "-o", file},
                                 runtime.Path(), runtime.Path() + "/read.stderr");
        ASSERT_EQ(read.Wait(20s), 0) << FileText(runtime.Path() + "/read.stderr");
    }
    // Each reply comes 900 ms after its request (the write's steps wait 1350 ms, the
    // identification read before them 1500 ms at 2400 baud): the interrupt lands while step 2
    // waits.
    SimRun sim(runtime.Path(), "intr1", {"--think", "900", "--baud", "2400"});
    ASSERT_TRUE(sim.Running());

    const std::string err = runtime.Path() + "/write.stderr";
    testsupport::TChild write(
        {IMCONF_CLI, "--port", sim.Pty(), "--baud", "2400", "--trace", "write", file},
        runtime.Path(), err);
    // A real process: wait (bounded) until the second step is on its way (after the
    // identification read and the first step).
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Count(FileText(err), "TX : ") < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(Count(FileText(err), "TX : "), 3u) << FileText(err);
    write.Signal(SIGINT);
    EXPECT_EQ(write.Wait(10s), kInterruptedStatus);

    const std::string said = FileText(err);
    EXPECT_NE(said.find("interrupted: the write stopped after 2 of 4 steps reached the module "
                        "(link table, node types); the module may hold a partial configuration"),
              std::string::npos)
        << said;
    // The second step ended whole: its reply is in the trace, and nothing was sent after it.
    EXPECT_EQ(Count(said, "TX : "), 3u) << said;
    EXPECT_GE(Count(said, "   : ОК."), 2u) << said;

    // The next program takes the port at once: no exclusive flag, lock or lock file left.
    testsupport::TChild next({IMCONF_PORT_HOLDER, sim.Pty()}, runtime.Path(),
                             runtime.Path() + "/next.stderr");
    ASSERT_EQ(next.ReadLine(10s), "held") << FileText(runtime.Path() + "/next.stderr");
    next.Signal(SIGTERM);
    EXPECT_EQ(next.Wait(10s), 0);
}
