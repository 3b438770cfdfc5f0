// imconf-cli over a network port against imconf-sim serving the module over TCP, as through
// a serial device server: with network delay and replies split over segments.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace imconf::testsupport;
using namespace std::chrono_literals;

namespace {

int Cli(std::vector<std::string> args, std::string& output, const TTempDir& dir)
{
    args.insert(args.begin(), IMCONF_CLI_PATH);
    return RunProgram(std::move(args), output, 60s, dir.Path());
}

bool Has(const std::string& output, const std::string& text)
{
    return output.find(text) != std::string::npos;
}

}  // namespace

TEST(NetworkProgram, ReadsAndWritesAModuleServedOverTcp)
{
    TTempDir dir;
    TSimProcess a({"--tcp", "0", "--address", "6", "--config", IMCONF_SAMPLE_CONFIG, "--net-delay",
                   "20", "--split", "30"});
    TSimProcess b({"--tcp", "127.0.0.1:0", "--address", "6", "--net-delay", "20"});
    ASSERT_TRUE(a.Running() && b.Running());
    ASSERT_EQ(a.Pty().rfind("tcp://127.0.0.1:", 0), 0u) << a.Pty();
    const std::string file = dir.Path() + "/module.json";
    std::string output;
    ASSERT_EQ(Cli({"--port", a.Pty(), "--address", "6", "read", "-o", file}, output, dir), 0)
        << output;
    ASSERT_EQ(Cli({"--port", b.Pty(), "--address", "6", "write", file}, output, dir), 0) << output;
    EXPECT_EQ(Cli({"--port", b.Pty(), "--address", "6", "--quiet", "diff", file}, output, dir), 0)
        << output;
}

TEST(NetworkProgram, SearchAndTheCommandsWorkOverTcp)
{
    TTempDir dir;
    TSimProcess sim({"--tcp", "0", "--address", "3", "--net-delay", "30", "--split", "20"});
    ASSERT_TRUE(sim.Running());
    std::string output;
    ASSERT_EQ(Cli({"--port", sim.Pty(), "search"}, output, dir), 0) << output;
    EXPECT_TRUE(Has(output, "3")) << output;
    EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "3", "sound-off"}, output, dir), 0) << output;
    EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "3", "block", "on"}, output, dir), 0)
        << output;
    ASSERT_EQ(Cli({"--port", sim.Pty(), "--address", "3", "address", "9"}, output, dir), 0)
        << output;
    // The module's speed changes; the PC speed only sets the time-outs' basis over TCP.
    ASSERT_EQ(Cli({"--port", sim.Pty(), "--address", "9", "speed", "19200"}, output, dir), 0)
        << output;
    EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "9", "--baud", "19200", "block", "off"},
                  output, dir),
              0)
        << output;
}

TEST(NetworkProgram, SlowNetworkNeedsItsLatencyAndAnUnreachableServerIsAPortError)
{
    TTempDir dir;
    TSimProcess sim({"--tcp", "0", "--address", "5", "--net-delay", "200"});
    ASSERT_TRUE(sim.Running());
    std::string output;
    // 400 ms of round trip and more: beyond the plain 350 ms time-out, within it with an
    // allowance of 400 ms.
    EXPECT_EQ(
        Cli({"--port", sim.Pty(), "--address", "5", "--latency", "0", "sound-off"}, output, dir),
        1);
    EXPECT_TRUE(Has(output, "   : TIME OUT.")) << output;
    EXPECT_EQ(
        Cli({"--port", sim.Pty() + "?latency=400", "--address", "5", "sound-off"}, output, dir), 0)
        << output;
    EXPECT_EQ(
        Cli({"--port", sim.Pty(), "--address", "5", "--latency", "400", "sound-off"}, output, dir),
        0)
        << output;

    EXPECT_EQ(Cli({"--port", "tcp://127.0.0.1:1", "--trace", "sound-off"}, output, dir), 3);
    EXPECT_TRUE(Has(output, "   : ОШИБКА ОТКРЫТИЯ ПОРТА tcp://127.0.0.1:1")) << output;

    std::ofstream(dir.Path() + "/image.hex", std::ios::binary) << std::string(64, '\xFF');
    EXPECT_EQ(Cli({"--port", sim.Pty(), "upgrade", dir.Path() + "/image.hex"}, output, dir), 3);
    EXPECT_TRUE(Has(output, "19200")) << output;
}
