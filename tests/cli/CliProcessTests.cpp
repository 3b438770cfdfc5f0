// The imconf-cli program over the real serial path: pseudo-terminals served by imconf-sim.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace imconf::testsupport;
using namespace std::chrono_literals;

namespace {

int Cli(std::vector<std::string> args, std::string& output, const TTempDir& dir)
{
    args.insert(args.begin(), IMCONF_CLI_PATH);
    return RunProgram(std::move(args), output, 60s, dir.Path());
}

}  // namespace

TEST(CliProgram, ClonesOneSimulatorIntoAnother)
{
    TTempDir dir;
    TSimProcess a({"--address", "6", "--config", IMCONF_SAMPLE_CONFIG, "--no-announce"});
    TSimProcess b({"--address", "6", "--no-announce"});
    ASSERT_TRUE(a.Running() && b.Running());
    const std::string file = dir.Path() + "/module.json";
    std::string output;
    ASSERT_EQ(Cli({"--port", a.Pty(), "--address", "6", "read", "-o", file}, output, dir), 0)
        << output;
    EXPECT_EQ(Cli({"--port", b.Pty(), "--address", "6", "diff", file}, output, dir), 1)
        << "B differs before";
    ASSERT_EQ(Cli({"--port", b.Pty(), "--address", "6", "write", file}, output, dir), 0) << output;
    EXPECT_EQ(Cli({"--port", b.Pty(), "--address", "6", "--quiet", "diff", file}, output, dir), 0)
        << output;
    EXPECT_EQ(output, "");
}

TEST(CliProgram, ExitStatusesForAPortErrorAndAModuleThatDoesNotAnswer)
{
    TTempDir dir;
    TSimProcess sim({"--address", "6", "--no-announce"});
    ASSERT_TRUE(sim.Running());
    std::string output;
    EXPECT_EQ(Cli({"--port", dir.Path() + "/no-such-port", "read"}, output, dir), 3);
    EXPECT_NE(output.find("does not exist"), std::string::npos) << output;
    EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "7", "sound-off"}, output, dir), 1);
    EXPECT_NE(output.find("   : TIME OUT."), std::string::npos) << output;
    EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "6", "--trace", "sound-off"}, output, dir), 0);
    EXPECT_NE(output.find("RX : 06 06 00 24 A5 5A"), std::string::npos) << output;
    EXPECT_EQ(Cli({"read", "--address", "300"}, output, dir), 2);
}
