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

// Reads a module into `file`, then starts a write of it to a slow module (each reply `think`
// ms after its request) at `baud` and interrupts it once `requests` requests are on their way.
// Returns what it said.
std::string InterruptedWrite(PrivateRuntimeDir& runtime, const char* name, std::size_t requests,
                             const char* think, const char* baud)
{
    const std::string file = runtime.Path() + "/module.json";
    {
        SimRun source(runtime.Path(), "intr0", {});
        EXPECT_TRUE(source.Running());
        testsupport::TChild read({IMCONF_CLI, "--port", source.Pty(), "read", "-o", file},
                                 runtime.Path(), runtime.Path() + "/read.stderr");
        EXPECT_EQ(read.Wait(20s), 0) << FileText(runtime.Path() + "/read.stderr");
    }
    SimRun sim(runtime.Path(), name, {"--think", think, "--baud", baud});
    EXPECT_TRUE(sim.Running());

    const std::string err = runtime.Path() + "/write.stderr";
    testsupport::TChild write(
        {IMCONF_CLI, "--port", sim.Pty(), "--baud", baud, "--trace", "write", file}, runtime.Path(),
        err);
    // A real process: wait (bounded) until the request is on its way.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (Count(FileText(err), "TX : ") < requests && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(Count(FileText(err), "TX : "), requests) << FileText(err);
    write.Signal(SIGINT);
    EXPECT_EQ(write.Wait(10s), kInterruptedStatus);

    // The next program takes the port at once: no exclusive flag, lock or lock file left.
    testsupport::TChild next({IMCONF_PORT_HOLDER, sim.Pty()}, runtime.Path(),
                             runtime.Path() + "/next.stderr");
    EXPECT_EQ(next.ReadLine(10s), "held") << FileText(runtime.Path() + "/next.stderr");
    next.Signal(SIGTERM);
    EXPECT_EQ(next.Wait(10s), 0);
    return FileText(err);
}

}  // namespace

TEST(Interrupt, WriteStopsAfterItsStepSaysWhatReachedTheModuleAndFreesThePort)
{
    PrivateRuntimeDir runtime;
    // After the identification read and the first step, the second step is on its way. Each
    // reply comes 900 ms after its request; the steps wait 1350 ms, the identification read
    // 1500 ms at 2400 baud.
    const std::string said = InterruptedWrite(runtime, "intr1", 3, "900", "2400");
    EXPECT_NE(said.find("interrupted: the write stopped after 2 of 4 steps reached the module "
                        "(link table, node types); the module may hold a partial configuration"),
              std::string::npos)
        << said;
    // The second step ended whole: its reply is in the trace, and nothing was sent after it.
    EXPECT_EQ(Count(said, "TX : "), 3u) << said;
    EXPECT_GE(Count(said, "   : ОК."), 2u) << said;
}

TEST(Interrupt, DuringTheReadBackSaysTheWholeConfigurationReachedTheModule)
{
    PrivateRuntimeDir runtime;
    // The identification read and the four steps are answered; the read-back has begun. Each
    // reply comes 150 ms after its request, well inside the 350 ms that reads and the node
    // count's write wait at 9600 baud.
    const std::string said = InterruptedWrite(runtime, "intr2", 6, "150", "9600");
    EXPECT_NE(said.find("interrupted: the write had ended: the whole configuration reached the "
                        "module; its read-back stopped"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("was not changed"), std::string::npos) << said;
}
