// imconf-cli through the adapters engineers use, over pseudo-terminals served by imconf-sim:
// one that hands every request back before the reply (--echo), a USB adapter that delivers in
// bursts (--usb-latency 16), and one that does both.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace imconf::testsupport;
using namespace std::chrono_literals;

namespace {

const std::string kEchoLine = "   : ОБНАРУЖЕНО ЭХО ЗАПРОСА ОТ АДАПТЕРА - ЭХО ПРОПУСКАЕТСЯ.";

int Cli(std::vector<std::string> args, std::string& output, const TTempDir& dir)
{
    args.insert(args.begin(), IMCONF_CLI_PATH);
    return RunProgram(std::move(args), output, 60s, dir.Path());
}

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string Joined(const std::vector<std::string>& options)
{
    std::string text;
    for (const auto& option : options)
        text += (text.empty() ? "" : " ") + option;
    return text;
}

std::vector<std::string> With(std::vector<std::string> options,
                              const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

const std::vector<std::vector<std::string>> kAdapters{
    {"--echo"}, {"--usb-latency", "16"}, {"--echo", "--usb-latency", "16"}};

}  // namespace

TEST(AdapterPrograms, ReadThroughAnEchoingAdapterGivesTheConfiguration)
{
    TTempDir dir;
    TSimProcess echoing(
        {"--echo", "--address", "6", "--config", IMCONF_SAMPLE_CONFIG, "--no-announce"});
    TSimProcess plain({"--address", "6", "--config", IMCONF_SAMPLE_CONFIG, "--no-announce"});
    ASSERT_TRUE(echoing.Running() && plain.Running());
    const std::string file = dir.Path() + "/module.json";
    std::string output;
    ASSERT_EQ(Cli({"--port", echoing.Pty(), "--address", "6", "--trace", "read", "-o", file},
                  output, dir),
              0)
        << output;
    EXPECT_NE(output.find("   : ОК."), std::string::npos) << output;
    EXPECT_EQ(Count(output, kEchoLine), 1u) << output;
    // The same configuration as the module behind an adapter without echo holds.
    EXPECT_EQ(Cli({"--port", plain.Pty(), "--address", "6", "--quiet", "diff", file}, output, dir),
              0)
        << output;
}

TEST(AdapterPrograms, SearchWriteAndCommandsThroughEachAdapter)
{
    for (const auto& adapter : kAdapters) {
        SCOPED_TRACE(Joined(adapter));
        TTempDir dir;
        TSimProcess sample({"--address", "3", "--config", IMCONF_SAMPLE_CONFIG, "--no-announce"});
        TSimProcess sim(With(adapter, {"--address", "3", "--no-announce"}));
        ASSERT_TRUE(sample.Running() && sim.Running());
        const std::string file = dir.Path() + "/module.json";
        std::string output;
        ASSERT_EQ(Cli({"--port", sample.Pty(), "--address", "3", "read", "-o", file}, output, dir),
                  0)
            << output;

        ASSERT_EQ(Cli({"--port", sim.Pty(), "search", "--delay", "100"}, output, dir), 0) << output;
        EXPECT_NE(output.find("3\n"), std::string::npos) << output;
        ASSERT_EQ(Cli({"--port", sim.Pty(), "--address", "3", "write", file}, output, dir), 0)
            << output;
        EXPECT_EQ(
            Cli({"--port", sim.Pty(), "--address", "3", "--quiet", "diff", file}, output, dir), 0)
            << output;
        EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "3", "sound-off"}, output, dir), 0)
            << output;
        EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "3", "block", "on"}, output, dir), 0)
            << output;
        EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "3", "address", "9"}, output, dir), 0)
            << output;
        EXPECT_EQ(Cli({"--port", sim.Pty(), "--address", "9", "sound-off"}, output, dir), 0)
            << output;
    }
}

TEST(AdapterPrograms, UpgradeThroughEachAdapter)
{
    TTempDir dir;
    const std::string image = dir.Path() + "/fw.hex";
    {
        std::ofstream out(image, std::ios::binary);
        for (std::size_t i = 0; i < 14338 + 64; ++i)
            out.put(static_cast<char>((i * 7) ^ (i >> 8)));
    }
    for (const auto& adapter : kAdapters) {
        SCOPED_TRACE(Joined(adapter));
        TSimProcess sim(With(adapter, {"--bootloader", "--no-announce"}));
        ASSERT_TRUE(sim.Running());
        std::string output;
        // The pattern's CRC is not that of its FLASH part: --force sends it all the same.
        EXPECT_EQ(Cli({"--port", sim.Pty(), "--force", "upgrade", image}, output, dir), 0)
            << output;
    }
}
